#pragma once

#include <cstddef>
#include <cstdint>

class Surface;

// Where a camera's frames go besides the preview and the grabs: a stream that people may be
// watching. A camera asks wantsFrames() for each frame and, while nobody watches, converts
// and copies nothing for it. Called on the camera's own thread; a listener copies what it
// needs before it returns.
class FrameListener {
public:
    virtual ~FrameListener() = default;

    virtual bool wantsFrames() const = 0;
    // A frame of a camera that streams JPEG (MJPEG), as the camera made it.
    virtual void jpegFrame(const std::uint8_t* data, std::size_t size) = 0;
    // A frame of any other camera (24-bit, bottom-up rows).
    virtual void pixelFrame(const Surface& frame) = 0;
    // The camera in use is lost (true) or back (false).
    virtual void cameraLost(bool lost) = 0;
};
