#include "platform/ReplaceFile.h"

#include "platform/FileDescriptor.h"
#include "platform/FileTarget.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <tuple>

namespace {

namespace fs = std::filesystem;

// Nobody on this machine: the owner of what "another user" planted.
constexpr uid_t otherUser = 54321;

// What a directory holds, entry by entry: kind and permissions, owner, group, and the
// bytes of a file or the text of a link.
struct Entry {
    mode_t mode;
    uid_t owner;
    gid_t group;
    std::string text;
    bool operator==(const Entry&) const = default;
};
using Snapshot = std::map<std::string, Entry>;

Snapshot snapshot(const fs::path& dir) {
    Snapshot entries;
    for (const auto& item : fs::recursive_directory_iterator(dir)) {
        struct stat status {};
        ::lstat(item.path().c_str(), &status);
        Entry entry{status.st_mode, status.st_uid, status.st_gid, {}};
        if (S_ISLNK(status.st_mode)) {
            entry.text = fs::read_symlink(item.path()).string();
        } else if (S_ISREG(status.st_mode)) {
            std::ifstream in(item.path(), std::ios::binary);
            entry.text.assign(std::istreambuf_iterator<char>(in), {});
        }
        entries[fs::relative(item.path(), dir).string()] = entry;
    }
    return entries;
}

void writeFile(const fs::path& name, const std::string& text) {
    std::ofstream(name, std::ios::binary) << text;
}

// One kind of thing found under the name the program writes.
struct TargetCase {
    const char* name;
    // Puts it at dir/target.
    std::function<void(const fs::path& dir)> make;
    // The file that gets the new contents when the name is replaced, relative to dir;
    // empty when nothing may be written.
    std::string written;
    bool readable;
    bool rewrittenInPlace;
    // Whom the program runs as.
    uid_t user = 0;
};

void plainTarget(const fs::path& dir) {
    writeFile(dir / "target", "old");
}

class ReplaceFileTarget : public testing::TestWithParam<TargetCase> {
protected:
    void SetUp() override { previousUmask = ::umask(022); }
    void TearDown() override { ::umask(previousUmask); }

    TempDir dir;
    mode_t previousUmask = 0;
};

// What the program makes of the name: can it replace it, read it, rewrite it in place, and
// does the replacement succeed. Asked by a child process when the program runs as another
// user.
int answersFor(const std::string& name) {
    return (canReplaceFile(name) ? 1 : 0) | (openFileForReading(name).isOpen() ? 2 : 0) |
           (openOwnFileForRewriting(name).isOpen() ? 4 : 0) |
           (replaceFile(name, [](FileDescriptor& file) { return file.writeAll("new"); },
                        {.keepModeAndGroup = true})
                ? 8
                : 0);
}

std::tuple<bool, bool, bool, bool> ask(const std::string& name, uid_t user) {
    int answers = 0;
    if (user == ::geteuid()) {
        answers = answersFor(name);
    } else {
        const pid_t child = fork();
        if (child == 0) {
            _exit(::setgid(user) == 0 && ::setuid(user) == 0 ? answersFor(name) : 255);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        answers = WIFEXITED(status) ? WEXITSTATUS(status) : 255;
        EXPECT_NE(answers, 255) << "the child could not become user " << user;
    }
    return {(answers & 1) != 0, (answers & 2) != 0, (answers & 4) != 0, (answers & 8) != 0};
}

TEST_P(ReplaceFileTarget, WritesOnlyWhatTheUserMayAndKeepsLinksModesAndGroups) {
    const TargetCase& row = GetParam();
    row.make(dir.path());
    const std::string name = dir.file("target");
    Snapshot expected = snapshot(dir.path());

    const auto [canReplace, readable, rewritable, replaced] = ask(name, row.user);

    const bool mayWrite = !row.written.empty();
    EXPECT_EQ(canReplace, mayWrite) << "the check agrees with the write";
    EXPECT_EQ(replaced, mayWrite);
    EXPECT_EQ(readable, row.readable);
    EXPECT_EQ(rewritable, row.rewrittenInPlace);
    if (mayWrite) {
        // The one file written is new and the user's; it keeps the mode and group of the
        // file it replaced, and a new one gets the usual mode (0666 less the umask 022).
        const auto old = expected.find(row.written);
        expected[row.written] = old != expected.end()
                                    ? Entry{old->second.mode, row.user, old->second.group, "new"}
                                    : Entry{S_IFREG | 0644, row.user, ::getgid(), "new"};
    }
    EXPECT_EQ(snapshot(dir.path()), expected) << "nothing else changed, nothing was left";
}

INSTANTIATE_TEST_SUITE_P(
    , ReplaceFileTarget,
    testing::Values(
        TargetCase{"Nothing", [](const fs::path&) {}, "target", false, false},
        TargetCase{"OwnFileSharedWithAGroup",
                   [](const fs::path& dir) {
                       plainTarget(dir);
                       fs::permissions(dir / "target", fs::perms(0640));
                       ::chown((dir / "target").c_str(), 0, otherUser);
                   },
                   "target", true, true},
        TargetCase{"OwnLinkIntoAWebFolder",
                   [](const fs::path& dir) {
                       fs::create_directory(dir / "web");
                       writeFile(dir / "web/image.jpg", "old");
                       fs::create_symlink("web/image.jpg", dir / "target");
                   },
                   "web/image.jpg", true, false},
        TargetCase{"AnotherUsersLink",
                   [](const fs::path& dir) {
                       writeFile(dir / "victim", "the victim's own data");
                       fs::create_symlink("victim", dir / "target");
                       ::lchown((dir / "target").c_str(), otherUser, otherUser);
                   },
                   "", false, false},
        TargetCase{"AnotherUsersFileIsReplacedNotWrittenInto",
                   [](const fs::path& dir) {
                       plainTarget(dir);
                       ::chown((dir / "target").c_str(), otherUser, otherUser);
                   },
                   "target", true, false},
        TargetCase{"Fifo", [](const fs::path& dir) { ::mkfifo((dir / "target").c_str(), 0666); },
                   "", false, false},
        TargetCase{"Directory", [](const fs::path& dir) { fs::create_directory(dir / "target"); },
                   "", false, false},
        TargetCase{"PredictableTemporaryNamesPlanted",
                   [](const fs::path& dir) {
                       for (int n = 0; n < 100; ++n) {
                           const std::string planted =
                               "target.tmp-" + std::to_string(::getpid()) + "-" + std::to_string(n);
                           ::mkfifo((dir / planted).c_str(), 0666);
                       }
                   },
                   "target", false, false},
        TargetCase{"FileTheUserMayNotWrite",
                   [](const fs::path& dir) {
                       ::chown(dir.c_str(), otherUser, otherUser);
                       plainTarget(dir);
                   },
                   "", true, false, otherUser}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
