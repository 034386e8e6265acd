#include "settings/PictureValues.h"

#include <charconv>
#include <cmath>

namespace {

// A plain decimal number that fills the whole text.
std::optional<int> wholeNumber(std::string_view text) {
    int value = 0;
    if (text.empty() || text.front() == '-' || text.front() == '+') {
        return std::nullopt;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

} // namespace

std::optional<int> PictureValues::parseNumber(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return std::nullopt;
    }
    text = text.substr(first, text.find_last_not_of(' ') + 1 - first);
    return wholeNumber(text);
}

std::optional<std::array<int, 4>> PictureValues::parseCrop(std::string_view text) {
    std::array<int, 4> numbers{};
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        const std::size_t comma = i + 1 < numbers.size() ? text.find(',') : text.size();
        if (comma == std::string_view::npos) {
            return std::nullopt;
        }
        const std::optional<int> number = wholeNumber(text.substr(0, comma));
        if (!number) {
            return std::nullopt;
        }
        numbers[i] = *number;
        text.remove_prefix(std::min(text.size(), comma + 1));
    }
    if (numbers[2] <= 0 || numbers[3] <= 0) {
        return std::nullopt;
    }
    return numbers;
}

std::optional<int> PictureValues::parseClock(std::string_view text) {
    if (text.size() != 5 || text[2] != ':') {
        return std::nullopt;
    }
    const std::optional<int> hours = wholeNumber(text.substr(0, 2));
    const std::optional<int> minutes = wholeNumber(text.substr(3, 2));
    if (!hours || !minutes || *hours > 23 || *minutes > 59) {
        return std::nullopt;
    }
    return *hours * 60 + *minutes;
}

std::optional<double> PictureValues::parseDegrees(std::string_view text, double limit) {
    double value = 0;
    if (text.empty() || text.front() == '+') {
        return std::nullopt;
    }
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    if (error != std::errc{} || end != text.data() + text.size() || !std::isfinite(value) ||
        std::fabs(value) > limit) {
        return std::nullopt;
    }
    return value;
}

bool PictureValues::isDays(std::string_view text) {
    return text.size() == 7 && text.find_first_not_of("01") == std::string_view::npos &&
           text.find('1') != std::string_view::npos;
}
