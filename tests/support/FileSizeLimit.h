#pragma once

#include <csignal>

#include <sys/resource.h>

// Makes every write past limitBytes of a file fail (as a full disk would) for its lifetime.
// The signal such a write raises stays ignored afterwards: nothing else in a test raises it.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t limitBytes) {
        std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &previous);
        rlimit limited = previous;
        limited.rlim_cur = limitBytes;
        ::setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &previous); }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit previous{};
};
