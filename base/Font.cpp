#include "base/Font.h"

#include "base/Surface.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <optional>
#include <tuple>
#include <utility>

namespace {

struct LibraryDeleter {
    void operator()(FT_Library library) const { FT_Done_FreeType(library); }
};
struct FaceDeleter {
    void operator()(FT_Face face) const { FT_Done_Face(face); }
};
struct ConfigDeleter {
    void operator()(FcConfig* config) const { FcConfigDestroy(config); }
};
struct PatternDeleter {
    void operator()(FcPattern* pattern) const { FcPatternDestroy(pattern); }
};

using LibraryPtr = std::unique_ptr<FT_LibraryRec_, LibraryDeleter>;
using FacePtr = std::unique_ptr<FT_FaceRec_, FaceDeleter>;
using ConfigPtr = std::unique_ptr<FcConfig, ConfigDeleter>;
using PatternPtr = std::unique_ptr<FcPattern, PatternDeleter>;

struct FaceFile {
    std::string path;
    int index;
};

// Asks fontconfig for the installed face that best matches the family in regular weight
// and upright style; its substitution rules stand in a similar face for a missing family.
std::optional<FaceFile> findFaceFile(const std::string& family) {
    const ConfigPtr config(FcInitLoadConfigAndFonts());
    const PatternPtr pattern(FcPatternCreate());
    if (!config || !pattern) {
        return std::nullopt;
    }
    FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(pattern.get(), FC_WEIGHT, FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern.get(), FC_SLANT, FC_SLANT_ROMAN);
    if (!FcConfigSubstitute(config.get(), pattern.get(), FcMatchPattern)) {
        return std::nullopt;
    }
    FcDefaultSubstitute(pattern.get());

    FcResult result = FcResultNoMatch;
    const PatternPtr match(FcFontMatch(config.get(), pattern.get(), &result));
    FcChar8* file = nullptr;
    if (!match || FcPatternGetString(match.get(), FC_FILE, 0, &file) != FcResultMatch) {
        return std::nullopt;
    }
    int index = 0;
    if (FcPatternGetInteger(match.get(), FC_INDEX, 0, &index) != FcResultMatch) {
        index = 0;
    }
    return FaceFile{reinterpret_cast<const char*>(file), index};
}

// The character cell in whole pixels, as the Windows text services measure it: from the
// face's Windows ascent and descent (OS/2 table) when it has them, else from its
// typographic ascender and descender, scaled to the size and rounded.
std::pair<int, int> cellMetrics(FT_Face face, int pixelHeight) {
    if (!FT_IS_SCALABLE(face) || face->units_per_EM == 0) {
        return {static_cast<int>((face->size->metrics.ascender + 32) >> 6),
                static_cast<int>((-face->size->metrics.descender + 32) >> 6)};
    }
    long ascentUnits = face->ascender;
    long descentUnits = -face->descender;
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 != nullptr && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
        ascentUnits = os2->usWinAscent;
        descentUnits = os2->usWinDescent;
    }
    const double scale = static_cast<double>(pixelHeight) / face->units_per_EM;
    return {static_cast<int>(std::lround(ascentUnits * scale)),
            static_cast<int>(std::lround(descentUnits * scale))};
}

