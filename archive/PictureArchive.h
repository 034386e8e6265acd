#pragma once

#include "base/HealthLine.h"
#include "base/TimePattern.h"

#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// The archive of every grab: each new JPEG file is also kept under a name its time pattern
// makes, folders made as needed by the rules the program keeps for its files on a shared
// machine (the user's own links are followed, nobody else's; nothing but folders and regular
// files is used). On the JPEG file's file system a picture is kept as a second name of the
// new file, elsewhere as a copy; a name that exists gets a suffix and is never overwritten.
//
// prune keeps the archive within its limits, the oldest going first, and deletes only
// regular files of the program's user whose names the pattern makes, never through a link;
// a folder goes with its last picture. The deleting, and the look through the archive's
// folder, are done by a worker thread of its own, so that they never hold up a grab. Trouble
// (a full disk) is told on the archive's health line, and the archive goes on with the next
// picture. keep and prune are called on one thread.
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
    // Waits for the worker to end what it is deleting.
    ~PictureArchive();
    PictureArchive(const PictureArchive&) = delete;
    PictureArchive& operator=(const PictureArchive&) = delete;

    // Keeps the complete file newFile under the name for moment. Returns that name.
    std::optional<std::string> keep(const std::string& newFile, std::time_t moment);
    // Has the worker delete the oldest pictures beyond the limits at the moment now, and
    // returns. The archive's folder is looked through at the first call and once a day; in
    // between the pictures kept since are known.
    void prune(std::time_t now);
    // Waits until the worker has done what prune asked.
    void waitIdle();

private:
    struct Picture {
        std::string name;
        std::uint64_t bytes;
    };

    using Index = std::multimap<std::time_t, Picture>;

    // Adds a picture just kept to the index; returns its name.
    std::string remember(const std::string& kept, std::time_t moment);
    bool makeFolders(const std::string& name);
    bool copyTo(const std::string& source, const std::string& name);
    void work();
    // Looks through the archive's folder, without the lock, and takes what it found.
    void rescan(std::unique_lock<std::mutex>& lock, std::time_t now);
    Index scan() const;
    // Deletes the picture and each folder it leaves empty up to the root.
    void remove(const std::string& name);

    TimePattern pattern_;
    Limits limits_;
    HealthLine health_{healthWords};
    // Guards what follows.
    std::mutex mutex_;
    std::condition_variable changed_;
    // The pictures by their moment, and the bytes they take.
    Index pictures_;
    std::uint64_t bytes_ = 0;
    std::optional<std::time_t> lastScan_;
    // The moment of the prune asked for and not yet begun.
    std::optional<std::time_t> pruneAt_;
    bool busy_ = false;
    bool ending_ = false;
    // While the worker looks through the folder: the pictures kept meanwhile.
    bool scanning_ = false;
    std::vector<std::pair<std::time_t, Picture>> keptWhileScanning_;
    std::thread worker_;
};
