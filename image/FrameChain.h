#pragma once

#include <string>

class Dib;
class Overlay;

// Turns one grabbed frame into the JPEG file: paints the Dib into a fresh 24-bit surface
// of its size (or takes its pixels over where they are already laid out as one, which
// leaves the Dib empty), draws the date/time line (when dateTime is set) and the text (when it is
// not empty) with the overlay, and encodes the surface at the given quality into jpegFile,
// replacing it only once the new file is complete. Returns false, leaving any earlier
// jpegFile untouched, when the Dib holds no image or the JPEG file cannot be written; errno
// then says why.
bool saveFrameAsJpeg(Dib& dib, const std::string& jpegFile, int quality, bool dateTime,
                     const std::string& text, Overlay& overlay);
