#pragma once

#include <fstream>
#include <string>

// The resident memory of this process in megabytes (VmRSS of /proc/self/status).
inline double residentMb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmRSS:")) {
            return std::stod(line.substr(6)) / 1024;
        }
    }
    return 0;
}
