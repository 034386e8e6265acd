#include "platform/ErrorBox.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using Box = std::pair<std::string, std::string>;

class ErrorBoxTest : public testing::Test {
protected:
    void SetUp() override {
        previous = setErrorBoxSink([this](const std::string& caption, const std::string& text) {
            boxes.emplace_back(caption, text);
        });
    }
    void TearDown() override { setErrorBoxSink(previous); }

    std::vector<Box> boxes;
    ErrorBoxSink previous;
};

TEST_F(ErrorBoxTest, SinkGetsTheFixedCaptionAndTheTextWithItsLineBreaks) {
    showErrorBox("first line\nsecond line");
    showErrorBox("");
    EXPECT_THAT(boxes, testing::ElementsAre(Box{"kavri WebCam Error", "first line\nsecond line"},
                                            Box{"kavri WebCam Error", ""}));
}

TEST_F(ErrorBoxTest, EmptySinkFallsBackToStandardError) {
    setErrorBoxSink({});
    testing::internal::CaptureStderr();
    showErrorBox("::FTP::\nCannot connect");
    const std::string written = testing::internal::GetCapturedStderr();
    EXPECT_EQ(written, "kavri WebCam Error: ::FTP::\nCannot connect\n");
    EXPECT_TRUE(boxes.empty());
}

} // namespace
