#include "image/Dib.h"

#include "base/FileDescriptor.h"
#include "base/FileTarget.h"
#include "base/Surface.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

// A file opened for reading by name. Only regular files are read (openFileForReading): a
// FIFO or a device could block or never end.
class Dib::File {
public:
    explicit File(const std::string& name)
        : descriptor_(openFileForReading(name)) {
        struct stat status {};
        if (descriptor_.isOpen() && ::fstat(descriptor_.get(), &status) == 0) {
            size_ = static_cast<std::uint64_t>(status.st_size);
        }
    }

    bool isOpen() const { return descriptor_.isOpen(); }
    // The size when the file was opened.
    std::uint64_t size() const { return size_; }

    // Reads up to count bytes; returns fewer only at the end of the file or on an error.
    std::size_t read(void* buffer, std::size_t count) {
        return descriptor_.readFully(buffer, count);
    }

    std::uint64_t tell() const {
        const off_t position = ::lseek(descriptor_.get(), 0, SEEK_CUR);
        return position < 0 ? 0 : static_cast<std::uint64_t>(position);
    }

    bool seek(std::uint64_t position) {
        if (position > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) {
            return false;
        }
        return ::lseek(descriptor_.get(), static_cast<off_t>(position), SEEK_SET) >= 0;
    }

private:
    FileDescriptor descriptor_;
    std::uint64_t size_ = 0;
};

