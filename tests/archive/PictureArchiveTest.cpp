#include "archive/PictureArchive.h"

#include "base/FileDescriptor.h"
#include "base/ReplaceFile.h"
#include "tests/support/FileBytes.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/LocalTime.h"
#include "tests/support/TempDir.h"
#include "tests/support/WorkingDirectory.h"

#include <gmock/gmock.h>

#include <cstdlib>
#include <fstream>
#include <set>

namespace {

namespace fs = std::filesystem;

std::time_t noon() {
    return localTime(2026, 12, 7, 12);
}

// Writes image.jpg as the grab does, keeping the new file in the archive before it takes
// the name.
std::optional<std::string> grab(PictureArchive& archive, const std::string& bytes,
                                std::time_t moment) {
    std::optional<std::string> kept;
    replaceFile("image.jpg", [&](FileDescriptor& file) { return file.writeAll(bytes); },
                {.beforeRename = [&](const std::string& newFile) {
                    kept = archive.keep(newFile, moment);
                }});
    return kept;
}

// Every name under the working directory, folders with a slash.
std::set<std::string> names() {
    std::set<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(".")) {
        found.insert(entry.path().lexically_relative(".").string() +
                     (entry.is_directory() && !entry.is_symlink() ? "/" : ""));
    }
    return found;
}

// Where the archive is kept: beside the JPEG file (its pictures are second names of the
// new JPEG files), or on another file system (copies).
struct KeepCase {
    const char* name;
    std::string folder;
    bool linked;
};

class PictureArchiveKeep : public testing::TestWithParam<KeepCase> {};

