#include "platform/Surface.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <vector>

namespace {

// A camera or a file may claim any size; only one that fits memory gets pixels.
TEST(SurfaceTest, SizesAndBuffersThatCannotHoldTheImageGiveNoSurface) {
    EXPECT_FALSE(Surface::create(0, 10));
    EXPECT_FALSE(Surface::create(-1, 10));
    EXPECT_FALSE(Surface::create(INT_MAX, INT_MAX));
    EXPECT_FALSE(Surface::create(65536, 65536));
    EXPECT_TRUE(Surface::create(7680, 4320)) << "an 8K frame fits";
    // Rows of 3 pixels take 12 bytes, padded to four.
    EXPECT_TRUE(Surface::adopt(3, 2, std::vector<std::uint8_t>(10 + 24), 10));
    EXPECT_FALSE(Surface::adopt(3, 2, std::vector<std::uint8_t>(10 + 23), 10));
    EXPECT_FALSE(Surface::adopt(3, 2, std::vector<std::uint8_t>(8), 10));
}

} // namespace
