#include "base/TimePattern.h"

#include <cctype>
#include <string_view>
#include <utility>

namespace {

// The digits a conversion reads, or 0 for one that is not supported.
std::size_t digitsOf(char conversion) {
    switch (conversion) {
    case 'Y':
        return 4;
    case 'm':
    case 'd':
    case 'H':
    case 'M':
    case 'S':
        return 2;
    default:
        return 0;
    }
}

int* fieldOf(std::tm& time, char conversion) {
    switch (conversion) {
    case 'Y':
        return &time.tm_year;
    case 'm':
        return &time.tm_mon;
    case 'd':
        return &time.tm_mday;
    case 'H':
        return &time.tm_hour;
    case 'M':
        return &time.tm_min;
    default:
        return &time.tm_sec;
    }
}

// Moves position past a suffix "-number" of name there, as withSuffix writes it.
void skipSuffix(std::string_view name, std::size_t& position) {
    if (position >= name.size() || name[position] != '-') {
        return;
    }
    std::size_t end = position + 1;
    while (end < name.size() && std::isdigit(static_cast<unsigned char>(name[end])) != 0) {
        ++end;
    }
    if (end > position + 1 && name[position + 1] != '0') {
        position = end;
    }
}

} // namespace

TimePattern::TimePattern(std::string pattern)
    : pattern_(std::move(pattern)) {}

bool TimePattern::usable() const {
    if (pattern_.empty() || pattern_.back() == '/') {
        return false;
    }
    for (std::size_t i = 0; i < pattern_.size(); ++i) {
        if (pattern_[i] == '%' && (i + 1 == pattern_.size() ||
                                   (pattern_[i + 1] != '%' && digitsOf(pattern_[i + 1]) == 0))) {
            return false;
        }
        i += pattern_[i] == '%' ? 1 : 0;
    }
    const std::string wrapped = "/" + pattern_ + "/";
    return wrapped.find("/./") == std::string::npos && wrapped.find("/../") == std::string::npos;
}

std::string TimePattern::expand(std::time_t moment) const {
    std::tm local{};
    ::localtime_r(&moment, &local);
    std::string name(pattern_.size() * 2 + 16, '\0');
    const std::size_t length = std::strftime(name.data(), name.size(), pattern_.c_str(), &local);
    name.resize(length);
    return name;
}

std::string TimePattern::withSuffix(const std::string& name, unsigned number) const {
    if (number == 0) {
        return name;
    }
    const std::size_t slash = name.rfind('/');
    const std::size_t dot = name.rfind('.');
    const std::size_t at =
        dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == 0
            ? name.size()
            : dot;
    return name.substr(0, at) + "-" + std::to_string(number) + name.substr(at);
}

std::string TimePattern::root() const {
    const std::size_t conversion = pattern_.find('%');
    const std::size_t slash = pattern_.rfind('/', conversion);
    return slash == std::string::npos || slash == 0 ? (slash == 0 ? "/" : ".")
                                                    : pattern_.substr(0, slash);
}

std::optional<std::time_t> TimePattern::match(const std::string& name) const {
    if (!usable()) {
        return std::nullopt;
    }
    // The fields as the name writes them (the full year, the month from 1) until the end.
    std::tm time{};
    time.tm_year = 1970;
    time.tm_mon = 1;
    time.tm_mday = 1;
    time.tm_isdst = -1;
    const std::size_t lastDot = pattern_.rfind('.');
    const bool dotInName =
        lastDot != std::string::npos && pattern_.find('/', lastDot) == std::string::npos;
    std::size_t at = 0;
    for (std::size_t i = 0; i <= pattern_.size(); ++i) {
        // The suffix sits in front of the extension, or at the end without one.
        if (i == (dotInName ? lastDot : pattern_.size())) {
            skipSuffix(name, at);
        }
        if (i == pattern_.size()) {
            break;
        }
        const char c = pattern_[i];
        if (c == '%' && pattern_[i + 1] != '%') {
            const std::size_t digits = digitsOf(pattern_[++i]);
            int value = 0;
            for (std::size_t d = 0; d < digits; ++d, ++at) {
                if (at >= name.size() || std::isdigit(static_cast<unsigned char>(name[at])) == 0) {
                    return std::nullopt;
                }
                value = value * 10 + (name[at] - '0');
            }
            *fieldOf(time, pattern_[i]) = value;
            continue;
        }
        i += c == '%' ? 1 : 0;
        if (at >= name.size() || name[at++] != c) {
            return std::nullopt;
        }
    }
    if (at != name.size()) {
        return std::nullopt;
    }
    time.tm_year -= 1900;
    time.tm_mon -= 1;
    const std::time_t moment = std::mktime(&time);
    return moment == -1 ? std::nullopt : std::optional(moment);
}
