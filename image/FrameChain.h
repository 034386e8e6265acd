#pragma once

#include "image/PictureOptions.h"

#include <string>

class Dib;
class Overlay;

// Turns one grabbed frame into the JPEG file: paints the Dib into a fresh 24-bit surface
// of its size (or takes its pixels over where they are already laid out as one, which
// leaves the Dib empty), crops, turns and scales it as the picture options say, draws the date/time
// line (when dateTime is set) and the text (when it is not empty) with the overlay where and how
// the options place them, and encodes the surface at the given quality into jpegFile, replacing it
// only once the new file is complete. Returns false, leaving any earlier jpegFile untouched, when
// the Dib holds no image or the JPEG file cannot be written; errno then says why. A crop rectangle
// that does not fit the frame is left out and told on standard error.
bool saveFrameAsJpeg(Dib& dib, const std::string& jpegFile, int quality, bool dateTime,
                     const std::string& text, Overlay& overlay, const PictureOptions& picture = {});
