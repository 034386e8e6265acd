#include "platform/ReplaceFile.h"

#include "platform/FileDescriptor.h"
#include "platform/FileTarget.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

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

// What a directory holds: each entry's kind and permissions, owner, group, and the bytes of
// a file or the text of a link.
using Snapshot = std::map<std::string, std::tuple<mode_t, uid_t, gid_t, std::string>>;

Snapshot snapshot(const fs::path& dir) {
    Snapshot entries;
    for (const auto& item : fs::recursive_directory_iterator(dir)) {
        struct stat status {};
        ::lstat(item.path().c_str(), &status);
        std::string text = S_ISLNK(status.st_mode) ? fs::read_symlink(item.path()).string() : "";
        if (S_ISREG(status.st_mode)) {
            std::ifstream in(item.path(), std::ios::binary);
            text.assign(std::istreambuf_iterator<char>(in), {});
        }
        entries[fs::relative(item.path(), dir).string()] = {status.st_mode, status.st_uid,
                                                            status.st_gid, text};
    }
    return entries;
}

// What the user makes of dir/target: can they replace it, read it, rewrite it in place, and
// does the replacement succeed. Asked by a child process for another user.
int ask(const std::string& name, uid_t user) {
    const auto answers = [&] {
        return (canReplaceFile(name) ? 1 : 0) | (openFileForReading(name).isOpen() ? 2 : 0) |
               (openOwnFileForRewriting(name).isOpen() ? 4 : 0) |
               (replaceFile(name, [](FileDescriptor& file) { return file.writeAll("new"); },
                            {.keepModeAndGroup = true})
                    ? 8
                    : 0);
    };
    if (user == ::geteuid()) {
        return answers();
    }
    const pid_t child = fork();
    if (child == 0) {
        _exit(::setgid(user) == 0 && ::setuid(user) == 0 ? answers() : 255);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 255;
}

// A thing found under the name the program writes; the file that gets the new contents
// (empty when nothing may be written), whether it can be read and rewritten in place, and
// whom the program runs as.
struct TargetCase {
    const char* name;
    std::function<void(const fs::path& dir)> make;
    std::string written;
    bool readable;
    bool rewrittenInPlace;
    uid_t user = 0;
};

class ReplaceFileTarget : public testing::TestWithParam<TargetCase> {};

TEST_P(ReplaceFileTarget, WritesOnlyWhatTheUserMayAndKeepsLinksModesAndGroups) {
    const TargetCase& row = GetParam();
    TempDir dir;
    const mode_t previousUmask = ::umask(022);
    row.make(dir.path());
    Snapshot expected = snapshot(dir.path());
    const bool mayWrite = !row.written.empty();
    // Each bit is one answer, all agreeing on whether the name may be written.
    const int answers = ask(dir.file("target"), row.user);
    ::umask(previousUmask);
    EXPECT_EQ(answers,
              (mayWrite ? 9 : 0) | (row.readable ? 2 : 0) | (row.rewrittenInPlace ? 4 : 0));
    if (mayWrite) {
        // The one file written is new and the user's; it keeps the mode and group of the
        // file it replaced, and a new one gets 0666 less the umask.
        const auto old = expected.find(row.written);
        expected[row.written] =
            old != expected.end()
                ? std::tuple{std::get<0>(old->second), row.user, std::get<2>(old->second), "new"}
                : std::tuple{mode_t{S_IFREG | 0644}, row.user, ::getgid(), "new"};
    }
    EXPECT_EQ(snapshot(dir.path()), expected) << "nothing else changed, nothing was left";
}

void plainTarget(const fs::path& dir) {
    std::ofstream(dir / "target") << "old";
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
                       std::ofstream(dir / "web/image.jpg") << "old";
                       fs::create_symlink("web/image.jpg", dir / "target");
                   },
                   "web/image.jpg", true, false},
        TargetCase{"AnotherUsersLink",
                   [](const fs::path& dir) {
                       std::ofstream(dir / "victim") << "the victim's own data";
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
        TargetCase{"FileTheUserMayNotWrite",
                   [](const fs::path& dir) {
                       ::chown(dir.c_str(), otherUser, otherUser);
                       plainTarget(dir);
                   },
                   "", true, false, otherUser}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
