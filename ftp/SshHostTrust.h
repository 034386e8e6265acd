#pragma once

#include "base/FileDescriptor.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Whether one SFTP connection may trust the server's host key, decided as ssh decides it
// from the known_hosts files (SshFiles), and refused before anything else is sent when not.
// ssh asks the server first for the key types recorded for it, then for the others; the
// transfer library asks for one type only, so each connection that a server ends for want
// of a common key type is tried again with the next. Belongs to one transfer handle.
class SshHostTrust {
public:
    // host as the known_hosts files write it: an IPv6 address without brackets.
    SshHostTrust(std::string host, std::uint16_t port);

    // Has the transfer handle (a CURL*) ask for the first key type and check the key.
    void setUp(void* easy);
    // After a connection failed with the transfer library's result code: when the server
    // ended it before showing a key, has the next connection ask for the next key type and
    // answers true; false when that was not why, or no type is left.
    bool askNextKeyType(int result);
    // Decides on the key the server showed (its raw blob): true when it is trusted;
    // otherwise problem() says why and how to go on.
    bool trusts(const std::string& keyBlob);
    // Empty while the key is trusted or has not been seen.
    const std::string& problem() const { return problem_; }

private:
    // Points the transfer library at a file of its own naming only the type asked for, or
    // none, which lets the SSH library offer all it knows.
    void askFor(const std::string& type);

    std::string host_;
    std::uint16_t port_;
    // The key types to ask for in turn, and the next one's index; the last is "", any type.
    std::vector<std::string> types_;
    std::size_t next_ = 0;
    // The file the transfer library reads known hosts from, in memory.
    FileDescriptor file_;
    std::string filePath_;
    bool keySeen_ = false;
    std::string problem_;
};
