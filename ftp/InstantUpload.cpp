#include "ftp/InstantUpload.h"

#include "base/Exception.h"
#include "ftp/UploadSession.h"

#include <mutex>
#include <utility>

// Owned jointly by the object and the worker, so that a worker still unwinding after the
// object has gone touches nothing released.
struct InstantUpload::State {
    FtpLogin login;
    std::string localFile;
    std::string remoteFile;
    std::vector<ArchiveFile> archive;
    std::shared_ptr<HealthLine> health;
    std::function<void()> finished;

    // Guards the result and the abandoned flag, and is held while finished runs, so that the
    // destructor never returns while finished is still telling the owner.
    mutable std::mutex mutex;
    std::optional<Result> result;
    bool abandoned = false;
};

InstantUpload::InstantUpload(FtpLogin login, std::string localFile, std::string remoteFile,
                             std::vector<ArchiveFile> archive, std::shared_ptr<HealthLine> health,
                             std::function<void()> finished)
    : state_(std::make_shared<State>()) {
    state_->login = std::move(login);
    state_->localFile = std::move(localFile);
    state_->remoteFile = std::move(remoteFile);
    state_->archive = std::move(archive);
    state_->health = std::move(health);
    state_->finished = std::move(finished);
}

InstantUpload::~InstantUpload() {
    {
        std::lock_guard lock(state_->mutex);
        state_->abandoned = true;
    }
    end();
}

void InstantUpload::run() {
    const std::shared_ptr<State> state = state_;
    const std::shared_ptr<ThreadControl> control = this->control();
    letGo();

    Result result{true, {}};
    {
        // Closed before the owner hears of the end, which then finds nothing left to wait for.
        const auto session =
            UploadSession::make(state->login.address.protocol(), &control->cancelFlag());
        try {
            session->connect(state->login);
            session->put(state->localFile, state->remoteFile);
            state->health->succeeded();
        } catch (const FTPException& error) {
            if (control->cancelled()) {
                return;
            }
            state->health->failed(session->failureReason());
            result = {false, error.message};
        }
        if (result.succeeded && !storeArchive(*state, *session) && control->cancelled()) {
            return;
        }
    }
    std::lock_guard lock(state->mutex);
    if (state->abandoned) {
        return;
    }
    state->result = std::move(result);
    state->finished();
}

bool InstantUpload::storeArchive(State& state, UploadSession& session) {
    for (const ArchiveFile& file : state.archive) {
        if (!session.putArchived(file.localFile, file.remoteFile)) {
            state.health->failed(session.failureReason());
            return false;
        }
    }
    return true;
}

std::optional<InstantUpload::Result> InstantUpload::result() const {
    std::lock_guard lock(state_->mutex);
    return state_->result;
}
