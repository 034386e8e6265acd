// Feeds arbitrary bytes to the font as the user's overlay text, drawn at coordinates taken
// from the input onto a small surface, so that decoding and clipping meet every edge.
#include "platform/Font.h"

#include "platform/Surface.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

int coordinate(const std::uint8_t* bytes) {
    std::int16_t value = 0;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 5) {
        return 0;
    }
    const int x = coordinate(data);
    const int y = coordinate(data + 2);
    const TextAlign align = (data[4] & 1) != 0 ? TextAlign::bottom : TextAlign::top;
    const std::string_view text(reinterpret_cast<const char*>(data + 5), size - 5);
    // Glyphs are cached per character, so one font serves the whole fuzzing process.
    static Font font("Tahoma", 11);

    // Every byte up to the first zero is drawn as part of one character, and no character
    // takes more than four bytes.
    const std::size_t bytes = std::min(text.size(), text.find('\0'));
    const Font::Line line = font.layout(text);
    if (font.isValid() && (line.size() > bytes || line.size() * 4 < bytes)) {
        std::abort();
    }

    Surface surface = *Surface::create(37, 13);
    font.draw(surface, line, x, y, align, 0x00FFFFFF);
    return 0;
}
