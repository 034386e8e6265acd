#pragma once

#include <string>
#include <utility>

// The program's error family. Each error carries one text, the complete message the user
// sees. They are plain values: thrown by value, caught by value or reference, and a
// handler for a base class also catches the derived ones.
class Exception {
public:
    explicit Exception(std::string message)
        : message(std::move(message)) {}

    std::string message;
};

// No capture device is installed, or none of them connects.
class NoDeviceException : public Exception {
public:
    using Exception::Exception;
};

// No connection to the FTP server could be made.
class FTPException : public Exception {
public:
    using Exception::Exception;
};

// A file could not be stored on the FTP server.
class FTPPutException : public FTPException {
public:
    using FTPException::FTPException;
};
