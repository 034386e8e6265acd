#pragma once

#include <cstdio>
#include <string>
#include <sys/wait.h>

// What a client program the test started printed on standard output, and how it ended.
struct ClientRun {
    int status = -1;
    std::string output;
};

// Runs a shell command line (a curl, an ffprobe, a browser) to its end.
inline ClientRun runClient(const std::string& command) {
    ClientRun run;
    FILE* pipe = popen(command.c_str(), "re");
    if (!pipe) {
        return run;
    }
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        run.output.append(buffer, got);
    }
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}
