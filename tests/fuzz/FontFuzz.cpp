// Feeds arbitrary bytes to the font as the user's overlay text, drawn at coordinates taken
// from the input onto a small surface, so that decoding and clipping meet every edge.
#include "base/Font.h"

#include "base/Surface.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Glyphs are cached per character, so one font serves the whole fuzzing process.
    static Font font("Tahoma", 11);
    if (size < 5) {
        return 0;
    }
    const std::string_view text(reinterpret_cast<const char*>(data + 5), size - 5);
    // Every byte up to the first zero is drawn as part of one character, and no character
    // takes more than four bytes.
    const std::size_t bytes = std::min(text.size(), text.find('\0'));
    const Font::Line line = font.layout(text);
    if (font.isValid() && (line.size() > bytes || line.size() * 4 < bytes)) {
        std::abort();
    }
    Surface surface = *Surface::create(37, 13);
    font.draw(surface, line, static_cast<std::int16_t>(data[0] | data[1] << 8),
              static_cast<std::int16_t>(data[2] | data[3] << 8),
              (data[4] & 1) != 0 ? TextAlign::bottom : TextAlign::top, 0x00FFFFFF);
    return 0;
}
