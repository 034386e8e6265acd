#pragma once

#include "base/Surface.h"
#include "image/PictureOptions.h"

#include <optional>

// The geometry of the published picture, on whole surfaces.
class PictureGeometry {
public:
    PictureGeometry() = delete;

    // The frame cut to the options' crop rectangle, turned and mirrored; nothing when the
    // crop rectangle does not lie inside the frame.
    static std::optional<Surface> turn(const Surface& frame, const PictureOptions& options);

    // The picture scaled to width pixels across, its height following the aspect (at least
    // one pixel): an area average where it shrinks, bilinear where it grows. Nothing when
    // width is not positive or the surface would be too large.
    static std::optional<Surface> scale(const Surface& picture, int width);

    // Crop, turn and scale as the options say; the frame itself when they change nothing.
    // Nothing when the crop does not fit or the result would be too large.
    static std::optional<Surface> apply(Surface frame, const PictureOptions& options);

    // Whether the rectangle lies inside a frame of that size and is not empty.
    static bool cropFits(int frameWidth, int frameHeight, const PictureRect& crop);

    // The size the frame of that size has after crop and turn.
    static PictureRect turnedSize(int frameWidth, int frameHeight, const PictureOptions& options);
};
