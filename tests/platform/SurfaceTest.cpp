#include "platform/Surface.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(SurfaceTest, RowsArePaddedToFourBytes) {
    EXPECT_EQ(Surface::strideFor(1), 4u);
    EXPECT_EQ(Surface::strideFor(2), 8u);
    EXPECT_EQ(Surface::strideFor(4), 12u);
    EXPECT_EQ(Surface::strideFor(176), 528u);
    EXPECT_EQ(Surface::strideFor(177), 532u);
}

TEST(SurfaceTest, SizesThatCannotHoldAnImageGiveNoSurface) {
    EXPECT_FALSE(Surface::create(0, 10));
    EXPECT_FALSE(Surface::create(10, 0));
    EXPECT_FALSE(Surface::create(-1, 10));
    EXPECT_FALSE(Surface::create(INT_MAX, INT_MAX));
    EXPECT_FALSE(Surface::create(65536, 65536)) << "over maxBytes";
    EXPECT_TRUE(Surface::create(7680, 4320)) << "an 8K frame fits";
}

TEST(SurfaceTest, BottomRowComesFirstInMemory) {
    auto surface = Surface::create(3, 2);
    ASSERT_TRUE(surface);
    EXPECT_EQ(surface->rowFromTop(1), surface->bits());
    EXPECT_EQ(surface->rowFromTop(0), surface->bits() + 12);
}

TEST(SurfaceTest, AdoptedBufferIsUsedInPlaceFromItsOffset) {
    std::vector<std::uint8_t> block(10 + 12 * 2, 0);
    block[10] = 42; // first byte of the bottom row
    const std::uint8_t* pixels = block.data() + 10;
    auto surface = Surface::adopt(3, 2, std::move(block), 10);
    ASSERT_TRUE(surface);
    EXPECT_EQ(surface->bits(), pixels) << "no copy";
    EXPECT_EQ(surface->bits()[0], 42);

    EXPECT_FALSE(Surface::adopt(3, 2, std::vector<std::uint8_t>(10 + 23), 10)) << "one byte short";
    EXPECT_FALSE(Surface::adopt(3, 2, std::vector<std::uint8_t>(8), 10)) << "offset past the end";
    EXPECT_FALSE(Surface::adopt(0, 2, std::vector<std::uint8_t>(100), 0));
}

} // namespace