TEST_P(PictureArchiveKeep, KeepsEveryGrabByteForByteUnderItsNameNeverOverwriting) {
    TempDir dir;
    WorkingDirectory inDir(dir.path());
    std::string folder = GetParam().folder;
    if (!folder.empty()) {
        folder = ::mkdtemp(folder.data());
        folder += "/";
    }
    PictureArchive archive(TimePattern(folder + "a/%Y-%m-%d/%H%M%S.jpg"), {});
    const std::string day = folder + "a/2026-12-07/";
    ASSERT_TRUE(fs::create_directories(day));
    std::ofstream(day + "120001.jpg") << "planted";
    const std::vector<std::pair<std::time_t, std::string>> expected{
        {0, "120000.jpg"}, {0, "120000-1.jpg"}, {1, "120001-1.jpg"}, {2, "120002.jpg"}};
    for (const auto& [offset, name] : expected) {
        const std::string bytes = "picture " + name;
        EXPECT_EQ(grab(archive, bytes, noon() + offset), day + name);
        EXPECT_EQ(readBytes(day + name), bytes);
        EXPECT_EQ(fs::equivalent(day + name, "image.jpg"), GetParam().linked) << name;
    }
    EXPECT_EQ(readBytes(day + "120001.jpg"), "planted");
    EXPECT_EQ(
        fs::directory_entry(day).exists() ? std::distance(fs::directory_iterator(day), {}) : 0, 5)
        << "no temporary file is left";
    if (!folder.empty()) {
        fs::remove_all(folder);
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(, PictureArchiveKeep, testing::Values(KeepCase{"BesideTheJpegFile", "", true},
    KeepCase{"OnAnotherFileSystem", "/dev/shm/kavri-XXXXXX", false}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// A copy that cannot be written (a full disk) is told on the archive's health line and
// leaves nothing; the next grab is kept again once there is room.
TEST(PictureArchiveTest, ACopyThatCannotBeWrittenIsToldAndTheArchiveGoesOn) {
    TempDir dir;
    WorkingDirectory inDir(dir.path());
    std::string folder = "/dev/shm/kavri-XXXXXX";
    folder = ::mkdtemp(folder.data());
    PictureArchive archive(TimePattern(folder + "/%H%M%S.jpg"), {});
    testing::internal::CaptureStderr();
    std::ofstream("new.jpg") << std::string(100000, 'x');
    {
        FileSizeLimit limit(4096);
        EXPECT_EQ(archive.keep("new.jpg", noon()), std::nullopt);
    }
    EXPECT_TRUE(fs::is_empty(folder));
    EXPECT_EQ(grab(archive, "room", noon() + 1), folder + "/120001.jpg");
    EXPECT_THAT(testing::internal::GetCapturedStderr(),
                testing::MatchesRegex("kavriWebCam: archive failing: [^\n]*120000.jpg: File too "
                                      "large\nkavriWebCam: archive working again after [^\n]*\n"));
    fs::remove_all(folder);
}

// What is planted in the archive (by a shell; 54321 is another user), the limits, and what
// is left after pruning at 2026-12-07 13:30 of six pictures of 100 bytes, kept at 12:00,
// 13:00 and 14:00 the day before and at 09:00, 10:00 and 11:00.
struct PruneCase {
    const char* name;
    const char* plant;
    PictureArchive::Limits limits;
    std::set<std::string> left;
};

class PictureArchivePrune : public testing::TestWithParam<PruneCase> {};

TEST_P(PictureArchivePrune, DeletesTheOldestOfItsOwnPicturesOnly) {
    const PruneCase& row = GetParam();
    TempDir dir;
    WorkingDirectory inDir(dir.path());
    ASSERT_EQ(std::system(
                  ("mkdir -p a/2026-12-01 && echo x >victim && " + std::string(row.plant)).c_str()),
              0);
    PictureArchive archive(TimePattern("a/%Y-%m-%d/%H%M%S.jpg"), row.limits);
    std::set<std::string> expected = names();
    for (int hour = 0; hour < 6; ++hour) {
        grab(archive, std::string(100, static_cast<char>('a' + hour)),
             noon() - 24 * 3600 + (hour < 3 ? hour : hour + 18) * 3600);
    }
    archive.prune(noon() + 5400);
    archive.waitIdle();
    expected.insert({"image.jpg", "a/"});
    expected.insert(row.left.begin(), row.left.end());
    EXPECT_EQ(names(), expected);
}

// clang-format off
const std::set<std::string> all{"a/2026-12-06/", "a/2026-12-06/120000.jpg", "a/2026-12-06/130000.jpg",
    "a/2026-12-06/140000.jpg", "a/2026-12-07/", "a/2026-12-07/090000.jpg", "a/2026-12-07/100000.jpg",
    "a/2026-12-07/110000.jpg"};
const std::set<std::string> lastDay{"a/2026-12-06/", "a/2026-12-06/140000.jpg", "a/2026-12-07/",
    "a/2026-12-07/090000.jpg", "a/2026-12-07/100000.jpg", "a/2026-12-07/110000.jpg"};
const std::set<std::string> lastTwo{"a/2026-12-07/", "a/2026-12-07/100000.jpg", "a/2026-12-07/110000.jpg"};

INSTANTIATE_TEST_SUITE_P(, PictureArchivePrune, testing::Values(
    PruneCase{"NoLimitsKeepEverything", "true", {}, all},
    PruneCase{"OneDayKeepsTheLast24Hours", "true", {.days = 1}, lastDay},
    PruneCase{"SizeKeepsTheNewestThatFit", "true", {.bytes = 299}, lastTwo},
    PruneCase{"PlantedFilesLinksAndOtherUsersFilesStay",
              "echo p >a/2026-12-01/notes.txt; echo p >a/2026-12-01/000000.jpg; "
              "chown 54321 a/2026-12-01/000000.jpg; ln -s ../../victim a/2026-12-01/000001.jpg; "
              "mkdir v; echo p >v/000000.jpg; ln -s ../v a/2026-12-05; chown -h 54321 a/2026-12-05",
              {.days = 1, .bytes = 299}, lastTwo}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

} // namespace