// Copies a rendered bitmap as 8-bit coverage, top row first. Anti-aliased bitmaps are
// copied (rescaled when they use fewer than 256 levels), 1-bit ones (embedded bitmaps)
// expanded to full coverage; other pixel modes are not requested and stay empty.
void copyCoverage(const FT_Bitmap& bitmap, Font::Glyph& glyph) {
    const bool gray = bitmap.pixel_mode == FT_PIXEL_MODE_GRAY && bitmap.num_grays > 1;
    const bool mono = bitmap.pixel_mode == FT_PIXEL_MODE_MONO;
    if ((!gray && !mono) || bitmap.buffer == nullptr || bitmap.width == 0 || bitmap.rows == 0) {
        return;
    }
    glyph.width = static_cast<int>(bitmap.width);
    glyph.rows = static_cast<int>(bitmap.rows);
    glyph.coverage.resize(static_cast<std::size_t>(glyph.width) * glyph.rows);

    // A negative pitch means the buffer holds the bottom row first.
    const std::ptrdiff_t pitch = bitmap.pitch;
    const unsigned char* topRow =
        pitch >= 0 ? bitmap.buffer : bitmap.buffer + (glyph.rows - 1) * -pitch;
    const int maxLevel = gray ? bitmap.num_grays - 1 : 1;
    for (int row = 0; row < glyph.rows; ++row) {
        const unsigned char* source = topRow + row * pitch;
        std::uint8_t* target = glyph.coverage.data() + static_cast<std::size_t>(row) * glyph.width;
        for (int column = 0; column < glyph.width; ++column) {
            const int level =
                gray ? source[column] : (source[column >> 3] >> (7 - (column & 7))) & 1;
            target[column] = static_cast<std::uint8_t>(level * 255 / maxLevel);
        }
    }
}

// Decodes the character starting at text[pos] and moves pos past it. A byte that does not
// begin a complete, shortest-form UTF-8 sequence of a valid code point is taken on its own
// as a Latin-1 character.
char32_t nextCharacter(std::string_view text, std::size_t& pos) {
    const auto byteAt = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byteAt(pos);
    std::size_t length = 0;
    char32_t codepoint = 0;
    char32_t smallest = 0;
    if (lead >= 0xC0 && lead < 0xE0) {
        length = 2;
        codepoint = lead & 0x1F;
        smallest = 0x80;
    } else if (lead >= 0xE0 && lead < 0xF0) {
        length = 3;
        codepoint = lead & 0x0F;
        smallest = 0x800;
    } else if (lead >= 0xF0 && lead < 0xF8) {
        length = 4;
        codepoint = lead & 0x07;
        smallest = 0x10000;
    }
    if (length == 0 || text.size() - pos < length) {
        ++pos;
        return lead;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const unsigned char next = byteAt(pos + i);
        if ((next & 0xC0) != 0x80) {
            ++pos;
            return lead;
        }
        codepoint = (codepoint << 6) | (next & 0x3F);
    }
    if (codepoint < smallest || codepoint > 0x10FFFF ||
        (codepoint >= 0xD800 && codepoint <= 0xDFFF)) {
        ++pos;
        return lead;
    }
    pos += length;
    return codepoint;
}

std::uint8_t blend(std::uint8_t under, std::uint8_t over, unsigned coverage) {
    return static_cast<std::uint8_t>((under * (255 - coverage) + over * coverage + 127) / 255);
}

} // namespace

struct Font::Face {
    // Declared in this order so that the face is released before its library.
    LibraryPtr library;
    FacePtr face;
};

Font::Font(const std::string& family, int pixelHeight) {
    if (pixelHeight <= 0) {
        return;
    }
    const std::optional<FaceFile> file = findFaceFile(family);
    if (!file) {
        return;
    }
    FT_Library rawLibrary = nullptr;
    if (FT_Init_FreeType(&rawLibrary) != 0) {
        return;
    }
    LibraryPtr library(rawLibrary);
    FT_Face rawFace = nullptr;
    if (FT_New_Face(library.get(), file->path.c_str(), file->index, &rawFace) != 0) {
        return;
    }
    FacePtr face(rawFace);
    if (FT_Set_Pixel_Sizes(face.get(), 0, static_cast<FT_UInt>(pixelHeight)) != 0) {
        return;
    }
    std::tie(ascentPx_, descentPx_) = cellMetrics(face.get(), pixelHeight);
    glyphs_.resize(static_cast<std::size_t>(std::max<FT_Long>(face->num_glyphs, 0)));
    face_ = std::make_unique<Face>(Face{std::move(library), std::move(face)});
}

