#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class Surface;

// Where the y coordinate of a text line lies in the font's character cell.
enum class TextAlign {
    top,    // the top of the cell (the ascender line) is at y
    bottom, // the bottom of the cell (the descender line) is at y
};

// A font face found through fontconfig and rendered with FreeType, drawing single lines of
// anti-aliased text onto a Surface with a transparent background.
//
// The face is looked up once, when the Font is made; each glyph is rendered once and kept,
// so drawing the same characters again only blends cached coverage. A Font is used by
// one thread at a time.
class Font {
public:
    // One rendered character: 8-bit coverage (0 = none, 255 = full), rows top first, with
    // the bearings from the pen position on the baseline to the bitmap's top-left pixel.
    struct Glyph {
        int left = 0;    // pixels right of the pen
        int top = 0;     // pixels above the baseline
        int width = 0;   // pixels
        int rows = 0;    // pixels
        int advance = 0; // pixels the pen moves on
        std::vector<std::uint8_t> coverage;
    };

    // A glyph at its pen offset from the start of the line.
    struct PlacedGlyph {
        std::int64_t penX;
        const Glyph* glyph;
    };

    // A laid-out line. It points into the Font's glyph cache, so it is valid as long as the
    // Font that made it.
    using Line = std::vector<PlacedGlyph>;

    // Looks up the face best matching the family (fontconfig substitutes its sans-serif
    // face for a family that is not installed), regular weight, upright, with a character
    // (em) height of pixelHeight. A Font that finds no usable face draws nothing.
    Font(const std::string& family, int pixelHeight);
    ~Font();
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;
    Font(Font&&) noexcept;
    Font& operator=(Font&&) noexcept;

    bool isValid() const;

    // The character cell: pixels from the baseline up to its top and down to its bottom.
    int ascentPx() const { return ascentPx_; }
    int descentPx() const { return descentPx_; }

    // Lays out UTF-8 text as one line, up to its first zero byte. A byte that does not
    // start a valid UTF-8 sequence stands for the Latin-1 character of the same value.
    // Control characters are not interpreted: each gets the glyph the face has for it.
    Line layout(std::string_view text);

    // Blends the line's coverage in colorRef (0x00BBGGRR) into the surface with its pen
    // starting at x and the cell aligned to y; whatever falls outside the surface is cut.
    void draw(Surface& surface, const Line& line, int x, int y, TextAlign align,
              std::uint32_t colorRef) const;

    // layout() and draw() in one.
    void drawText(Surface& surface, std::string_view text, int x, int y, TextAlign align,
                  std::uint32_t colorRef);

private:
    struct Face;

    const Glyph& glyphFor(char32_t codepoint);

    std::unique_ptr<Face> face_;
    int ascentPx_ = 0;
    int descentPx_ = 0;
    // Rendered glyphs by the face's glyph index, so the cache never outgrows the face and
    // every character the face lacks shares its one "missing" glyph. Held by pointer, so
    // the addresses that Lines keep stay put.
    std::vector<std::unique_ptr<Glyph>> glyphs_;
    // The glyphs of U+0000 to U+00FF once used, found without asking the face's charmap.
    std::array<const Glyph*, 256> latin1_{};
};
