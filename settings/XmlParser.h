#pragma once

#include "settings/XmlElement.h"
#include "settings/XmlHandler.h"

#include <cstddef>
#include <istream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The settings file's own markup parser. It reads bytes from a stream and reports the
// document to an XmlHandler as it goes: start and end of the document, each start tag with
// its attributes, each end of an element, each run of character data and each error. It
// keeps no tree, only the stack of elements still open.
//
// Understood: start tags, end tags, empty-element tags, attribute values in apostrophes or
// quotation marks, character data. Skipped without events: "<?...?>", comments, CDATA
// sections (their text is dropped) and document-type declarations. No character or entity
// references are decoded. An end tag closes the innermost open element whatever its name,
// and the document ends with the end tag that leaves no element open: the rest of the
// stream is not read.
//
// Nothing is ever thrown. Errors go to XmlHandler::error and the parse continues; the
// messages are listed in XmlParser.cpp.
//
// Limits: a name keeps its first 255 characters, a quoted value its first 2047 and a run
// of character data its first 16387. Whatever goes beyond is read and dropped (the rest of
// a name is not taken as a new name, the rest of a value still ends at its closing quote)
// and the cut is reported once through error when the run ends, before the event that
// carries the cut text. Memory is therefore bounded by these limits plus the
// open elements, and time is linear in the input; the parser is iterative, so deep nesting
// costs only the elements held.
//
// A stream that fails to deliver (its buffer throws, as a file buffer does on a read
// error, or the stream is already in a failed state) ends the input as its end would, and
// the failure is reported through error once the main loop stops. A buffer that threw
// leaves the stream with badbit set; reaching the end of the input sets eofbit.
class XmlParser {
public:
    static constexpr std::size_t maxNameLength = 255;
    static constexpr std::size_t maxValueLength = 2047;
    static constexpr std::size_t maxTextLength = 16387;

    // The stream is not owned and must outlive the parser.
    explicit XmlParser(std::istream& input);
    virtual ~XmlParser();

    XmlParser(const XmlParser&) = delete;
    XmlParser& operator=(const XmlParser&) = delete;

    // The parser owns the handler from now on. Without one, parse reports to nobody.
    void setHandler(std::unique_ptr<XmlHandler> newHandler);

    // Reads the whole document (once per parser).
    void parse();

private:
    // The first bytes of a name, value or text run, up to a limit, in storage allocated
    // once; bytes beyond the limit are counted, not kept.
    class Run {
    public:
        explicit Run(std::size_t limit)
            : bytes_(limit, '\0') {}

        void clear() {
            length_ = 0;
            cut_ = false;
        }
        void push(int c) {
            if (length_ < bytes_.size()) {
                bytes_[length_++] = static_cast<char>(c);
            } else {
                cut_ = true;
            }
        }
        bool wasCut() const { return cut_; }
        std::string_view view() const { return {bytes_.data(), length_}; }

    private:
        std::string bytes_;
        std::size_t length_ = 0;
        bool cut_ = false;
    };

    template <typename Read> int read(Read readBuffer);
    int peek();
    int take();
    int advance();
    template <typename Keep> int takeWhile(Keep keep, Run* run);
    void endInput();
    void failInput();
    void skipWhiteSpace();
    std::string_view readName();
    std::string_view readQuotedValue();
    void readAttributeList(AttributeMap& attributes);
    void readCharacterData();
    void readEndTag();
    void skipProcessingInstruction();
    void skipMarkupDeclaration();
    void skipUntilTwiceThenClose(int repeated);
    void skipDocumentType();
    bool skipPast(int wanted);
    void readStartTag();
    void closeInnermostElement();
    void report(std::string_view message);

    std::istream& input_;
    std::vector<std::unique_ptr<XmlElement>> openElements_;
    std::unique_ptr<XmlHandler> handler_;

    std::streambuf* buffer_ = nullptr;
    bool inputEnded_ = false;
    bool readFailed_ = false;
    bool finished_ = false;
    Run nameRun_{maxNameLength};
    Run valueRun_{maxValueLength};
    Run textRun_{maxTextLength};
};
