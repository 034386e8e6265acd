#pragma once

#include <string_view>

class XmlElement;

// Receives what XmlParser finds, in document order. Every operation does nothing here; a
// receiver derives from this class and overrides what it needs.
//
// Order of events: startDocument first and endDocument last, once each; between them
// startElement / endElement pairs properly nested (an endElement always gets the innermost
// element that is still open), characters for each non-empty run of character data, and
// error for every problem found. The element pointers belong to the parser: an element
// stays valid from its startElement until its endElement returns.
class XmlHandler {
public:
    virtual ~XmlHandler() = default;

    virtual void startDocument() {}
    virtual void endDocument() {}
    // A start tag (or empty-element tag) has been read with all its attributes.
    virtual void startElement(const XmlElement* /*element*/) {}
    // The innermost open element is being closed; it is destroyed right after this call.
    virtual void endElement(const XmlElement* /*element*/) {}
    // A non-empty run of character data; the view is valid during the call only.
    virtual void characters(std::string_view /*text*/) {}
    // One problem of the document; the parse goes on after it.
    virtual void error(std::string_view /*message*/) {}
};
