#pragma once

#include <optional>
#include <string>

// Where the captions go. The date/time line takes the named corner and the user's text the
// other corner on the same side, so that the two never share an edge.
enum class StampCorner {
    bottomLeft = 0, // the date bottom-left, the text top-left: the usual place
    bottomRight = 1,
    topLeft = 2,
    topRight = 3,
};

// A rectangle in the camera's pixels, from the top-left corner.
struct PictureRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const PictureRect&) const = default;
};

// How a grabbed frame is turned into the published picture, in this order: cut to the crop
// rectangle, turned clockwise by rotate degrees, mirrored, scaled to width pixels across
// (the height following), then stamped. The defaults leave the frame as it is and stamp it
// the usual way.
struct PictureOptions {
    std::optional<PictureRect> crop;
    int rotate = 0; // 0, 90, 180 or 270, clockwise
    int flip = 0;   // 0 none, 1 left-right, 2 top-bottom
    int width = 0;  // 0: the width the frame has after the crop and the turn
    // The captions' character height in thousandths of the picture's height; 0 for the
    // font's usual 11 pixels.
    int textSizePerMille = 0;
    StampCorner corner = StampCorner::bottomLeft;
    // A strftime pattern for the date/time line; empty for "MM/DD/YY HH:MM:SS".
    std::string dateFormat;

    bool operator==(const PictureOptions&) const = default;
    // Whether crop, rotate or flip change the frame's pixels before any scaling.
    bool turns() const { return crop.has_value() || rotate != 0 || flip != 0; }
};
