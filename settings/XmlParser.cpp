#include "settings/XmlParser.h"

#include <array>
#include <ios>
#include <string>
#include <utility>

namespace {

// The messages the handler's error receives.
constexpr std::string_view missingIdentifier =
    "missing start of identifier: expected a-z, A-Z, _ or :";
constexpr std::string_view missingString =
    "missing start of string: expected apostrophe or quotation mark";
constexpr std::string_view missingEquals = "error in attribute; expecting '='";
constexpr std::string_view badTagEnd = "error at end of attribute list; expecting \">\" or \"/\"";
constexpr std::string_view unmatchedEndTag = "Unmatched end tag";
constexpr std::string_view unclosedElements = "unclosed elements at end of document";
constexpr std::string_view nameTooLong = "identifier too long: cut to 255 characters";
constexpr std::string_view valueTooLong = "string too long: cut to 2047 characters";
constexpr std::string_view textTooLong = "character data too long: cut to 16387 characters";
constexpr std::string_view readError = "error reading input: document ends here";

constexpr int endOfInput = std::char_traits<char>::eof();

enum CharClass : unsigned char {
    whiteSpace = 1,
    nameStart = 2,
    nameChar = 4,
};

constexpr std::array<unsigned char, 256> makeClasses() {
    std::array<unsigned char, 256> classes{};
    for (int c : {' ', '\t', '\n', '\v', '\f', '\r'}) {
        classes[c] = whiteSpace;
    }
    for (int c = 0; c < 26; ++c) {
        classes['a' + c] = nameStart | nameChar;
        classes['A' + c] = nameStart | nameChar;
    }
    classes['_'] = nameStart | nameChar;
    classes[':'] = nameStart | nameChar;
    for (int c = '0'; c <= '9'; ++c) {
        classes[c] = nameChar;
    }
    classes['.'] = nameChar;
    classes['-'] = nameChar;
    return classes;
}

constexpr std::array<unsigned char, 256> classes = makeClasses();

// c is a byte 0-255 or endOfInput, which belongs to no class.
bool is(int c, CharClass wanted) {
    return c >= 0 && (classes[static_cast<unsigned char>(c)] & wanted) != 0;
}

} // namespace

XmlParser::XmlParser(std::istream& input)
    : input_(input) {}

XmlParser::~XmlParser() = default;

void XmlParser::setHandler(std::unique_ptr<XmlHandler> newHandler) {
    handler_ = std::move(newHandler);
}

void XmlParser::parse() {
    if (!handler_) {
        handler_ = std::make_unique<XmlHandler>();
    }
    buffer_ = input_.rdbuf();
    if (buffer_ == nullptr || input_.fail()) {
        inputEnded_ = true;
        readFailed_ = true;
    } else if (input_.eof()) {
        inputEnded_ = true;
    }

    handler_->startDocument();
    while (!finished_ && !inputEnded_) {
        skipWhiteSpace();
        const int c = peek();
        if (c == endOfInput) {
            break;
        }
        if (c != '<') {
            readCharacterData();
            continue;
        }
        switch (advance()) {
        case '/':
            readEndTag();
            break;
        case '?':
            skipProcessingInstruction();
            break;
        case '!':
            skipMarkupDeclaration();
            break;
        default:
            readStartTag();
            break;
        }
    }
    if (readFailed_) {
        report(readError);
    }
    if (!openElements_.empty()) {
        report(unclosedElements);
    }
    handler_->endDocument();
}

// The stream buffer is read directly: it is much faster than istream::get, and a buffer
// that throws (as a file buffer does on a read error) is caught here, so nothing escapes.
// Once the input has ended, the buffer is not asked again.
template <typename Read> int XmlParser::read(Read readBuffer) {
    if (inputEnded_) {
        return endOfInput;
    }
    try {
        const int c = readBuffer();
        if (c == endOfInput) {
            endInput();
        }
        return c;
    } catch (...) {
        failInput();
        return endOfInput;
    }
}

int XmlParser::peek() {
    return read([this] { return buffer_->sgetc(); });
}

int XmlParser::take() {
    return read([this] { return buffer_->sbumpc(); });
}

// Takes the next character and looks at the one after it.
int XmlParser::advance() {
    return read([this] { return buffer_->snextc(); });
}

// Takes characters as long as keep accepts them, adding them to run when there is one.
// Answers the first character not accepted, which stays in the input, or endOfInput. The
// hot loops of the parser run here, inside one guard, instead of one guarded call per byte.
template <typename Keep> int XmlParser::takeWhile(Keep keep, Run* run) {
    if (inputEnded_) {
        return endOfInput;
    }
    try {
        int c = buffer_->sgetc();
        while (c != endOfInput && keep(c)) {
            if (run != nullptr) {
                run->push(c);
            }
            c = buffer_->snextc();
        }
        if (c == endOfInput) {
            endInput();
        }
        return c;
    } catch (...) {
        failInput();
        return endOfInput;
    }
}

void XmlParser::endInput() {
    inputEnded_ = true;
    try {
        input_.setstate(std::ios_base::eofbit);
    } catch (...) {
        // A stream set to throw on end of input still ends the document normally.
    }
}

