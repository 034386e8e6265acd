#pragma once

class Dib;
class Overlay;
struct GrabSettings;

// Turns one grabbed frame into the JPEG file: paints the Dib into a fresh 24-bit surface
// of its size (or takes its pixels over where they are already laid out as one, which
// leaves the Dib empty), crops, turns and scales it as the settings' picture options say,
// draws the date/time line (when asked for) and the text (when it is not empty) with the
// overlay in the settings' colours, where and how the picture options place them, and
// encodes the surface at the settings' quality into their JPEG file, replacing it only once
// the new file is complete. The settings' keep, when set, sees that complete new file just
// before it takes the name, and their frame sees the finished pixels once the file is
// written. Returns false, leaving any earlier JPEG file untouched, when the Dib holds no
// image or the JPEG file cannot be written; errno then says why. A crop rectangle that does
// not fit the frame is left out and told on standard error.
bool saveFrameAsJpeg(Dib& dib, const GrabSettings& settings, Overlay& overlay);
