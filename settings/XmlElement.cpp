#include "settings/XmlElement.h"

#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>

namespace {

bool isWhiteSpace(unsigned char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

int toInt(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isWhiteSpace(static_cast<unsigned char>(text[i]))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    std::uint32_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10u + static_cast<std::uint32_t>(text[i] - '0');
    }
    if (negative) {
        value = 0u - value;
    }
    return static_cast<std::int32_t>(value);
}

} // namespace

// memcmp compares bytes as unsigned char, which is the order wanted here.
bool AttributeNameLess::operator()(const std::string& left, const std::string& right) const {
    const std::size_t common = left.size() < right.size() ? left.size() : right.size();
    const int order = common == 0 ? 0 : std::memcmp(left.data(), right.data(), common);
    return order != 0 ? order < 0 : left.size() < right.size();
}

XmlElement::XmlElement(std::string name, std::unique_ptr<AttributeMap> attributes)
    : name_(std::move(name))
    , attributes_(std::move(attributes)) {}

// Value-initialised iterators compare equal, which gives an element without a map its
// empty range.
XmlElement::AttributeIterator XmlElement::begin() const {
    return attributes_ ? attributes_->cbegin() : AttributeIterator{};
}

XmlElement::AttributeIterator XmlElement::end() const {
    return attributes_ ? attributes_->cend() : AttributeIterator{};
}

std::string XmlElement::attributeName(AttributeIterator position) const {
    return position->first;
}

std::string XmlElement::attributeValue(AttributeIterator position) const {
    return position->second;
}

int XmlElement::attributeInt(AttributeIterator position) const {
    return toInt(position->second);
}
