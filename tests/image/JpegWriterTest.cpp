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

struct Bgr {
    std::uint8_t blue, green, red;
};

// Pixel rows in DIB order (bottom row first), padding filled with a byte that must never
// reach the image.
std::vector<std::uint8_t> dibRows(int width, int height, Bgr (*colourAt)(int x, int yFromTop)) {
    const std::size_t stride = Surface::strideFor(width);
    std::vector<std::uint8_t> rows(stride * height, 0xAB);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = rows.data() + (height - 1 - y) * stride;
        for (int x = 0; x < width; ++x) {
            const Bgr c = colourAt(x, y);
            row[3 * x] = c.blue;
            row[3 * x + 1] = c.green;
            row[3 * x + 2] = c.red;
        }
    }
    return rows;
}

Bgr quadrants(int x, int y) {
    if (y < 8) {
        return x < 8 ? Bgr{0, 0, 255} : Bgr{0, 255, 0}; // red | green
    }
    return x < 8 ? Bgr{255, 0, 0} : Bgr{255, 255, 255}; // blue | white
}

std::vector<char> bytesOf(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void expectNear(JpegImage::Rgb actual, int red, int green, int blue) {
    constexpr int tolerance = 24;
    EXPECT_NEAR(actual.red, red, tolerance);
    EXPECT_NEAR(actual.green, green, tolerance);
    EXPECT_NEAR(actual.blue, blue, tolerance);
}

int writeImage(const std::vector<std::uint8_t>& rows, int width, int height,
               const std::string& fileName, int quality = 95) {
    JpegWriter writer;
    writer.setQuality(quality);
    return writer.write(rows.data(), width, height, fileName);
}

class JpegWriterTest : public testing::Test {
protected:
    std::size_t filesInDirectory() const {
        return static_cast<std::size_t>(
            std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()));
    }

    TempDir dir;
};

TEST_F(JpegWriterTest, ImageIsUprightInTheRightColours) {
    const auto rows = dibRows(16, 16, quadrants);
    const std::string file = dir.file("image.jpg");
    ASSERT_EQ(writeImage(rows, 16, 16, file), 0);

    const auto image = JpegImage::read(file);
    ASSERT_TRUE(image);
    ASSERT_EQ(image->width, 16);
    ASSERT_EQ(image->height, 16);
    expectNear(image->at(3, 3), 255, 0, 0);
    expectNear(image->at(12, 3), 0, 255, 0);
    expectNear(image->at(3, 12), 0, 0, 255);
    expectNear(image->at(12, 12), 255, 255, 255);
}

TEST_F(JpegWriterTest, FirstRowInMemoryIsTheBottomOfTheImage) {
    // Two rows in memory: blue first, then red. The JPEG holds red on top.
    const auto rows = dibRows(16, 2, [](int, int y) {
        return y == 0 ? Bgr{0, 0, 255} : Bgr{255, 0, 0};
    });
    const std::string file = dir.file("two-rows.jpg");
    ASSERT_EQ(writeImage(rows, 16, 2, file), 0);
    const auto image = JpegImage::read(file);
    ASSERT_TRUE(image);
    // The two rows share their chroma, so only brightness tells them apart: red is the
    // brighter of the two.
    auto luma = [](JpegImage::Rgb c) { return 299 * c.red + 587 * c.green + 114 * c.blue; };
    EXPECT_GT(luma(image->at(8, 0)), luma(image->at(8, 1)) + 20000);
}

class JpegWriterStrideTest : public JpegWriterTest, public testing::WithParamInterface<int> {};

