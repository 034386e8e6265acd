#pragma once

#include <functional>
#include <string>

class FileDescriptor;

// How replaceFile treats one kind of file. Every rule about the new file and the one it
// replaces belongs here, so that each writer states its own and all share one routine.
struct ReplacePolicy {
    // Flushes the new file to the disk before it takes the name, so that a crash just
    // after the rename cannot leave an empty file there. Worth its wait for a file written
    // rarely that holds the only copy of its data, not for one rewritten at every grab.
    bool flushToDisk = false;
};

// Puts new contents in place of the file at path: writeContents writes them into a new
// file next to it (same directory, so the rename stays on one file system), which then
// takes the name in one step. A reader sees the old file or the new one, never half of
// one. Answers false when the new file cannot be made, writeContents answers false, or a
// write, the flush or the rename fails; path is then as it was, the new file is gone, and
// errno says why (for writeContents, what it left there).
bool replaceFile(const std::string& path, const std::function<bool(FileDescriptor&)>& writeContents,
                 const ReplacePolicy& policy);
