#include "platform/ReplaceFile.h"

#include "platform/FileDescriptor.h"

#include <atomic>
#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Creates a file of a name nobody else has used next to target, and returns it with its
// name. O_EXCL makes sure the file is a new one, not one found under that name.
FileDescriptor createTemporaryNextTo(const std::string& target, std::string& temporaryName) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporaryName = target + ".tmp-" + std::to_string(::getpid()) + "-" +
                        std::to_string(counter.fetch_add(1));
        FileDescriptor file =
            FileDescriptor::open(temporaryName, O_WRONLY | O_CREAT | O_EXCL, 0666);
        if (file.isOpen() || errno != EEXIST) {
            return file;
        }
    }
    return FileDescriptor();
}

} // namespace

bool replaceFile(const std::string& path, const std::function<bool(FileDescriptor&)>& writeContents,
                 const ReplacePolicy& policy) {
    std::string temporaryName;
    FileDescriptor file = createTemporaryNextTo(path, temporaryName);
    if (!file.isOpen()) {
        return false;
    }
    bool written = writeContents(file);
    written = (!policy.flushToDisk || ::fsync(file.get()) == 0) && written;
    written = file.close() && written;
    if (!written || std::rename(temporaryName.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporaryName.c_str());
        errno = error;
        return false;
    }
    return true;
}
