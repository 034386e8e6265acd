#include "image/PictureGeometry.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

// Where output pixel (ox, oy) of a turned picture is found in the crop rectangle:
// x = x0 + ox * ax + oy * bx, y = y0 + ox * ay + oy * by.
struct Mapping {
    int x0, y0, ax, ay, bx, by;
};

Mapping mappingFor(const PictureOptions& options, int cropWidth, int cropHeight, int outWidth,
                   int outHeight) {
    Mapping m{0, 0, 1, 0, 0, 1};
    switch (options.rotate) {
    case 90:
        m = {0, cropHeight - 1, 0, -1, 1, 0};
        break;
    case 180:
        m = {cropWidth - 1, cropHeight - 1, -1, 0, 0, -1};
        break;
    case 270:
        m = {cropWidth - 1, 0, 0, 1, -1, 0};
        break;
    default:
        break;
    }
    if (options.flip == 1) {
        m = {m.x0 + (outWidth - 1) * m.ax, m.y0 + (outWidth - 1) * m.ay, -m.ax, -m.ay, m.bx, m.by};
    } else if (options.flip == 2) {
        m = {
            m.x0 + (outHeight - 1) * m.bx, m.y0 + (outHeight - 1) * m.by, m.ax, m.ay, -m.bx, -m.by};
    }
    return m;
}

// The filter of one axis: output sample i is the sum over count source samples from first
// on of weights (in units of 1 / weightOne) times the samples.
constexpr int weightBits = 14;
constexpr int weightOne = 1 << weightBits;

struct Taps {
    std::vector<int> first;
    std::vector<int> count;
    std::vector<int> offset;
    std::vector<std::int32_t> weights;

    void add(int start, const std::vector<double>& shares) {
        first.push_back(start);
        count.push_back(static_cast<int>(shares.size()));
        offset.push_back(static_cast<int>(weights.size()));
        int sum = 0;
        std::size_t largest = 0;
        for (std::size_t i = 0; i < shares.size(); ++i) {
            weights.push_back(static_cast<std::int32_t>(std::lround(shares[i] * weightOne)));
            sum += weights.back();
            largest = shares[i] > shares[largest] ? i : largest;
        }
        // The weights of a sample add up to one exactly, so that a flat area stays flat.
        weights[static_cast<std::size_t>(offset.back()) + largest] += weightOne - sum;
    }
};

// Shrinking: each output sample averages the source interval it covers, partly covered
// samples by their share. Growing: bilinear between the two nearest source samples.
Taps tapsFor(int in, int out) {
    Taps taps;
    for (int i = 0; i < out; ++i) {
        std::vector<double> shares;
        if (out < in) {
            // In units of 1 / out source samples: the interval [i * in, (i + 1) * in).
            const std::int64_t low = std::int64_t{i} * in;
            const std::int64_t high = low + in;
            const auto start = static_cast<int>(low / out);
            for (std::int64_t j = start; j * out < high; ++j) {
                const std::int64_t covered =
                    std::min(high, (j + 1) * out) - std::max(low, j * std::int64_t{out});
                shares.push_back(static_cast<double>(covered) / in);
            }
            taps.add(start, shares);
            continue;
        }
        const double at = std::clamp((i + 0.5) * in / out - 0.5, 0.0, in - 1.0);
        const auto start = static_cast<int>(at);
        const double fraction = at - start;
        shares.push_back(1.0 - fraction);
        if (start + 1 < in) {
            shares.push_back(fraction);
        }
        taps.add(start, shares);
    }
    return taps;
}

// Across each row: samples times 256 in 16 bits, rows top first.
std::vector<std::uint16_t> scaleRows(const Surface& picture, const Taps& taps, int width) {
    const auto samples = static_cast<std::size_t>(width) * 3;
    std::vector<std::uint16_t> rows(samples * static_cast<std::size_t>(picture.height()));
    for (int y = 0; y < picture.height(); ++y) {
        const std::uint8_t* in = picture.rowFromTop(y);
        std::uint16_t* out = rows.data() + samples * static_cast<std::size_t>(y);
        for (int x = 0; x < width; ++x) {
            const std::int32_t* weight = &taps.weights[static_cast<std::size_t>(taps.offset[x])];
            const std::uint8_t* source = in + static_cast<std::ptrdiff_t>(taps.first[x]) * 3;
            std::uint32_t sum[3] = {0, 0, 0};
            for (int k = 0; k < taps.count[x]; ++k, source += 3) {
                const auto w = static_cast<std::uint32_t>(weight[k]);
                sum[0] += w * source[0];
                sum[1] += w * source[1];
                sum[2] += w * source[2];
            }
            for (int c = 0; c < 3; ++c) {
                *out++ = static_cast<std::uint16_t>((sum[c] + 32) >> (weightBits - 8));
            }
        }
    }
    return rows;
}

