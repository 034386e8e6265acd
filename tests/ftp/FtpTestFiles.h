#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

// Files for the FTP tests: binary contents that a text-mode transfer would damage, written
// to and read from disk.
inline std::string binaryBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (auto& byte : bytes) {
        byte = static_cast<char>(random() & 0xFF);
    }
    // Line ends and NULs near the start, in case the random ones are few.
    bytes.replace(0, std::min<std::size_t>(size, 6), std::string("\r\n\n\0\r\x1a", 6), 0,
                  std::min<std::size_t>(size, 6));
    return bytes;
}

inline void writeBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

inline std::string readBytes(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}
