#include "app/MainWindow.h"

#include "tests/app/MainWindowFixture.h"

#include <ostream>

namespace {

using namespace windowMessage;

struct ZoomRow {
    const char* name;
    int index;
    int width;
    int height;
};

void PrintTo(const ZoomRow& row, std::ostream* out) {
    *out << row.name;
}

class ZoomSizeTest : public MainWindowTest, public testing::WithParamInterface<ZoomRow> {};

TEST_P(ZoomSizeTest, TheWindowAndThePreviewTakeTheTruncatedSize) {
    build();
    window().move(30, 40);
    command(menuCommand::zoomFirst + GetParam().index);
    EXPECT_EQ(window().rect, (Rect{30, 40, 30 + GetParam().width, 40 + GetParam().height}));
    ASSERT_FALSE(service.resized.empty());
    EXPECT_EQ(service.resized.back().width, GetParam().width);
    EXPECT_EQ(service.resized.back().height, GetParam().height);
    EXPECT_EQ(menu().checkedAmong(menuCommand::zoomFirst, menuCommand::zoomLast),
              std::vector<int>{menuCommand::zoomFirst + GetParam().index});
    EXPECT_EQ(mainWindow->getZoomIndex(), GetParam().index);
}

INSTANTIATE_TEST_SUITE_P(
    Of320x240, ZoomSizeTest,
    testing::Values(ZoomRow{"Percent25", 0, 80, 60}, ZoomRow{"Percent37", 1, 120, 90},
                    ZoomRow{"Percent50", 2, 160, 120}, ZoomRow{"Percent75", 3, 240, 180},
                    ZoomRow{"Percent100", 4, 320, 240}, ZoomRow{"Percent150", 5, 480, 360},
                    ZoomRow{"Percent200", 6, 640, 480}, ZoomRow{"Percent250", 7, 800, 600},
                    ZoomRow{"Percent300", 8, 960, 720}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, ThirtySevenPercentTruncatesAnOddImage) {
    service.statusToReport.uiImageWidth = 161;
    service.statusToReport.uiImageHeight = 121;
    build();
    command(menuCommand::zoomFirst + 1);
    // 161 x 0.375 = 60.375 and 121 x 0.375 = 45.375.
    EXPECT_EQ(window().rect.width(), 60);
    EXPECT_EQ(window().rect.height(), 45);
}

TEST_F(MainWindowTest, FullCoversTheDesktopAndOneHundredPercentThenKeepsTheCorner) {
    build();
    window().move(100, 100);
    command(menuCommand::zoomLast);
    EXPECT_EQ(window().rect, (Rect{0, 0, 1024, 768}));
    EXPECT_EQ(menu().checkedAmong(menuCommand::zoomFirst, menuCommand::zoomLast),
              std::vector<int>{menuCommand::zoomLast});
    EXPECT_EQ(service.resized.back().width, 1024);
    EXPECT_EQ(service.resized.back().height, 768);
    command(menuCommand::zoomFirst + 4);
    EXPECT_EQ(window().rect, (Rect{0, 0, 320, 240}));
}

struct PlaceRow {
    const char* name;
    Point stored;
    Point placed;
};

void PrintTo(const PlaceRow& row, std::ostream* out) {
    *out << row.name;
}

class PlacementTest : public MainWindowTest, public testing::WithParamInterface<PlaceRow> {};

TEST_P(PlacementTest, TheStoredPositionIsPlacedOnTheScreen) {
    construct();
    mainWindow->setPositionX(GetParam().stored.x);
    mainWindow->setPositionY(GetParam().stored.y);
    // Storing does not move the window.
    EXPECT_EQ(window().rect.left, 0);
    setUp();
    EXPECT_EQ(window().rect.left, GetParam().placed.x);
    EXPECT_EQ(window().rect.top, GetParam().placed.y);
    EXPECT_EQ(mainWindow->getPositionX(), GetParam().placed.x);
    EXPECT_EQ(mainWindow->getPositionY(), GetParam().placed.y);
}

INSTANTIATE_TEST_SUITE_P(On1024x768, PlacementTest,
                         testing::Values(PlaceRow{"Inside", {100, 50}, {100, 50}},
                                         PlaceRow{"FarOff", {5000, 5000}, {848, 624}},
                                         PlaceRow{"AtTheTenPixelLimit", {1014, 758}, {1014, 758}},
                                         PlaceRow{"JustPastIt", {1015, 759}, {848, 624}},
                                         PlaceRow{"OnlyXOff", {2000, 10}, {848, 10}},
                                         PlaceRow{"NegativeStays", {-30, -40}, {-30, -40}}),
                         [](const auto& info) { return std::string(info.param.name); });

struct ZoomIndexRow {
    const char* name;
    int stored;
    int applied;
};

void PrintTo(const ZoomIndexRow& row, std::ostream* out) {
    *out << row.name;
}

class StoredZoomIndexTest : public MainWindowTest,
                            public testing::WithParamInterface<ZoomIndexRow> {};

TEST_P(StoredZoomIndexTest, AnIndexWithoutAZoomStepBecomesTheDefault) {
    construct();
    mainWindow->setZoomIndex(GetParam().stored);
    EXPECT_EQ(mainWindow->getZoomIndex(), GetParam().applied);
    setUp();
    EXPECT_EQ(menu().checkedAmong(menuCommand::zoomFirst, menuCommand::zoomLast),
              std::vector<int>{menuCommand::zoomFirst + GetParam().applied});
}

INSTANTIATE_TEST_SUITE_P(Indices, StoredZoomIndexTest,
                         testing::Values(ZoomIndexRow{"First", 0, 0}, ZoomIndexRow{"Full", 9, 9},
                                         ZoomIndexRow{"MinusOne", -1, 3},
                                         ZoomIndexRow{"Ten", 10, 3},
                                         ZoomIndexRow{"Huge", 1000000, 3}),
                         [](const auto& info) { return std::string(info.param.name); });

// Dragging a 240 x 180 window (75% of 320 x 240) on the 1024 x 768 desktop.
class DragTest : public MainWindowTest {
protected:
    void SetUp() override {
        build();
        window().move(300, 200);
    }

    // The left button goes down with the cursor at this screen point.
    void press(int x, int y) {
        system.cursor = {x, y};
        const Point client = toClient({x, y});
        window().deliver(WM_LBUTTONDOWN, mouseKey::MK_LBUTTON,
                         packMousePosition(client.x, client.y));
    }
    void release() { window().deliver(WM_LBUTTONUP, 0, 0); }
    // The cursor moves to this screen point with keys held.
    void moveTo(int x, int y, std::uintptr_t keys = mouseKey::MK_LBUTTON) {
        system.cursor = {x, y};
        const Point client = toClient({x, y});
        window().deliver(WM_MOUSEMOVE, keys, packMousePosition(client.x, client.y));
    }
    Point toClient(Point screen) {
        return {screen.x - window().rect.left - 1, screen.y - window().rect.top - 1};
    }
    Point topLeft() { return {window().rect.left, window().rect.top}; }
};

// The cursor keeps the grabbed point: a press at screen (310, 215) on the window at
// (300, 200) grabs it 10 and 15 pixels from its outer corner.

TEST_F(DragTest, TheWindowFollowsTheCursorFromWhereItWasGrabbed) {
    press(310, 215);
    EXPECT_TRUE(window().mouseCaptured);
    moveTo(410, 265);
    EXPECT_EQ(topLeft(), (Point{400, 250}));
    moveTo(500, 300);
    EXPECT_EQ(topLeft(), (Point{490, 285}));
    release();
    EXPECT_FALSE(window().mouseCaptured);
    // getPositionX/Y report where it is now.
    EXPECT_EQ(mainWindow->getPositionX(), 490);
    EXPECT_EQ(mainWindow->getPositionY(), 285);
}

TEST_F(DragTest, PressAndReleaseWithoutMovingLeavesTheWindowWhereItIs) {
    for (int drag = 0; drag < 3; ++drag) {
        press(310, 215);
        moveTo(340, 245);
        moveTo(310, 215);
        release();
        EXPECT_EQ(topLeft(), (Point{300, 200}));
    }
}

TEST_F(DragTest, TheLeftEdgeSnapsOnTheMoveAfterEnteringTheBandAndHoldsFor20Pixels) {
    press(310, 215);
    moveTo(25, 215);
    // First it follows into the band...
    EXPECT_EQ(topLeft(), (Point{15, 200}));
    // ...then snaps to 0, keeping the point now under the cursor and the anchor here.
    moveTo(24, 215);
    EXPECT_EQ(topLeft(), (Point{0, 200}));
    moveTo(44, 215);
    EXPECT_EQ(topLeft(), (Point{0, 200}));
    moveTo(45, 215);
    EXPECT_EQ(topLeft(), (Point{45 - 9, 200}));
}

TEST_F(DragTest, TheRightEdgeSnapsToTheDesktopLessTheClientWidth) {
    press(310, 215);
    // Right edge 1005, 19 pixels from the desktop's.
    moveTo(775, 215);
    EXPECT_EQ(topLeft(), (Point{765, 200}));
    moveTo(776, 215);
    EXPECT_EQ(topLeft(), (Point{1024 - 238, 200}));
    moveTo(756, 215);
    EXPECT_EQ(topLeft(), (Point{786, 200}));
    moveTo(755, 215);
    EXPECT_EQ(topLeft(), (Point{755 - 11, 200}));
}

TEST_F(DragTest, TheTopEdgeSnapsAndIsLeftByMovingDown) {
    press(310, 215);
    moveTo(310, 30);
    EXPECT_EQ(topLeft(), (Point{300, 15}));
    moveTo(310, 29);
    EXPECT_EQ(topLeft(), (Point{300, 0}));
    moveTo(310, 49);
    EXPECT_EQ(topLeft(), (Point{300, 0}));
    moveTo(310, 50);
    EXPECT_EQ(topLeft(), (Point{300, 50 - 14}));
}

TEST_F(DragTest, TheBottomEdgeSnapsToTheDesktopLessTheClientHeight) {
    press(310, 215);
    // Bottom edge 749, 19 pixels from the desktop's.
    moveTo(310, 584);
    EXPECT_EQ(topLeft(), (Point{300, 569}));
    moveTo(310, 585);
    EXPECT_EQ(topLeft(), (Point{300, 768 - 178}));
    moveTo(310, 565);
    EXPECT_EQ(topLeft(), (Point{300, 590}));
    moveTo(310, 564);
    EXPECT_EQ(topLeft(), (Point{300, 564 - 16}));
}

TEST_F(DragTest, TheSnapOutlivesTheDragAndCountsFromTheNextPress) {
    press(310, 215);
    moveTo(25, 215);
    moveTo(24, 215);
    release();
    ASSERT_EQ(topLeft(), (Point{0, 200}));
    // A new drag starts with the window still held at the left edge; the anchor is the new
    // press.
    press(10, 215);
    moveTo(30, 230);
    EXPECT_EQ(topLeft(), (Point{0, 215}));
    moveTo(31, 230);
    EXPECT_EQ(topLeft(), (Point{31 - 10, 215}));
}

class ModifiedDragTest : public DragTest, public testing::WithParamInterface<std::uintptr_t> {};

TEST_P(ModifiedDragTest, AMoveWithMoreThanTheLeftButtonDoesNotDrag) {
    press(310, 215);
    moveTo(410, 265, GetParam());
    EXPECT_EQ(topLeft(), (Point{300, 200}));
}

INSTANTIATE_TEST_SUITE_P(Keys, ModifiedDragTest,
                         testing::Values(mouseKey::MK_LBUTTON | mouseKey::MK_SHIFT,
                                         mouseKey::MK_LBUTTON | mouseKey::MK_CONTROL,
                                         mouseKey::MK_LBUTTON | mouseKey::MK_RBUTTON,
                                         mouseKey::MK_LBUTTON | mouseKey::MK_MBUTTON,
                                         mouseKey::MK_RBUTTON, std::uintptr_t{0}));

} // namespace
