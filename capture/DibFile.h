#pragma once

#include <string>

class Surface;

// Writes frame as a DIB file: file header, 40-byte info header, 24-bit rows bottom-up,
// each padded to 4 bytes. Replaces an earlier file of that name. False when the file
// cannot be written completely.
bool writeDibFile(const Surface& frame, const std::string& fileName);
