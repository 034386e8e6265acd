#pragma once

class Surface;

// Where the live preview of a capture window goes: the window system shows the frames in
// the capture window. The frames arrive on a thread of the capture service, never the
// user interface thread; a realisation copies what it needs and hands it over to its own
// thread before it returns.
class PreviewSink {
public:
    virtual ~PreviewSink() = default;

    // Whether anybody looks at the preview now; while nobody does, no preview frames are
    // made where that can be avoided.
    virtual bool wantsFrames() const = 0;

    // One preview frame (24-bit, bottom-up rows) for a capture window of windowWidth x
    // windowHeight pixels; stretch says whether to scale the frame to the window.
    virtual void showFrame(const Surface& frame, int windowWidth, int windowHeight,
                           bool stretch) = 0;
};
