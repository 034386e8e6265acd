#include "image/FrameChain.h"

#include "base/Surface.h"
#include "image/Dib.h"
#include "image/JpegWriter.h"
#include "image/Overlay.h"

#include <cerrno>

bool saveFrameAsJpeg(Dib& dib, const std::string& jpegFile, int quality, bool dateTime,
                     const std::string& text, Overlay& overlay) {
    if (!dib.isValid()) {
        errno = EINVAL;
        return false;
    }
    const int height = dib.height();
    std::optional<Surface> surface = dib.takeSurface();
    if (!surface) {
        surface = Surface::create(dib.width(), height);
        if (!surface || !dib.paint(*surface)) {
            errno = surface ? EINVAL : ENOMEM;
            return false;
        }
    }
    if (dateTime) {
        overlay.drawDateTime(*surface, height);
    }
    if (!text.empty()) {
        overlay.drawText(*surface, text);
    }
    JpegWriter writer;
    writer.setQuality(quality);
    return writer.write(surface->bits(), surface->width(), surface->height(), jpegFile) == 0;
}
