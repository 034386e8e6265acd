#pragma once

#include "base/FileDescriptor.h"

#include <optional>
#include <string>

#include <sys/stat.h>

// The file a name leads to, by the rules the program keeps for its files on a machine it
// shares with other users: a symbolic link owned by the program's user is followed, so a
// user who links a file into a web folder keeps that link; a link owned by anybody else is
// never followed, since it may have been planted in a shared directory to make the program
// write or read through it; and only a regular file is ever read or written, since a
// device, a FIFO or a socket could block, never end, or be something the user must not
// overwrite.
struct FileTarget {
    // The name with the user's own links resolved: the file to read, or to replace through
    // a new file in its directory.
    std::string path;
    // What lstat says of path; empty when nothing is there yet.
    std::optional<struct stat> status;
};

// The target of name, following at most 40 links of the user's own in a row. Empty for an
// empty name, another user's link, a name that leads to anything but a regular file or
// nothing, and a name that cannot be looked at.
std::optional<FileTarget> findFileTarget(const std::string& name);

// Opens the regular file that name leads to for reading, without waiting on anything on
// the way: a FIFO swapped in at the last moment is opened without blocking and refused.
// Not open when there is no such file.
FileDescriptor openFileForReading(const std::string& name);

// Opens name for writing in place, but only when it is a regular file of the program's
// user that has no other name (no hard link somebody else could read through) and is not
// a link. Not open otherwise; the caller then replaces the file instead.
FileDescriptor openOwnFileForRewriting(const std::string& name);
