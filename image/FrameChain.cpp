#include "image/FrameChain.h"

#include "base/Surface.h"
#include "image/Dib.h"
#include "image/GrabSettings.h"
#include "image/JpegWriter.h"
#include "image/Overlay.h"

#include <cerrno>

bool saveFrameAsJpeg(Dib& dib, const GrabSettings& settings, Overlay& overlay) {
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
    if (settings.dateTime) {
        overlay.drawDateTime(*surface, height, settings.colors);
    }
    if (!settings.text.empty()) {
        overlay.drawText(*surface, settings.text, settings.colors);
    }
    JpegWriter writer;
    writer.setQuality(settings.quality);
    if (writer.write(surface->bits(), surface->width(), surface->height(), settings.jpegFile,
                     settings.keep) != 0) {
        return false;
    }
    if (settings.frame) {
        settings.frame(*surface);
    }
    return true;
}
