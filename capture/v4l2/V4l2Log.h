#pragma once

#include <cstdio>
#include <cstring>
#include <string>

// Tells stderr what failed on the camera at path, with the errno value's text.
inline void logV4l2Failure(const std::string& path, const char* what, int error) {
    std::fprintf(stderr, "v4l2: %s: %s: %s\n", path.c_str(), what, std::strerror(error));
}
