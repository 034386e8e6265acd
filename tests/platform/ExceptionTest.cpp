#include "platform/Exception.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

const char* const transferMessage =
    "::FTP::\nCannot transfer the file, please check the following:\n * the source file "
    "exists.\n * the destination path exists,\n * the ftp server is responding.";

TEST(ExceptionTest, FtpHandlerCatchesPutErrorWithItsMessageUnchanged) {
    try {
        throw FTPPutException(transferMessage);
    } catch (FTPException e) {
        EXPECT_EQ(e.message, transferMessage);
        return;
    }
    FAIL() << "FTPPutException escaped an FTPException handler";
}

TEST(ExceptionTest, BaseHandlerCatchesEveryKind) {
    auto caught = [](auto thrown) {
        try {
            throw thrown;
        } catch (const Exception& e) {
            return e.message;
        }
    };
    EXPECT_EQ(caught(NoDeviceException("a")), "a");
    EXPECT_EQ(caught(FTPException("b")), "b");
    EXPECT_EQ(caught(FTPPutException("c")), "c");
}

TEST(ExceptionTest, NoDeviceErrorIsNotAnFtpError) {
    bool ftpHandlerRan = false;
    try {
        try {
            throw NoDeviceException("Capture:: There is no capture-device available.");
        } catch (const FTPException&) {
            ftpHandlerRan = true;
        }
    } catch (const NoDeviceException&) {
    }
    EXPECT_FALSE(ftpHandlerRan);
}

TEST(ExceptionTest, CopyKeepsItsTextAfterTheOriginalIsGone) {
    auto original = std::make_unique<Exception>("MainWindow:: Capture object is null!");
    Exception copy = *original;
    original.reset();
    EXPECT_EQ(copy.message, "MainWindow:: Capture object is null!");
}

} // namespace
