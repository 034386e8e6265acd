#include "image/JpegWriter.h"

#include "platform/Surface.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/JpegImage.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

std::string contentsOf(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class JpegWriterTest : public testing::Test {
protected:
    std::size_t filesInDirectory() const {
        return static_cast<std::size_t>(
            std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()));
    }

    TempDir dir;
    const std::string file = dir.file("image.jpg");
    // A noisy picture, which cannot fit under a small file size limit.
    std::vector<std::uint8_t> noise = [] {
        std::vector<std::uint8_t> rows(Surface::strideFor(256) * 256);
        std::srand(7);
        for (auto& byte : rows) {
            byte = static_cast<std::uint8_t>(std::rand());
        }
        return rows;
    }();
    JpegWriter writer;
};

// A web server may share the file through its group and mode.
TEST_F(JpegWriterTest, ExistingFileIsReplacedWithItsModeAndNoTemporaryFileStays) {
    std::ofstream(file) << "an older image";
    const auto shared = std::filesystem::perms(0604);
    std::filesystem::permissions(file, shared);
    ASSERT_EQ(writer.write(noise.data(), 16, 16, file), 0);
    EXPECT_TRUE(JpegImage::read(file));
    EXPECT_EQ(std::filesystem::status(file).permissions(), shared);
    EXPECT_EQ(filesInDirectory(), 1u);
}

// A full disk midway: the web server never serves half a picture.
TEST_F(JpegWriterTest, WriteErrorKeepsTheOldFileWholeAndTheWriterUsable) {
    std::ofstream(file) << "the previous image";
    writer.setQuality(100);
    int failed = 0;
    int why = 0;
    {
        FileSizeLimit limit(4096);
        failed = writer.write(noise.data(), 256, 256, file);
        why = errno;
    }
    EXPECT_EQ(failed, -1);
    EXPECT_EQ(why, EFBIG) << "the write's own error, for the health line";
    EXPECT_EQ(contentsOf(file), "the previous image");
    EXPECT_EQ(writer.write(noise.data(), 256, 256, dir.file("missing/image.jpg")), -1);
    EXPECT_EQ(filesInDirectory(), 1u);
    EXPECT_EQ(writer.write(noise.data(), 256, 256, file), 0) << "the writer recovers";
    EXPECT_TRUE(JpegImage::read(file));
}

} // namespace
