#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/Surface.h"

// One device-independent bitmap read from a file, such as the frame file the capture driver
// writes on every grab.
//
// The file may start with the 14-byte file header ("BM") or directly with the bitmap header
// (a packed DIB, read from offset 0). The bitmap header is the 40-byte info header or the
// 12-byte core header; a colour table follows with 4-byte entries (info header) or 3-byte
// entries (core header). Everything is read into one packed-DIB block: a 40-byte info header
// (a core header is converted), the three bit-field masks when the compression is
// BI_BITFIELDS, the colour table with 4-byte entries, then the pixel rows.
//
// Broken input never yields a partly read image. The load fails, leaving the Dib without an
// image, when:
// - the file cannot be opened, or ends inside the headers, the masks, the colour table or
//   the pixel rows (a half-read frame is a corrupted image, not a darker one);
// - the header size is neither 12 nor 40;
// - the width is not positive, the height is 0, or the image painted at 24 bits would not fit
//   a Surface (Surface::maxBytes);
// - the pixel rows the header announces are more than the file holds, or more than twice
//   Surface::maxBytes, so no allocation is ever larger than the file that asks for it.
// A file that loads but cannot be painted (compressed or unknown formats such as RLE or
// FOURCC codes, bit counts other than 1, 4, 8, 16, 24, 32, planes other than 1, fewer pixel
// bytes than the rows need, a palette image without colour table, bit-field masks that are
// not contiguous) also reports !isValid().
class Dib {
public:
    // The fields of a BITMAPINFOHEADER, host byte order.
    struct InfoHeader {
        std::uint32_t biSize = 0;
        std::int32_t biWidth = 0;
        std::int32_t biHeight = 0;
        std::uint16_t biPlanes = 0;
        std::uint16_t biBitCount = 0;
        std::uint32_t biCompression = 0;
        std::uint32_t biSizeImage = 0;
        std::int32_t biXPelsPerMeter = 0;
        std::int32_t biYPelsPerMeter = 0;
        std::uint32_t biClrUsed = 0;
        std::uint32_t biClrImportant = 0;
    };

    // One logical palette entry.
    struct PaletteEntry {
        std::uint8_t red = 0;
        std::uint8_t green = 0;
        std::uint8_t blue = 0;
        std::uint8_t flags = 0;
    };

    static constexpr std::size_t infoHeaderBytes = 40;
    static constexpr std::size_t coreHeaderBytes = 12;
    static constexpr std::size_t fileHeaderBytes = 14;
    static constexpr std::uint32_t biRgb = 0;
    static constexpr std::uint32_t biBitfields = 3;
    // The pixel data is read in pieces of at most this many bytes.
    static constexpr std::size_t readPieceBytes = 32768;

    // Reads the file; a file that cannot be read leaves an empty Dib (width and height 0).
    explicit Dib(const std::string& fileName);
    Dib(const Dib&) = delete;
    Dib& operator=(const Dib&) = delete;
    Dib(Dib&&) = default;
    Dib& operator=(Dib&&) = default;
    ~Dib() = default;

    // True when an image was read and paint() can draw it.
    bool isValid() const { return paintable_; }
    // Pixels; positive for a valid image (a top-down bitmap reports its absolute height).
    int width() const { return width_; }
    int height() const { return height_; }

    // Draws the image with its top-left corner at the surface's top-left corner, at its own
    // size (cut where the surface is smaller), as a true-colour screen shows it. Returns
    // false, leaving the surface untouched, when the image cannot be painted.
    bool paint(Surface& target) const;

    // When the pixel rows are stored exactly as a Surface holds them (24 bits, uncompressed,
    // bottom up), hands them over as a surface of the image's size without copying, and the
    // Dib is left without an image. Otherwise returns nothing and the Dib stays as it is, to
    // be painted. A camera's frame file is normally of that kind, so a grab skips one copy
    // of its pixels.
    std::optional<Surface> takeSurface();

    // The colour count of a header: for a core header (biSize 12) by the bit count; for an
    // info header biClrUsed cut to 16 bits when it is not 0, else by the bit count:
    // 1 -> 2, 4 -> 16, 8 -> 256, anything else -> 0.
    static std::uint16_t colorCount(const InfoHeader& header);
    // Bytes of the colour table: colour count x 3 after a core header, x 4 otherwise.
    static std::size_t colorTableSize(const InfoHeader& header);
    // Bytes of the bit-field masks after an info header: 12 for BI_BITFIELDS, else 0.
    static std::size_t maskSize(const InfoHeader& header);
    // Bytes of the pixel rows, each padded to 4 bytes: ((bits x width + 31) / 32) x 4 x |height|.
    static std::uint64_t computedImageSize(const InfoHeader& header);

    // The packed-DIB block of the file, or an empty block when it cannot be read.
    static std::vector<std::uint8_t> loadFile(const std::string& fileName);
    // Copies the block's header into `header` with a 0 biSizeImage computed and a 0 biClrUsed
    // replaced by the colour count. Returns false, leaving `header` untouched, for a block
    // too short to hold a header.
    static bool getInfo(const std::vector<std::uint8_t>& block, InfoHeader& header);
    // The palette of a packed DIB: the colour table's entries; for a 24-bit image without
    // table a fixed 256-entry palette (8 levels of red and green, 4 of blue); nothing for a
    // header of another size than 40 or any other image without table.
    static std::optional<std::vector<PaletteEntry>>
    createPalette(const std::vector<std::uint8_t>& block);

private:
    class File;
    struct FileHeader {
        std::uint64_t start = 0;
        std::uint16_t bfType = 0;
        std::uint32_t bfOffBits = 0;
    };

    static FileHeader readFileHeader(File& file);
    // The headers and colour table as a packed-DIB block, the file left at the pixel rows;
    // an empty block when they cannot be read or the image is refused.
    static std::vector<std::uint8_t> readHeader(File& file);
    // The bitmap header as the file holds it (a core header in the fields it has).
    static std::optional<InfoHeader> readBitmapHeader(File& file);
    // The info header the block holds for it, or nothing for an image that is refused.
    static std::optional<InfoHeader> storedHeader(const InfoHeader& inFile);
    // The block: the stored header, the masks and the colour table with 4-byte entries.
    static std::vector<std::uint8_t> readColorTable(File& file, const InfoHeader& inFile,
                                                    const InfoHeader& stored);
    static bool readFully(File& file, std::uint8_t* buffer, std::size_t count);
    bool canPaint() const;

    std::vector<std::uint8_t> memory_;
    InfoHeader header_;
    int width_ = 0;
    int height_ = 0;
    bool paintable_ = false;
};