Font::~Font() = default;
Font::Font(Font&&) noexcept = default;
Font& Font::operator=(Font&&) noexcept = default;

bool Font::isValid() const {
    return face_ != nullptr;
}

const Font::Glyph& Font::glyphFor(char32_t codepoint) {
    if (codepoint < latin1_.size() && latin1_[codepoint] != nullptr) {
        return *latin1_[codepoint];
    }
    FT_Face face = face_->face.get();
    const FT_UInt index = FT_Get_Char_Index(face, codepoint);
    if (index >= glyphs_.size()) {
        glyphs_.resize(index + 1);
    }
    std::unique_ptr<Glyph>& cached = glyphs_[index];
    if (!cached) {
        cached = std::make_unique<Glyph>();
        if (FT_Load_Glyph(face, index, FT_LOAD_RENDER | FT_LOAD_TARGET_NORMAL) == 0) {
            const FT_GlyphSlot slot = face->glyph;
            cached->left = slot->bitmap_left;
            cached->top = slot->bitmap_top;
            cached->advance = static_cast<int>((slot->advance.x + 32) >> 6);
            copyCoverage(slot->bitmap, *cached);
        }
    }
    if (codepoint < latin1_.size()) {
        latin1_[codepoint] = cached.get();
    }
    return *cached;
}

Font::Line Font::layout(std::string_view text) {
    Line line;
    if (!isValid()) {
        return line;
    }
    text = text.substr(0, text.find('\0'));
    line.reserve(text.size());
    std::int64_t penX = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        const Glyph& glyph = glyphFor(nextCharacter(text, pos));
        line.push_back({penX, &glyph});
        penX += glyph.advance;
    }
    return line;
}

void Font::draw(Surface& surface, const Line& line, int x, int y, TextAlign align,
                std::uint32_t colorRef) const {
    const std::uint8_t red = colorRef & 0xFF;
    const std::uint8_t green = (colorRef >> 8) & 0xFF;
    const std::uint8_t blue = (colorRef >> 16) & 0xFF;
    const std::int64_t width = surface.width();
    const std::int64_t height = surface.height();
    const std::int64_t baseline =
        align == TextAlign::top ? std::int64_t{y} + ascentPx_ : std::int64_t{y} - descentPx_;

    for (const PlacedGlyph& placed : line) {
        const Glyph& glyph = *placed.glyph;
        const std::int64_t left = x + placed.penX + glyph.left;
        const std::int64_t top = baseline - glyph.top;
        const std::int64_t firstColumn = std::max<std::int64_t>(0, -left);
        const std::int64_t endColumn = std::min<std::int64_t>(glyph.width, width - left);
        const std::int64_t firstRow = std::max<std::int64_t>(0, -top);
        const std::int64_t endRow = std::min<std::int64_t>(glyph.rows, height - top);
        if (firstColumn >= endColumn || firstRow >= endRow) {
            continue;
        }
        for (std::int64_t row = firstRow; row < endRow; ++row) {
            const std::uint8_t* coverage = glyph.coverage.data() + row * glyph.width + firstColumn;
            std::uint8_t* pixel =
                surface.rowFromTop(static_cast<int>(top + row)) + (left + firstColumn) * 3;
            for (std::int64_t column = firstColumn; column < endColumn;
                 ++column, ++coverage, pixel += 3) {
                const unsigned alpha = *coverage;
                if (alpha == 0) {
                    continue;
                }
                pixel[0] = blend(pixel[0], blue, alpha);
                pixel[1] = blend(pixel[1], green, alpha);
                pixel[2] = blend(pixel[2], red, alpha);
            }
        }
    }
}

void Font::drawText(Surface& surface, std::string_view text, int x, int y, TextAlign align,
                    std::uint32_t colorRef) {
    draw(surface, layout(text), x, y, align, colorRef);
}
