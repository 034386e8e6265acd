#pragma once

#include "image/Overlay.h"
#include "image/PictureOptions.h"

#include <functional>
#include <string>

class Surface;

// What a grab needs to know to turn a frame into the JPEG file: where the file goes, the
// quality it is encoded at, how the frame is cut, turned and scaled, and the captions drawn
// on it. The main window reads it
// from the settings store at each grab.
struct GrabSettings {
    std::string jpegFile{};
    // 0 to 100, as the JPEG encoder takes it.
    int quality = 0;
    // Whether the date/time line is drawn.
    bool dateTime = false;
    // The user's text; nothing is drawn when it is empty.
    std::string text{};
    Overlay::Colors colors{};
    // The crop, turn, scale and the captions' size, corner and date pattern.
    PictureOptions picture{};
    // Optional: keep sees the complete new JPEG file under its temporary name before it
    // takes jpegFile's name; frame sees the finished pixels once the file is written.
    std::function<void(const std::string& newFile)> keep{};
    std::function<void(const Surface& pixels)> frame{};
};
