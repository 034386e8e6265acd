#include "image/FrameChain.h"

#include "base/HealthLine.h"
#include "base/Surface.h"
#include "image/Dib.h"
#include "image/GrabSettings.h"
#include "image/JpegWriter.h"
#include "image/Overlay.h"
#include "image/PictureGeometry.h"

#include <cerrno>
#include <string>
#include <utility>

namespace {

// The options with their crop rectangle left out when it does not fit the frame, which is
// told on standard error once until it fits again.
PictureOptions checkedCrop(const Surface& frame, PictureOptions picture) {
    static HealthLine cropHealth({"picture crop", "ignored", "fits again"});
    if (!picture.crop) {
        return picture;
    }
    if (PictureGeometry::cropFits(frame.width(), frame.height(), *picture.crop)) {
        cropHealth.succeeded();
        return picture;
    }
    const PictureRect& crop = *picture.crop;
    cropHealth.failed(std::to_string(crop.x) + "," + std::to_string(crop.y) + "," +
                      std::to_string(crop.width) + "," + std::to_string(crop.height) +
                      " does not fit the " + std::to_string(frame.width()) + "x" +
                      std::to_string(frame.height()) + " frame");
    picture.crop.reset();
    return picture;
}

} // namespace

bool saveFrameAsJpeg(Dib& dib, const GrabSettings& settings, Overlay& overlay) {
    if (!dib.isValid()) {
        errno = EINVAL;
        return false;
    }
    std::optional<Surface> surface = dib.takeSurface();
    if (!surface) {
        surface = Surface::create(dib.width(), dib.height());
        if (!surface || !dib.paint(*surface)) {
            errno = surface ? EINVAL : ENOMEM;
            return false;
        }
    }
    if (settings.picture != PictureOptions{}) {
        surface =
            PictureGeometry::apply(std::move(*surface), checkedCrop(*surface, settings.picture));
        if (!surface) {
            errno = ENOMEM;
            return false;
        }
    }
    overlay.drawCaptions(*surface, settings.dateTime, settings.text, settings.picture,
                         settings.colors);
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
