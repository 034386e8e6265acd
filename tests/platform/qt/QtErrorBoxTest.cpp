#include "platform/qt/QtErrorBox.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(QtErrorBoxTest, OffscreenBoxWritesCaptionAndTextToStandardErrorAndReturns) {
    const ErrorBoxSink previous = installQtErrorBox();
    testing::internal::CaptureStderr();
    showErrorBox("::Illegal filename::\n\n   x/y.jpg");
    const std::string written = testing::internal::GetCapturedStderr();
    setErrorBoxSink(previous);
    EXPECT_EQ(written, "kavri WebCam Error: ::Illegal filename::\n\n   x/y.jpg\n");
}

} // namespace