namespace {

// An image whose pixel rows need more than this is refused before anything is allocated:
// twice a full Surface leaves room for 32-bit rows of the largest image a Surface holds.
constexpr std::uint64_t maxPixelBytes = 2 * std::uint64_t{Surface::maxBytes};

std::uint16_t le16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

std::uint32_t le32(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

void putLe16(std::uint8_t* bytes, std::uint16_t value) {
    bytes[0] = static_cast<std::uint8_t>(value);
    bytes[1] = static_cast<std::uint8_t>(value >> 8);
}

void putLe32(std::uint8_t* bytes, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

Dib::InfoHeader parseInfoHeader(const std::uint8_t* bytes) {
    Dib::InfoHeader header;
    header.biSize = le32(bytes);
    header.biWidth = static_cast<std::int32_t>(le32(bytes + 4));
    header.biHeight = static_cast<std::int32_t>(le32(bytes + 8));
    header.biPlanes = le16(bytes + 12);
    header.biBitCount = le16(bytes + 14);
    header.biCompression = le32(bytes + 16);
    header.biSizeImage = le32(bytes + 20);
    header.biXPelsPerMeter = static_cast<std::int32_t>(le32(bytes + 24));
    header.biYPelsPerMeter = static_cast<std::int32_t>(le32(bytes + 28));
    header.biClrUsed = le32(bytes + 32);
    header.biClrImportant = le32(bytes + 36);
    return header;
}

void storeInfoHeader(const Dib::InfoHeader& header, std::uint8_t* bytes) {
    putLe32(bytes, header.biSize);
    putLe32(bytes + 4, static_cast<std::uint32_t>(header.biWidth));
    putLe32(bytes + 8, static_cast<std::uint32_t>(header.biHeight));
    putLe16(bytes + 12, header.biPlanes);
    putLe16(bytes + 14, header.biBitCount);
    putLe32(bytes + 16, header.biCompression);
    putLe32(bytes + 20, header.biSizeImage);
    putLe32(bytes + 24, static_cast<std::uint32_t>(header.biXPelsPerMeter));
    putLe32(bytes + 28, static_cast<std::uint32_t>(header.biYPelsPerMeter));
    putLe32(bytes + 32, header.biClrUsed);
    putLe32(bytes + 36, header.biClrImportant);
}

std::uint16_t colorCountForBits(std::uint16_t bitCount) {
    switch (bitCount) {
    case 1:
        return 2;
    case 4:
        return 16;
    case 8:
        return 256;
    default:
        return 0;
    }
}

std::uint64_t absoluteHeight(const Dib::InfoHeader& header) {
    return static_cast<std::uint64_t>(std::abs(static_cast<std::int64_t>(header.biHeight)));
}

std::uint64_t rowBytes(const Dib::InfoHeader& header) {
    const auto width =
        static_cast<std::uint64_t>(std::abs(static_cast<std::int64_t>(header.biWidth)));
    return (header.biBitCount * width + 31) / 32 * 4;
}

// Whether the image has a size a Surface can hold when painted at 24 bits.
bool fitsSurface(const Dib::InfoHeader& header) {
    if (header.biWidth <= 0 || header.biHeight == 0 ||
        header.biHeight == std::numeric_limits<std::int32_t>::min()) {
        return false;
    }
    const std::uint64_t stride = Surface::strideFor(header.biWidth);
    return stride <= Surface::maxBytes / absoluteHeight(header);
}

// Turns one colour field of a packed pixel into an 8-bit level the way a true-colour display
// widens it: the field's top bits are kept and repeated into the low bits (5 bits abcde
// become abcdeabc), so the largest value is 255.
class Channel {
public:
    // A field mask that is not one run of bits gives no channel.
    static std::optional<Channel> fromMask(std::uint32_t mask) {
        Channel channel;
        if (mask == 0) {
            return channel;
        }
        const int lowest = std::countr_zero(mask);
        const std::uint32_t field = mask >> lowest;
        if ((field & (field + 1)) != 0) {
            return std::nullopt;
        }
        const int bits = std::popcount(field);
        const int kept = std::min(bits, 8);
        channel.shift_ = lowest + bits - kept;
        channel.mask_ = (1u << kept) - 1;
        for (std::uint32_t value = 0; value <= channel.mask_; ++value) {
            unsigned level = 0;
            for (int position = 8 - kept; position > -kept; position -= kept) {
                level |= position >= 0 ? value << position : value >> -position;
            }
            channel.levels_[value] = static_cast<std::uint8_t>(level);
        }
        return channel;
    }

    std::uint8_t operator()(std::uint32_t pixel) const {
        return levels_[(pixel >> shift_) & mask_];
    }

private:
    int shift_ = 0;
    std::uint32_t mask_ = 0;
    std::array<std::uint8_t, 256> levels_{};
};

struct BitFields {
    Channel red;
    Channel green;
    Channel blue;
};

std::optional<BitFields> bitFieldsFromMasks(std::uint32_t red, std::uint32_t green,
                                            std::uint32_t blue) {
    auto redChannel = Channel::fromMask(red);
    auto greenChannel = Channel::fromMask(green);
    auto blueChannel = Channel::fromMask(blue);
    if (!redChannel || !greenChannel || !blueChannel) {
        return std::nullopt;
    }
    return BitFields{*redChannel, *greenChannel, *blueChannel};
}

// The channels of a 16- or 32-bit image: the block's masks for BI_BITFIELDS, 5-5-5 for a
// plain 16-bit image.
std::optional<BitFields> bitFieldsOf(const Dib::InfoHeader& header,
                                     const std::vector<std::uint8_t>& block) {
    if (header.biCompression == Dib::biBitfields) {
        const std::uint8_t* masks = block.data() + Dib::infoHeaderBytes;
        return bitFieldsFromMasks(le32(masks), le32(masks + 4), le32(masks + 8));
    }
    return bitFieldsFromMasks(0x7C00, 0x03E0, 0x001F);
}

// Where the rows of the image are and how they map onto the target. Rows are counted from
// the top of the image.
struct RowMap {
    const std::uint8_t* pixels;
    std::size_t stride;
    int height;
    bool topDown;

    const std::uint8_t* rowFromTop(int y) const {
        const int stored = topDown ? y : height - 1 - y;
        return pixels + static_cast<std::size_t>(stored) * stride;
    }
};

template <std::size_t BytesPerPixel>
void paintBitFields(const RowMap& rows, const BitFields& fields, Surface& target, int columns,
                    int rowCount) {
    for (int y = 0; y < rowCount; ++y) {
        const std::uint8_t* source = rows.rowFromTop(y);
        std::uint8_t* destination = target.rowFromTop(y);
        for (int x = 0; x < columns; ++x, source += BytesPerPixel, destination += 3) {
            const std::uint32_t pixel = BytesPerPixel == 2 ? le16(source) : le32(source);
            // All three levels are looked up before the first store, which could otherwise
            // be taken to change the tables.
            const std::uint8_t blue = fields.blue(pixel);
            const std::uint8_t green = fields.green(pixel);
            const std::uint8_t red = fields.red(pixel);
            destination[0] = blue;
            destination[1] = green;
            destination[2] = red;
        }
    }
}

void paint32(const RowMap& rows, Surface& target, int columns, int rowCount) {
    for (int y = 0; y < rowCount; ++y) {
        const std::uint8_t* source = rows.rowFromTop(y);
        std::uint8_t* destination = target.rowFromTop(y);
        for (int x = 0; x < columns; ++x, source += 4, destination += 3) {
            std::memcpy(destination, source, 3);
        }
    }
}

void paint24(const RowMap& rows, Surface& target, int columns, int rowCount) {
    const bool wholeImage = !rows.topDown && rowCount == rows.height &&
                            rowCount == target.height() && rows.stride == target.stride();
    if (wholeImage) {
        std::memcpy(target.bits(), rows.pixels, rows.stride * static_cast<std::size_t>(rowCount));
        return;
    }
    for (int y = 0; y < rowCount; ++y) {
        std::memcpy(target.rowFromTop(y), rows.rowFromTop(y),
                    static_cast<std::size_t>(columns) * 3);
    }
}

using ColorLookUp = std::array<std::array<std::uint8_t, 3>, 256>;

// Pixels of 1, 4 or 8 bits, leftmost pixel in the highest bits of a byte. Indices beyond the
// colour table are black.
template <int BitsPerPixel>
void paintIndexed(const RowMap& rows, const ColorLookUp& colors, Surface& target, int columns,
                  int rowCount) {
    constexpr int perByte = 8 / BitsPerPixel;
    constexpr unsigned indexMask = (1u << BitsPerPixel) - 1;
    for (int y = 0; y < rowCount; ++y) {
        const std::uint8_t* source = rows.rowFromTop(y);
        std::uint8_t* destination = target.rowFromTop(y);
        for (int x = 0; x < columns; ++x, destination += 3) {
            const int shift = 8 - BitsPerPixel * (x % perByte + 1);
            const auto color = colors[(source[x / perByte] >> shift) & indexMask];
            destination[0] = color[0];
            destination[1] = color[1];
            destination[2] = color[2];
        }
    }
}

} // namespace

Dib::Dib(const std::string& fileName)
    : memory_(loadFile(fileName)) {
    if (getInfo(memory_, header_)) {
        width_ = header_.biWidth;
        height_ = static_cast<int>(absoluteHeight(header_));
    }
    paintable_ = canPaint();
}

std::uint16_t Dib::colorCount(const InfoHeader& header) {
    if (header.biSize != coreHeaderBytes && header.biClrUsed != 0) {
        return static_cast<std::uint16_t>(header.biClrUsed);
    }
    return colorCountForBits(header.biBitCount);
}

std::size_t Dib::colorTableSize(const InfoHeader& header) {
    return std::size_t{colorCount(header)} * (header.biSize == coreHeaderBytes ? 3 : 4);
}

std::size_t Dib::maskSize(const InfoHeader& header) {
    return header.biSize == infoHeaderBytes && header.biCompression == biBitfields ? 12 : 0;
}

std::uint64_t Dib::computedImageSize(const InfoHeader& header) {
    const std::uint64_t row = rowBytes(header);
    const std::uint64_t height = absoluteHeight(header);
    if (height != 0 && row > std::numeric_limits<std::uint64_t>::max() / height) {
        return std::numeric_limits<std::uint64_t>::max();
    }
    return row * height;
}

Dib::FileHeader Dib::readFileHeader(File& file) {
    FileHeader header;
    header.start = file.tell();
    std::array<std::uint8_t, fileHeaderBytes> bytes{};
    if (file.read(bytes.data(), 2) == 2) {
        header.bfType = le16(bytes.data());
        file.read(bytes.data() + 2, fileHeaderBytes - 2);
        header.bfOffBits = le32(bytes.data() + 10);
    }
    return header;
}

std::vector<std::uint8_t> Dib::readHeader(File& file) {
    constexpr std::uint16_t bitmapType = 0x4D42;
    FileHeader fileHeader = readFileHeader(file);
    if (fileHeader.bfType != bitmapType) {
        fileHeader.bfOffBits = 0;
        if (!file.seek(fileHeader.start)) {
            return {};
        }
    }
    const std::optional<InfoHeader> inFile = readBitmapHeader(file);
    const std::optional<InfoHeader> stored = inFile ? storedHeader(*inFile) : std::nullopt;
    if (!stored) {
        return {};
    }
    std::vector<std::uint8_t> block = readColorTable(file, *inFile, *stored);
    if (block.empty() ||
        (fileHeader.bfOffBits != 0 && !file.seek(fileHeader.start + fileHeader.bfOffBits))) {
        return {};
    }
    return block;
}

std::optional<Dib::InfoHeader> Dib::readBitmapHeader(File& file) {
    // The size field says how much header follows, so a small core-header file is not
    // refused for being shorter than an info header.
    std::array<std::uint8_t, infoHeaderBytes> bytes{};
    if (file.read(bytes.data(), 4) != 4) {
        return std::nullopt;
    }
    const std::uint32_t size = le32(bytes.data());
    if (size != coreHeaderBytes && size != infoHeaderBytes) {
        return std::nullopt;
    }
    if (file.read(bytes.data() + 4, size - 4) != size - 4) {
        return std::nullopt;
    }
    if (size == infoHeaderBytes) {
        return parseInfoHeader(bytes.data());
    }
    InfoHeader header;
    header.biSize = coreHeaderBytes;
    header.biWidth = le16(bytes.data() + 4);
    header.biHeight = le16(bytes.data() + 6);
    header.biPlanes = le16(bytes.data() + 8);
    header.biBitCount = le16(bytes.data() + 10);
    return header;
}

std::optional<Dib::InfoHeader> Dib::storedHeader(const InfoHeader& inFile) {
    const std::uint16_t colors = colorCount(inFile);
    InfoHeader header = inFile;
    if (inFile.biSize == coreHeaderBytes) {
        header = InfoHeader{.biSize = infoHeaderBytes,
                            .biWidth = inFile.biWidth,
                            .biHeight = inFile.biHeight,
                            .biPlanes = inFile.biPlanes,
                            .biBitCount = inFile.biBitCount,
                            .biClrUsed = colors,
                            .biClrImportant = colors};
    }
    if (!fitsSurface(header)) {
        return std::nullopt;
    }
    if (header.biSizeImage == 0) {
        const std::uint64_t imageSize = computedImageSize(header);
        if (imageSize > maxPixelBytes) {
            return std::nullopt;
        }
        header.biSizeImage = static_cast<std::uint32_t>(imageSize);
    }
    if (header.biSizeImage > maxPixelBytes) {
        return std::nullopt;
    }
    if (header.biClrUsed == 0) {
        header.biClrUsed = colors;
    }
    return header;
}

std::vector<std::uint8_t> Dib::readColorTable(File& file, const InfoHeader& inFile,
                                              const InfoHeader& stored) {
    const std::uint16_t colors = colorCount(inFile);
    const std::size_t tableBytesInFile = colorTableSize(inFile);
    const std::size_t masks = maskSize(inFile);
    const std::uint64_t position = file.tell();
    if (position > file.size() || masks + tableBytesInFile > file.size() - position) {
        return {};
    }
    std::vector<std::uint8_t> block(infoHeaderBytes + masks + std::size_t{colors} * 4);
    storeInfoHeader(stored, block.data());
    std::uint8_t* table = block.data() + infoHeaderBytes;
    if (file.read(table, masks + tableBytesInFile) != masks + tableBytesInFile) {
        return {};
    }
    if (inFile.biSize == coreHeaderBytes) {
        // Widen 3-byte entries to 4 bytes in place, from the last to the first, so no entry
        // is overwritten before it has moved.
        for (std::size_t i = colors; i-- > 0;) {
            table[4 * i + 3] = 0;
            table[4 * i + 2] = table[3 * i + 2];
            table[4 * i + 1] = table[3 * i + 1];
            table[4 * i] = table[3 * i];
        }
    }
    return block;
}

bool Dib::readFully(File& file, std::uint8_t* buffer, std::size_t count) {
    while (count > readPieceBytes) {
        if (file.read(buffer, readPieceBytes) != readPieceBytes) {
            return false;
        }
        buffer += readPieceBytes;
        count -= readPieceBytes;
    }
    return file.read(buffer, count) == count;
}

std::vector<std::uint8_t> Dib::loadFile(const std::string& fileName) {
    File file(fileName);
    if (!file.isOpen()) {
        return {};
    }
    std::vector<std::uint8_t> block = readHeader(file);
    InfoHeader header;
    if (!getInfo(block, header)) {
        return {};
    }
    // Pixel rows the file cannot hold are refused before the block grows for them.
    const std::uint64_t position = file.tell();
    if (position > file.size() || header.biSizeImage > file.size() - position) {
        return {};
    }
    const std::size_t headerAndTable = block.size();
    try {
        block.resize(headerAndTable + header.biSizeImage);
    } catch (const std::bad_alloc&) {
        return {};
    }
    if (!readFully(file, block.data() + headerAndTable, header.biSizeImage)) {
        return {};
    }
    return block;
}

bool Dib::getInfo(const std::vector<std::uint8_t>& block, InfoHeader& header) {
    if (block.size() < infoHeaderBytes) {
        return false;
    }
    header = parseInfoHeader(block.data());
    if (header.biSize != coreHeaderBytes) {
        if (header.biSizeImage == 0) {
            header.biSizeImage = static_cast<std::uint32_t>(std::min<std::uint64_t>(
                computedImageSize(header), std::numeric_limits<std::uint32_t>::max()));
        }
        if (header.biClrUsed == 0) {
            header.biClrUsed = colorCount(header);
        }
    }
    return true;
}

std::optional<std::vector<Dib::PaletteEntry>>
Dib::createPalette(const std::vector<std::uint8_t>& block) {
    InfoHeader header;
    if (!getInfo(block, header) || header.biSize != infoHeaderBytes) {
        return std::nullopt;
    }
    const std::uint16_t colors = colorCount(header);
    if (colors != 0) {
        const std::size_t tableOffset = infoHeaderBytes + maskSize(header);
        if (block.size() < tableOffset + colorTableSize(header)) {
            return std::nullopt;
        }
        std::vector<PaletteEntry> palette(colors);
        const std::uint8_t* entry = block.data() + tableOffset;
        for (auto& color : palette) {
            color = PaletteEntry{.red = entry[2], .green = entry[1], .blue = entry[0]};
            entry += 4;
        }
        return palette;
    }
    if (header.biBitCount == 24) {
        std::vector<PaletteEntry> palette(256);
        for (unsigned i = 0; i < palette.size(); ++i) {
            palette[i] = PaletteEntry{.red = static_cast<std::uint8_t>(32 * (i % 8)),
                                      .green = static_cast<std::uint8_t>(32 * (i / 8 % 8)),
                                      .blue = static_cast<std::uint8_t>(64 * (i / 64))};
        }
        return palette;
    }
    return std::nullopt;
}

bool Dib::canPaint() const {
    if (memory_.empty() || header_.biPlanes != 1 || width_ <= 0 || height_ <= 0) {
        return false;
    }
    const std::uint16_t bits = header_.biBitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
        return false;
    }
    if (header_.biCompression == biBitfields) {
        if ((bits != 16 && bits != 32) || !bitFieldsOf(header_, memory_)) {
            return false;
        }
    } else if (header_.biCompression != biRgb) {
        return false;
    }
    if (bits <= 8 && !createPalette(memory_)) {
        return false;
    }
    const std::size_t pixelOffset = infoHeaderBytes + maskSize(header_) + colorTableSize(header_);
    return computedImageSize(header_) <= header_.biSizeImage &&
           pixelOffset + computedImageSize(header_) <= memory_.size();
}

std::optional<Surface> Dib::takeSurface() {
    if (!paintable_ || header_.biBitCount != 24 || header_.biCompression != biRgb ||
        header_.biHeight < 0) {
        return std::nullopt;
    }
    const std::size_t pixelOffset = infoHeaderBytes + maskSize(header_) + colorTableSize(header_);
    std::optional<Surface> surface =
        Surface::adopt(width_, height_, std::move(memory_), pixelOffset);
    memory_.clear();
    header_ = InfoHeader{};
    width_ = 0;
    height_ = 0;
    paintable_ = false;
    return surface;
}

bool Dib::paint(Surface& target) const {
    if (!paintable_) {
        return false;
    }
    const std::size_t pixelOffset = infoHeaderBytes + maskSize(header_) + colorTableSize(header_);
    const RowMap rows{memory_.data() + pixelOffset, static_cast<std::size_t>(rowBytes(header_)),
                      height_, header_.biHeight < 0};
    const int columns = std::min(width_, target.width());
    const int rowCount = std::min(height_, target.height());

    switch (header_.biBitCount) {
    case 24:
        paint24(rows, target, columns, rowCount);
        return true;
    case 32:
        if (header_.biCompression == biRgb) {
            paint32(rows, target, columns, rowCount);
        } else {
            paintBitFields<4>(rows, *bitFieldsOf(header_, memory_), target, columns, rowCount);
        }
        return true;
    case 16:
        paintBitFields<2>(rows, *bitFieldsOf(header_, memory_), target, columns, rowCount);
        return true;
    default:
        break;
    }

    ColorLookUp colors{};
    const auto palette = createPalette(memory_);
    const std::size_t used = std::min(palette->size(), colors.size());
    for (std::size_t i = 0; i < used; ++i) {
        colors[i] = {(*palette)[i].blue, (*palette)[i].green, (*palette)[i].red};
    }
    switch (header_.biBitCount) {
    case 1:
        paintIndexed<1>(rows, colors, target, columns, rowCount);
        break;
    case 4:
        paintIndexed<4>(rows, colors, target, columns, rowCount);
        break;
    default:
        paintIndexed<8>(rows, colors, target, columns, rowCount);
        break;
    }
    return true;
}
