#pragma once

#include <functional>
#include <string>

#include <sys/types.h>

class FileDescriptor;

// How replaceFile treats one kind of file. Every rule about the new file and the one it
// replaces belongs here, so that each writer states its own and all share one routine.
struct ReplacePolicy {
    // Flushes the new file to the disk before it takes the name, so that a crash just
    // after the rename cannot leave an empty file there. Worth its wait for a file written
    // rarely that holds the only copy of its data, not for one rewritten at every grab.
    bool flushToDisk = false;
    // The permissions of a new file, less the umask, and of every replacement unless
    // keepModeAndGroup says otherwise.
    mode_t newFileMode = 0666;
    // The replacement takes the permissions of the file it replaces, and its group where
    // the user may give it that group, so a file the user shared with a web server stays
    // shared.
    bool keepModeAndGroup = false;
    // Called with the new file's name once it is complete, just before it takes the
    // target's name: a name linked to it then holds exactly these contents.
    std::function<void(const std::string& newFile)> beforeRename = {};
};

// Puts new contents in place of the file that path leads to (findFileTarget: the user's
// own links are followed and stay links; another user's link and anything that is not a
// regular file are never written through). writeContents writes them into a new file in
// the target's directory (so the rename stays on one file system), created exclusively
// under a short name nobody can guess, which then takes the target's name in one step. A
// reader sees the old file or the new one, never half of one. Answers false when the
// target is refused, is a file the user may not write, the new file cannot be made,
// writeContents answers false, or a write, the flush or the rename fails; the target is
// then as it was, the new file is gone, and errno says why (for writeContents, what it
// left there).
bool replaceFile(const std::string& path, const std::function<bool(FileDescriptor&)>& writeContents,
                 const ReplacePolicy& policy);

// Whether replaceFile could put a file at path now: the target is allowed, the user may
// write an existing one, and its directory takes a new file (tried with one that is
// removed at once). Never opens the target itself, so nothing there can make it wait.
bool canReplaceFile(const std::string& path);
