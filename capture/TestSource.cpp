#include "capture/TestSource.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

namespace {

const std::vector<FrameSize> sizes = {
    {160, 120}, {320, 240}, {640, 480}, {1280, 720}, {1920, 1080}};

// A preview nobody looks at is checked again after this long.
constexpr std::chrono::milliseconds unwatchedRecheck{500};

struct Bgr {
    std::uint8_t blue;
    std::uint8_t green;
    std::uint8_t red;
};

// The seven bars of a test card, left to right: white, yellow, cyan, green, magenta, red,
// blue, at 75% level.
constexpr std::array<Bgr, 7> bars = {{{191, 191, 191},
                                      {0, 191, 191},
                                      {191, 191, 0},
                                      {0, 191, 0},
                                      {191, 0, 191},
                                      {0, 0, 191},
                                      {191, 0, 0}}};

// Digits 0 to 9 in a 3 x 5 cell; bit 2 of a row is its left pixel.
constexpr std::array<std::array<std::uint8_t, 5>, 10> digitRows = {{
    {7, 5, 5, 5, 7},
    {2, 6, 2, 2, 7},
    {7, 1, 7, 4, 7},
    {7, 1, 7, 1, 7},
    {5, 5, 7, 1, 1},
    {7, 4, 7, 1, 7},
    {7, 4, 7, 5, 7},
    {7, 1, 1, 1, 1},
    {7, 5, 7, 5, 7},
    {7, 5, 7, 1, 7},
}};

void fillRect(Surface& surface, int left, int top, int width, int height, Bgr colour) {
    const int right = std::min(left + width, surface.width());
    const int bottom = std::min(top + height, surface.height());
    for (int y = std::max(top, 0); y < bottom; ++y) {
        std::uint8_t* row = surface.rowFromTop(y);
        for (int x = std::max(left, 0); x < right; ++x) {
            row[3 * x] = colour.blue;
            row[3 * x + 1] = colour.green;
            row[3 * x + 2] = colour.red;
        }
    }
}

void drawNumber(Surface& surface, std::uint64_t number, int left, int top, int pixel) {
    const std::string digits = std::to_string(number);
    const int cell = 4 * pixel;
    fillRect(surface, left - pixel, top - pixel, static_cast<int>(digits.size()) * cell + pixel,
             7 * pixel, {0, 0, 0});
    for (std::size_t i = 0; i < digits.size(); ++i) {
        const auto& rows = digitRows[static_cast<std::size_t>(digits[i] - '0')];
        for (int y = 0; y < 5; ++y) {
            for (int x = 0; x < 3; ++x) {
                if (rows[static_cast<std::size_t>(y)] & (4 >> x)) {
                    fillRect(surface, left + static_cast<int>(i) * cell + x * pixel,
                             top + y * pixel, pixel, pixel, {255, 255, 255});
                }
            }
        }
    }
}

} // namespace

TestSource::TestSource(FrameListener* listener)
    : listener_(listener) {}

TestSource::~TestSource() {
    close();
}

bool TestSource::open() {
    open_ = true;
    return true;
}

void TestSource::close() {
    stopPreview();
    endPreviewThread();
    open_ = false;
}

FrameSize TestSource::frameSize() const {
    std::lock_guard lock(mutex_);
    return size_;
}

std::vector<FrameSize> TestSource::frameSizes() const {
    return sizes;
}

bool TestSource::setFrameSize(FrameSize newSize) {
    if (std::find(sizes.begin(), sizes.end(), newSize) == sizes.end()) {
        return false;
    }
    std::lock_guard lock(mutex_);
    size_ = newSize;
    return true;
}

Surface TestSource::render(FrameSize size, std::uint64_t frameNumber) {
    Surface surface = *Surface::create(size.width, size.height);
    renderInto(surface, frameNumber);
    return surface;
}

