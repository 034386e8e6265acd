#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>

// Orders attribute names byte by byte as unsigned values, so upper-case letters come before
// lower-case ones and bytes above 127 come last, whatever the signedness of char.
struct AttributeNameLess {
    bool operator()(const std::string& left, const std::string& right) const;
};

using AttributeMap = std::map<std::string, std::string, AttributeNameLess>;

// One element of a document while it is open: its name and its attributes. A start tag
// whose name is followed directly by ">" has no attribute map at all; any other start tag
// (an empty-element tag, or one with attributes) has a map, possibly empty.
class XmlElement {
public:
    using AttributeIterator = AttributeMap::const_iterator;

    XmlElement(std::string name, std::unique_ptr<AttributeMap> attributes);

    XmlElement(const XmlElement&) = delete;
    XmlElement& operator=(const XmlElement&) = delete;

    const std::string& getName() const { return name_; }
    bool hasAttributeMap() const { return attributes_ != nullptr; }
    std::size_t attributeCount() const { return attributes_ ? attributes_->size() : 0; }

    // The attributes in ascending name order; an element without a map has an empty range.
    AttributeIterator begin() const;
    AttributeIterator end() const;

    // Name and value at a position of the range above (which must not be end()).
    std::string attributeName(AttributeIterator position) const;
    std::string attributeValue(AttributeIterator position) const;

    // The value at a position read as a decimal integer the way atoi does: leading white
    // space skipped, an optional sign, then the digits up to the first other character;
    // no digits give 0. Unlike atoi, a number too large for 32 bits is well defined: the
    // digits accumulate modulo 2^32 and the result is that 32-bit pattern read as signed,
    // so an unsigned 32-bit value written in decimal ("4294967295") reads back bit for bit
    // (as -1) and "-1" gives the pattern 0xFFFFFFFF.
    int attributeInt(AttributeIterator position) const;

private:
    std::string name_;
    std::unique_ptr<AttributeMap> attributes_;
};
