#include "image/JpegWriter.h"

#include "tests/support/FileBytes.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/JpegImage.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <random>

namespace {

// A web server may share the file through its group and mode. A full disk midway: the web
// server never serves half a picture, and the writer recovers.
TEST(JpegWriterTest, ReplacesTheFileWholeWithItsModeOrKeepsTheOldOne) {
    TempDir dir;
    const std::string file = dir.file("image.jpg");
    // A noisy picture, which cannot fit under a small file size limit.
    std::vector<std::uint8_t> pixels(Surface::strideFor(256) * 256);
    std::generate(pixels.begin(), pixels.end(), std::minstd_rand(7));
    std::ofstream(file) << "the previous image";
    std::filesystem::permissions(file, std::filesystem::perms(0604));
    JpegWriter writer;
    writer.setQuality(100);
    int failed = 0, why = 0;
    {
        FileSizeLimit limit(4096);
        failed = writer.write(pixels.data(), 256, 256, file);
        why = errno;
    }
    EXPECT_EQ(failed, -1);
    EXPECT_EQ(why, EFBIG) << "the write's own error, for the health line";
    EXPECT_EQ(readBytes(file), "the previous image");
    EXPECT_EQ(writer.write(pixels.data(), 256, 256, dir.file("missing/image.jpg")), -1);
    ASSERT_EQ(writer.write(pixels.data(), 256, 256, file), 0);
    EXPECT_TRUE(readJpeg(file, 256, 256));
    EXPECT_EQ(std::filesystem::status(file).permissions(), std::filesystem::perms(0604));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1)
        << "no temporary file stays";
}

} // namespace
