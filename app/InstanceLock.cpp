#include "app/InstanceLock.h"

#include "base/Exception.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

namespace {

// The socket's address: a leading zero byte puts the name into the abstract namespace.
struct Address {
    sockaddr_un address{};
    socklen_t length = 0;
};

Address addressOfCurrentDirectory() {
    struct stat directory {};
    if (stat(".", &directory) != 0) {
        throw Exception("InstanceLock: cannot read the working directory");
    }
    const std::string name = std::string(1, '\0') + "kavriWebCam/" + std::to_string(getuid()) +
                             "/" + std::to_string(directory.st_dev) + "/" +
                             std::to_string(directory.st_ino);
    Address result;
    result.address.sun_family = AF_UNIX;
    std::memcpy(result.address.sun_path, name.data(), name.size());
    result.length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size());
    return result;
}

FileDescriptor newSocket() {
    FileDescriptor made(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!made.isOpen()) {
        throw Exception("InstanceLock: cannot make a socket");
    }
    return made;
}

// Whether the other end of a connected socket runs as this user.
bool sameUser(int connected) {
    ucred peer{};
    socklen_t length = sizeof peer;
    return getsockopt(connected, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 &&
           peer.uid == getuid();
}

} // namespace

InstanceLock::InstanceLock() {
    const Address address = addressOfCurrentDirectory();
    FileDescriptor made = newSocket();
    if (bind(made.get(), reinterpret_cast<const sockaddr*>(&address.address), address.length) ==
            0 &&
        ::listen(made.get(), 4) == 0) {
        listening_ = std::move(made);
    }
}

InstanceLock::~InstanceLock() {
    stopListening();
}

void InstanceLock::stopListening() {
    if (thread_.joinable()) {
        stopWrite_.writeAll("x");
        thread_.join();
    }
}

bool InstanceLock::askHolderToShow() const {
    const Address address = addressOfCurrentDirectory();
    FileDescriptor connected = newSocket();
    // The holder may close its end before the word arrives: no SIGPIPE for that.
    constexpr std::string_view word = "show";
    return connect(connected.get(), reinterpret_cast<const sockaddr*>(&address.address),
                   address.length) == 0 &&
           sameUser(connected.get()) &&
           send(connected.get(), word.data(), word.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(word.size());
}

void InstanceLock::listen(std::function<void()> shown) {
    int ends[2];
    if (!held() || pipe2(ends, O_CLOEXEC) != 0) {
        return;
    }
    stopRead_ = FileDescriptor(ends[0]);
    stopWrite_ = FileDescriptor(ends[1]);
    thread_ = std::thread([this, shown = std::move(shown)] { serve(shown); });
}

void InstanceLock::serve(const std::function<void()>& shown) {
    for (;;) {
        pollfd watched[2] = {{listening_.get(), POLLIN, 0}, {stopRead_.get(), POLLIN, 0}};
        if (poll(watched, 2, -1) < 0 && errno != EINTR) {
            return;
        }
        if (watched[1].revents != 0) {
            return;
        }
        if (watched[0].revents & POLLIN) {
            const FileDescriptor caller(accept4(listening_.get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (caller.isOpen() && sameUser(caller.get())) {
                shown();
            }
        }
    }
}
