#include "base/ReplaceFile.h"

#include "base/FileDescriptor.h"
#include "base/FileTarget.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <tuple>

namespace {

namespace fs = std::filesystem;

// What a directory holds: each entry's kind and permissions, owner, group, and the bytes of
// a file or the text of a link.
using Snapshot = std::map<std::string, std::tuple<mode_t, uid_t, gid_t, std::string>>;

Snapshot snapshot(const fs::path& dir) {
    Snapshot entries;
    for (const auto& item : fs::recursive_directory_iterator(dir)) {
        struct stat status {};
        ::lstat(item.path().c_str(), &status);
        const std::string text = S_ISLNK(status.st_mode)   ? fs::read_symlink(item.path()).string()
                                 : S_ISREG(status.st_mode) ? readBytes(item.path())
                                                           : "";
        entries[fs::relative(item.path(), dir).string()] = {status.st_mode, status.st_uid,
                                                            status.st_gid, text};
    }
    return entries;
}

// What the user makes of dir/target: can they replace it, read it, rewrite it in place, and
// does the replacement succeed. Asked by a child process running as the user.
int ask(const std::string& name, uid_t user) {
    const auto answers = [&] {
        return (canReplaceFile(name) ? 1 : 0) | (openFileForReading(name).isOpen() ? 2 : 0) |
               (openOwnFileForRewriting(name).isOpen() ? 4 : 0) |
               (replaceFile(name, [](FileDescriptor& file) { return file.writeAll("new"); },
                            {.keepModeAndGroup = true})
                    ? 8
                    : 0);
    };
    const pid_t child = fork();
    if (child == 0) {
        _exit(::setgid(user) == 0 && ::setuid(user) == 0 ? answers() : 255);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 255;
}

// A thing made under the name the program writes (by a shell in the directory; 54321 is
// nobody here, "another user"), whom the program runs as, the file that gets the new
// contents (empty when nothing may be written), and the answers: 1 it may be replaced,
// 2 read, 4 rewritten in place, 8 the replacement succeeded.
struct TargetCase {
    const char* name;
    const char* make;
    uid_t user;
    std::string written;
    int answers;
};

class ReplaceFileTarget : public testing::TestWithParam<TargetCase> {};

TEST_P(ReplaceFileTarget, WritesOnlyWhatTheUserMayAndKeepsLinksModesAndGroups) {
    const TargetCase& row = GetParam();
    TempDir dir;
    const mode_t previousUmask = ::umask(022);
    ASSERT_EQ(std::system(("cd " + dir.path().string() + " && " + row.make).c_str()), 0);
    Snapshot expected = snapshot(dir.path());
    EXPECT_EQ(ask(dir.file("target"), row.user), row.answers);
    ::umask(previousUmask);
    if (!row.written.empty()) {
        // The one file written is new and the user's; it keeps the mode and group of the
        // file it replaced, and a new one gets 0666 less the umask.
        auto& [mode, owner, group, text] =
            expected.try_emplace(row.written, S_IFREG | 0644, 0, ::getgid(), "").first->second;
        owner = row.user;
        text = "new";
    }
    EXPECT_EQ(snapshot(dir.path()), expected) << "nothing else changed, nothing was left";
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(, ReplaceFileTarget, testing::Values(
    TargetCase{"Nothing", "true", 0, "target", 9},
    TargetCase{"OwnFileSharedWithAGroup", "echo a>target; chmod 640 target; chown :54321 target", 0, "target", 15},
    TargetCase{"OwnLinkIntoAWebFolder", "mkdir web; echo a>web/i.jpg; ln -s web/i.jpg target", 0, "web/i.jpg", 11},
    TargetCase{"AnotherUsersLink", "echo a>victim; ln -s victim target; chown -h 54321 target", 0, "", 0},
    TargetCase{"AnotherUsersFileIsReplacedNotWrittenInto", "echo a>target; chown 54321 target", 0, "target", 11},
    TargetCase{"Fifo", "mkfifo target", 0, "", 0}, TargetCase{"Directory", "mkdir target", 0, "", 0},
    TargetCase{"FileTheUserMayNotWrite", "chown 54321:54321 .; echo a>target", 54321, "", 2}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

} // namespace