void XmlParser::failInput() {
    inputEnded_ = true;
    readFailed_ = true;
    try {
        input_.setstate(std::ios_base::badbit);
    } catch (...) {
        // The failure is reported to the handler; the stream's own exception is not wanted.
    }
}

void XmlParser::skipWhiteSpace() {
    takeWhile([](int c) { return is(c, whiteSpace); }, nullptr);
}

// The name stays valid until the next name is read.
std::string_view XmlParser::readName() {
    nameRun_.clear();
    skipWhiteSpace();
    if (!is(peek(), nameStart)) {
        report(missingIdentifier);
        return {};
    }
    takeWhile([](int c) { return is(c, nameChar); }, &nameRun_);
    if (nameRun_.wasCut()) {
        report(nameTooLong);
    }
    return nameRun_.view();
}

// The value stays valid until the next value is read.
std::string_view XmlParser::readQuotedValue() {
    valueRun_.clear();
    skipWhiteSpace();
    const int quote = peek();
    if (quote != '\'' && quote != '"') {
        report(missingString);
        return {};
    }
    take();
    takeWhile([quote](int c) { return c != quote; }, &valueRun_);
    take();
    if (valueRun_.wasCut()) {
        report(valueTooLong);
    }
    return valueRun_.view();
}

void XmlParser::readAttributeList(AttributeMap& attributes) {
    for (;;) {
        skipWhiteSpace();
        const int c = peek();
        if (c == '/' || c == '>') {
            return;
        }
        std::string name(readName());
        skipWhiteSpace();
        if (take() != '=') {
            report(missingEquals);
            return;
        }
        attributes.insert_or_assign(std::move(name), std::string(readQuotedValue()));
    }
}

void XmlParser::readCharacterData() {
    textRun_.clear();
    takeWhile([](int c) { return c != '<'; }, &textRun_);
    if (textRun_.wasCut()) {
        report(textTooLong);
    }
    if (!textRun_.view().empty()) {
        handler_->characters(textRun_.view());
    }
}

// At the "/" of "</". The name is read (and checked) but not compared with anything.
void XmlParser::readEndTag() {
    take();
    readName();
    closeInnermostElement();
    skipWhiteSpace();
    take();
    if (openElements_.empty()) {
        finished_ = true;
    }
}

// At the "?" of "<?". Ends after "?>"; the character after a "?" is not looked at again,
// so "??>" does not end it.
void XmlParser::skipProcessingInstruction() {
    take();
    for (;;) {
        if (!skipPast('?')) {
            return;
        }
        const int c = take();
        if (c == '>' || c == endOfInput) {
            return;
        }
    }
}

// At the "!" of "<!": a comment, a CDATA section or a document-type declaration.
void XmlParser::skipMarkupDeclaration() {
    const int c = advance();
    if (c == '-') {
        if (advance() == '-') {
            take();
            skipUntilTwiceThenClose('-');
        }
        return;
    }
    if (c == '[') {
        int next = advance();
        for (char expected : std::string_view("CDATA[")) {
            if (next != expected) {
                return;
            }
            next = advance();
        }
        skipUntilTwiceThenClose(']');
        return;
    }
    skipDocumentType();
}

// Takes characters until the repeated character twice and ">" have been taken in a row. A
// mismatch restarts the search with the following character ("--->" does not end it).
void XmlParser::skipUntilTwiceThenClose(int repeated) {
    for (;;) {
        if (!skipPast(repeated) || take() != repeated) {
            if (inputEnded_) {
                return;
            }
            continue;
        }
        const int c = take();
        if (c == '>' || c == endOfInput) {
            return;
        }
    }
}

// Takes characters until a "]", optional white space and ">" have been taken.
void XmlParser::skipDocumentType() {
    for (;;) {
        if (!skipPast(']')) {
            return;
        }
        skipWhiteSpace();
        const int c = take();
        if (c == '>' || c == endOfInput) {
            return;
        }
    }
}

// Takes characters up to and including the next wanted one; false when the input ends
// first.
bool XmlParser::skipPast(int wanted) {
    if (takeWhile([wanted](int c) { return c != wanted; }, nullptr) == endOfInput) {
        return false;
    }
    take();
    return true;
}

// At the first character after "<".
void XmlParser::readStartTag() {
    std::string name(readName());
    skipWhiteSpace();
    std::unique_ptr<AttributeMap> attributes;
    if (peek() != '>') {
        attributes = std::make_unique<AttributeMap>();
        readAttributeList(*attributes);
    }
    const int tagEnd = take();
    openElements_.push_back(std::make_unique<XmlElement>(std::move(name), std::move(attributes)));
    handler_->startElement(openElements_.back().get());
    if (tagEnd == '>') {
        return;
    }
    if (tagEnd == '/') {
        take();
        closeInnermostElement();
        return;
    }
    report(badTagEnd);
}

void XmlParser::closeInnermostElement() {
    if (openElements_.empty()) {
        report(unmatchedEndTag);
        return;
    }
    handler_->endElement(openElements_.back().get());
    openElements_.pop_back();
}

void XmlParser::report(std::string_view message) {
    handler_->error(message);
}
