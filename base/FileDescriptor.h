#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include <sys/types.h>

// A POSIX file descriptor with one owner, closed when the owner goes. Every file the
// program opens by itself goes through one. Reads and writes go on after an interrupted
// call and after a short transfer, so a caller sees either all of its bytes or a failure.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd)
        : fd(fd) {}
    ~FileDescriptor();
    FileDescriptor(FileDescriptor&& other) noexcept;
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    // open(2) with O_CLOEXEC added; mode applies to a file it creates. See isOpen().
    static FileDescriptor open(const std::string& path, int flags, mode_t mode = 0);

    bool isOpen() const { return fd >= 0; }
    int get() const { return fd; }

    // False when not every byte could be written.
    bool writeAll(const void* bytes, std::size_t count);
    bool writeAll(std::string_view bytes) { return writeAll(bytes.data(), bytes.size()); }
    // Reads count bytes, fewer only at the end of the file or on an error; answers how many.
    std::size_t readFully(void* buffer, std::size_t count);
    // Closes now. False when closing failed, which can be the first report of a failed
    // write, so a writer asks before it trusts the file.
    bool close();

private:
    int fd = -1;
};