void TestSource::renderInto(Surface& surface, std::uint64_t frameNumber) {
    const int width = surface.width();
    const int height = surface.height();
    const int barsHeight = height * 2 / 3;

    // One row of bars, copied down the upper two thirds.
    std::uint8_t* first = surface.rowFromTop(0);
    for (int x = 0; x < width; ++x) {
        const Bgr colour = bars[static_cast<std::size_t>(x * 7 / width)];
        first[3 * x] = colour.blue;
        first[3 * x + 1] = colour.green;
        first[3 * x + 2] = colour.red;
    }
    const auto rowBytes = static_cast<std::size_t>(width) * 3;
    for (int y = 1; y < barsHeight; ++y) {
        std::memcpy(surface.rowFromTop(y), first, rowBytes);
    }
    // A dark grey strip below, the track of the moving block.
    if (barsHeight < height) {
        std::uint8_t* strip = surface.rowFromTop(barsHeight);
        std::memset(strip, 40, rowBytes);
        for (int y = barsHeight + 1; y < height; ++y) {
            std::memcpy(surface.rowFromTop(y), strip, rowBytes);
        }
    }

    const int block = std::max(2, (height - barsHeight) / 2);
    const int travel = std::max(1, width - block);
    const int step = std::max(1, width / 64);
    const auto position = static_cast<int>((frameNumber * static_cast<std::uint64_t>(step)) %
                                           static_cast<std::uint64_t>(travel));
    fillRect(surface, position, barsHeight + (height - barsHeight - block) / 2, block, block,
             {255, 255, 255});

    const int pixel = std::max(1, height / 60);
    drawNumber(surface, frameNumber, 2 * pixel, 2 * pixel, pixel);
}

bool TestSource::grab(std::optional<Surface>& frame) {
    if (!open_) {
        frame.reset();
        return false;
    }
    const FrameSize wanted = frameSize();
    if (!frame || frame->width() != wanted.width || frame->height() != wanted.height) {
        frame = Surface::create(wanted.width, wanted.height);
    }
    renderInto(*frame, frameCount_++);
    return true;
}

void TestSource::startPreview(PreviewTarget& newTarget, std::chrono::milliseconds newInterval) {
    {
        std::lock_guard lock(mutex_);
        target_ = &newTarget;
        interval_ = std::max(newInterval, std::chrono::milliseconds(1));
        ++previewChanges_;
        ending_ = false;
    }
    wake_.notify_all();
    if (!previewThread_.joinable()) {
        previewThread_ = std::thread([this] { previewLoop(); });
    }
}

void TestSource::stopPreview() {
    {
        std::lock_guard lock(mutex_);
        target_ = nullptr;
        ++previewChanges_;
    }
    wake_.notify_all();
    // A frame being handed over now is the last one.
    std::lock_guard delivery(deliveryMutex_);
}

void TestSource::endPreviewThread() {
    if (!previewThread_.joinable()) {
        return;
    }
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
    }
    wake_.notify_all();
    previewThread_.join();
}

void TestSource::previewLoop() {
    auto next = std::chrono::steady_clock::now();
    for (;;) {
        std::unique_lock delivery(deliveryMutex_);
        PreviewTarget* current = nullptr;
        std::chrono::milliseconds period{0};
        std::uint64_t seenChanges = 0;
        {
            std::lock_guard lock(mutex_);
            if (ending_) {
                return;
            }
            current = target_;
            period = interval_;
            seenChanges = previewChanges_;
        }
        const bool shown = current != nullptr && current->wantsFrames();
        const bool listened =
            current != nullptr && listener_ != nullptr && listener_->wantsFrames();
        const bool wanted = shown || listened;
        if (wanted) {
            const Surface frame = render(frameSize(), frameCount_++);
            if (shown) {
                current->showFrame(frame);
            }
            if (listened) {
                listener_->pixelFrame(frame);
            }
        }
        delivery.unlock();

        std::unique_lock lock(mutex_);
        const auto changed = [&] { return ending_ || previewChanges_ != seenChanges; };
        if (current == nullptr) {
            wake_.wait(lock, changed);
            next = std::chrono::steady_clock::now();
            continue;
        }
        next += wanted ? period : std::max(period, unwatchedRecheck);
        const auto now = std::chrono::steady_clock::now();
        if (next < now) {
            next = now; // fell behind: carry on from now instead of catching up
        }
        if (wake_.wait_until(lock, next, changed)) {
            next = std::chrono::steady_clock::now();
        }
    }
}
