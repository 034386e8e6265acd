#pragma once

#include <string>

// What an S3 server says in the XML body of an error answer: its code (e.g.
// "SignatureDoesNotMatch", "AccessDenied"), its message and, for "RequestTimeTooSkewed", the
// request's time and the server's, from which the clock difference follows.
class S3ErrorBody {
public:
    // Reads the body with the program's markup parser; a body that is not an S3 error gives
    // empty fields.
    explicit S3ErrorBody(const std::string& body);

    const std::string& code() const { return code_; }
    const std::string& message() const { return message_; }
    // One line for a failure reason: the code, the message, and for a skewed clock how far
    // this computer's clock is from the server's; empty when the body said nothing.
    std::string describe() const;

private:
    std::string code_;
    std::string message_;
    std::string requestTime_;
    std::string serverTime_;
};
