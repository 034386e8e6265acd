#include "platform/ErrorBox.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(ErrorBoxTest, TheSinkGetsCaptionAndTextAndWithoutOneStandardErrorDoes) {
    std::vector<std::string> boxes;
    const ErrorBoxSink previous =
        setErrorBoxSink([&](const std::string& caption, const std::string& text) {
            boxes.push_back(caption + "|" + text);
        });
    showErrorBox("first line\nsecond line");
    setErrorBoxSink({});
    testing::internal::CaptureStderr();
    showErrorBox("::FTP::\nCannot connect");
    const std::string written = testing::internal::GetCapturedStderr();
    setErrorBoxSink(previous);
    EXPECT_EQ(boxes, std::vector<std::string>{"kavri WebCam Error|first line\nsecond line"});
    EXPECT_EQ(written, "kavri WebCam Error: ::FTP::\nCannot connect\n");
}

} // namespace
