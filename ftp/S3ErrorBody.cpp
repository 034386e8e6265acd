#include "ftp/S3ErrorBody.h"

#include "settings/XmlElement.h"
#include "settings/XmlHandler.h"
#include "settings/XmlParser.h"

#include <ctime>
#include <map>
#include <memory>
#include <optional>
#include <sstream>

namespace {

// Collects the text of each child of the document's <Error> element by its name.
class ErrorFields final : public XmlHandler {
public:
    explicit ErrorFields(std::map<std::string, std::string>& fields)
        : fields_(fields) {}

    void startElement(const XmlElement* element) override {
        ++depth_;
        if (depth_ == 1) {
            isError_ = element->getName() == "Error";
        }
        field_ = depth_ == 2 && isError_ ? element->getName() : "";
    }
    void endElement(const XmlElement*) override {
        --depth_;
        field_.clear();
    }
    void characters(std::string_view text) override {
        if (!field_.empty()) {
            fields_[field_].append(text);
        }
    }

private:
    std::map<std::string, std::string>& fields_;
    int depth_ = 0;
    bool isError_ = false;
    std::string field_;
};

// The seconds since 1970 of an ISO 8601 time in UTC, basic ("20260101T120000Z") or
// extended ("2026-01-01T12:00:00.000Z"); nothing when it is neither.
std::optional<long long> secondsOf(const std::string& time) {
    std::string digits;
    for (const char byte : time.substr(0, time.find('.'))) {
        if (byte >= '0' && byte <= '9') {
            digits += byte;
        }
    }
    if (digits.size() != 14) {
        return std::nullopt;
    }
    std::tm parts{};
    parts.tm_year = std::stoi(digits.substr(0, 4)) - 1900;
    parts.tm_mon = std::stoi(digits.substr(4, 2)) - 1;
    parts.tm_mday = std::stoi(digits.substr(6, 2));
    parts.tm_hour = std::stoi(digits.substr(8, 2));
    parts.tm_min = std::stoi(digits.substr(10, 2));
    parts.tm_sec = std::stoi(digits.substr(12, 2));
    return static_cast<long long>(timegm(&parts));
}

std::string oneLine(std::string text) {
    for (char& byte : text) {
        if (static_cast<unsigned char>(byte) < 0x20) {
            byte = ' ';
        }
    }
    return text;
}

} // namespace

S3ErrorBody::S3ErrorBody(const std::string& body) {
    std::map<std::string, std::string> fields;
    std::istringstream input(body);
    XmlParser parser(input);
    parser.setHandler(std::make_unique<ErrorFields>(fields));
    parser.parse();
    code_ = oneLine(fields["Code"]);
    message_ = oneLine(fields["Message"]);
    requestTime_ = fields["RequestTime"];
    serverTime_ = fields["ServerTime"];
}

std::string S3ErrorBody::describe() const {
    std::string text = code_;
    if (!message_.empty()) {
        text += (text.empty() ? "" : ": ") + message_;
    }
    const auto request = secondsOf(requestTime_);
    const auto server = secondsOf(serverTime_);
    if (request && server) {
        const long long difference = *request - *server;
        text += " (this computer's clock is " +
                std::to_string(difference < 0 ? -difference : difference) + " s " +
                (difference < 0 ? "behind" : "ahead of") + " the server's)";
    }
    return text;
}