// sum += weight * in over count samples, in blocks the compiler turns into vector code.
void accumulate(std::uint32_t* sum, const std::uint16_t* in, std::uint32_t weight,
                std::size_t count) {
    constexpr std::size_t block = 16;
    std::size_t i = 0;
    for (; i + block <= count; i += block) {
        for (std::size_t j = 0; j < block; ++j) {
            sum[i + j] += weight * in[i + j];
        }
    }
    for (; i < count; ++i) {
        sum[i] += weight * in[i];
    }
}

} // namespace

bool PictureGeometry::cropFits(int frameWidth, int frameHeight, const PictureRect& crop) {
    return crop.x >= 0 && crop.y >= 0 && crop.width > 0 && crop.height > 0 &&
           crop.x <= frameWidth - crop.width && crop.y <= frameHeight - crop.height;
}

PictureRect PictureGeometry::turnedSize(int frameWidth, int frameHeight,
                                        const PictureOptions& options) {
    const PictureRect crop = options.crop.value_or(PictureRect{0, 0, frameWidth, frameHeight});
    const bool across = options.rotate == 90 || options.rotate == 270;
    return {0, 0, across ? crop.height : crop.width, across ? crop.width : crop.height};
}

std::optional<Surface> PictureGeometry::turn(const Surface& frame, const PictureOptions& options) {
    const PictureRect crop =
        options.crop.value_or(PictureRect{0, 0, frame.width(), frame.height()});
    if (!cropFits(frame.width(), frame.height(), crop)) {
        return std::nullopt;
    }
    const PictureRect size = turnedSize(frame.width(), frame.height(), options);
    std::optional<Surface> out = Surface::create(size.width, size.height);
    if (!out) {
        return std::nullopt;
    }
    const Mapping m = mappingFor(options, crop.width, crop.height, size.width, size.height);
    const auto stride = static_cast<std::ptrdiff_t>(frame.stride());
    // Rows from the top lie at falling addresses.
    const std::ptrdiff_t step = m.ax * 3 - m.ay * stride;
    for (int oy = 0; oy < size.height; ++oy) {
        const std::uint8_t* in =
            frame.rowFromTop(crop.y + m.y0 + oy * m.by) + (crop.x + m.x0 + oy * m.bx) * 3;
        std::uint8_t* row = out->rowFromTop(oy);
        for (int ox = 0; ox < size.width; ++ox, in += step, row += 3) {
            row[0] = in[0];
            row[1] = in[1];
            row[2] = in[2];
        }
    }
    return out;
}

std::optional<Surface> PictureGeometry::scale(const Surface& picture, int width) {
    if (width <= 0) {
        return std::nullopt;
    }
    const std::int64_t scaled =
        (std::int64_t{picture.height()} * width * 2 + picture.width()) / (2 * picture.width());
    if (scaled > static_cast<std::int64_t>(Surface::maxBytes)) {
        return std::nullopt;
    }
    const int height = std::max(1, static_cast<int>(scaled));
    std::optional<Surface> out = Surface::create(width, height);
    if (!out) {
        return std::nullopt;
    }
    const std::vector<std::uint16_t> rows =
        scaleRows(picture, tapsFor(picture.width(), width), width);
    const Taps down = tapsFor(picture.height(), height);
    const auto samples = static_cast<std::size_t>(width) * 3;
    std::vector<std::uint32_t> sum(samples);
    for (int y = 0; y < height; ++y) {
        std::ranges::fill(sum, 0);
        for (int k = 0; k < down.count[y]; ++k) {
            const auto w = static_cast<std::uint32_t>(
                down.weights[static_cast<std::size_t>(down.offset[y] + k)]);
            accumulate(sum.data(),
                       rows.data() + samples * static_cast<std::size_t>(down.first[y] + k), w,
                       samples);
        }
        std::uint8_t* row = out->rowFromTop(y);
        for (std::size_t i = 0; i < samples; ++i) {
            row[i] = static_cast<std::uint8_t>((sum[i] + (1U << 21)) >> 22);
        }
    }
    return out;
}

std::optional<Surface> PictureGeometry::apply(Surface frame, const PictureOptions& options) {
    if (options.turns()) {
        std::optional<Surface> turned = turn(frame, options);
        if (!turned) {
            return std::nullopt;
        }
        frame = std::move(*turned);
    }
    if (options.width > 0 && options.width != frame.width()) {
        return scale(frame, options.width);
    }
    return frame;
}