TEST_P(JpegWriterStrideTest, RowPaddingNeverReachesTheImage) {
    const int width = GetParam();
    const auto rows = dibRows(width, 8, [](int, int) { return Bgr{40, 200, 90}; });
    const std::string file = dir.file("stride.jpg");
    ASSERT_EQ(writeImage(rows, width, 8, file, 100), 0);
    const auto image = JpegImage::read(file);
    ASSERT_TRUE(image);
    ASSERT_EQ(image->width, width);
    for (int x = 0; x < width; ++x) {
        for (int y = 0; y < 8; ++y) {
            expectNear(image->at(x, y), 90, 200, 40);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Widths, JpegWriterStrideTest, testing::Values(1, 2, 3, 4, 5, 101));

TEST_F(JpegWriterTest, QualityIsClampedToZeroToHundred) {
    struct Row {
        int asked;
        int used;
    };
    for (const Row row : {Row{-5, 0}, Row{0, 0}, Row{75, 75}, Row{100, 100}, Row{250, 100}}) {
        JpegWriter writer;
        EXPECT_EQ(writer.setQuality(row.asked), row.used) << row.asked;
    }
}

TEST_F(JpegWriterTest, ClampedQualitiesGiveTheSameFileAsTheirLimit) {
    const auto rows = dibRows(16, 16, quadrants);
    auto encoded = [&](int quality) {
        const std::string file = dir.file("q" + std::to_string(quality) + ".jpg");
        EXPECT_EQ(writeImage(rows, 16, 16, file, quality), 0);
        return bytesOf(file);
    };
    EXPECT_EQ(encoded(-5), encoded(1)) << "below 0 is used as 0, which the library makes 1";
    EXPECT_EQ(encoded(250), encoded(100));
    EXPECT_NE(encoded(75), encoded(100));
}

TEST_F(JpegWriterTest, ExistingFileIsReplacedWithItsModeAndNoTemporaryFileStays) {
    const std::string file = dir.file("image.jpg");
    std::ofstream(file) << "an older image";
    const auto shared = std::filesystem::perms(0604);
    std::filesystem::permissions(file, shared);
    const auto rows = dibRows(16, 16, quadrants);
    ASSERT_EQ(writeImage(rows, 16, 16, file), 0);
    EXPECT_TRUE(JpegImage::read(file));
    EXPECT_EQ(std::filesystem::status(file).permissions(), shared);
    EXPECT_EQ(filesInDirectory(), 1u);
}

TEST_F(JpegWriterTest, MissingDirectoryFailsAndCreatesNothing) {
    const auto rows = dibRows(16, 16, quadrants);
    EXPECT_EQ(writeImage(rows, 16, 16, dir.file("no-such-dir/image.jpg")), -1);
    EXPECT_EQ(filesInDirectory(), 0u);
}

TEST_F(JpegWriterTest, EmptyImageFailsAndKeepsTheOldFile) {
    const std::string file = dir.file("image.jpg");
    std::ofstream(file) << "the previous image";
    const std::vector<std::uint8_t> none(4);
    EXPECT_EQ(writeImage(none, 0, 0, file), -1);
    EXPECT_EQ(bytesOf(file), (std::vector<char>{'t', 'h', 'e', ' ', 'p', 'r', 'e', 'v', 'i', 'o',
                                                'u', 's', ' ', 'i', 'm', 'a', 'g', 'e'}));
    EXPECT_EQ(filesInDirectory(), 1u);
}

TEST_F(JpegWriterTest, WriteErrorMidwayKeepsTheOldFileAndTheWriterUsable) {
    const std::string file = dir.file("image.jpg");
    std::ofstream(file) << "the previous image";
    const auto previous = bytesOf(file);
    // A noisy image that cannot fit under the file size limit, as on a full disk.
    std::vector<std::uint8_t> noise(Surface::strideFor(256) * 256);
    std::srand(7);
    for (auto& byte : noise) {
        byte = static_cast<std::uint8_t>(std::rand());
    }

    JpegWriter writer;
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
    EXPECT_EQ(bytesOf(file), previous);
    EXPECT_EQ(filesInDirectory(), 1u);
    EXPECT_EQ(writer.write(noise.data(), 256, 256, file), 0) << "the writer recovers";
    EXPECT_TRUE(JpegImage::read(file));
}

} // namespace
