#pragma once

#include "base/HealthLine.h"
#include "base/TimePattern.h"

#include <cstdint>
#include <ctime>
#include <map>
#include <optional>
#include <string>

// The archive of every grab: each new JPEG file is also kept under a name its time pattern
// makes, folders made as needed by the rules the program keeps for its files on a shared
// machine (the user's own links are followed, nobody else's; nothing but folders and regular
// files is used). On the JPEG file's file system a picture is kept as a second name of the
// new file, elsewhere as a copy; a name that exists gets a suffix and is never overwritten.
//
// prune keeps the archive within its limits, the oldest going first, and deletes only
// regular files of the program's user whose names the pattern makes, never through a link;
// a folder goes with its last picture. Trouble (a full disk) is told on the archive's health
// line, and the archive goes on with the next picture. Used on one thread.
class PictureArchive {
public:
    static constexpr HealthWords healthWords{"archive", "failing", "working again"};

    struct Limits {
        // Pictures older than this many days go; 0 keeps them.
        unsigned days = 0;
        // The oldest pictures go while all of them take more bytes; 0 is no limit.
        std::uint64_t bytes = 0;
    };

    PictureArchive(TimePattern pattern, Limits limits);

    // Keeps the complete file newFile under the name for moment. Returns that name.
    std::optional<std::string> keep(const std::string& newFile, std::time_t moment);
    // Deletes the oldest pictures beyond the limits at the moment now. The archive's folder is
    // looked through at the first call and once a day; in between the pictures kept since are
    // known.
    void prune(std::time_t now);

private:
    struct Picture {
        std::string name;
        std::uint64_t bytes;
    };

    bool makeFolders(const std::string& name);
    bool copyTo(const std::string& source, const std::string& name);
    void scan();
    // Deletes the picture and each folder it leaves empty up to the root.
    void remove(const std::string& name);

    TimePattern pattern_;
    Limits limits_;
    HealthLine health_{healthWords};
    // The pictures by their moment, and the bytes they take.
    std::multimap<std::time_t, Picture> pictures_;
    std::uint64_t bytes_ = 0;
    std::optional<std::time_t> lastScan_;
};
