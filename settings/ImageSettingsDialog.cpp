#include "settings/ImageSettingsDialog.h"

#include "base/ErrorBox.h"
#include "base/FileDescriptor.h"
#include "base/ReplaceFile.h"
#include "settings/Settings.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>

#include <fcntl.h>

namespace {

// The longest grab interval whose millisecond count still fits 32 bits.
constexpr unsigned maxUpdateSeconds = 4294967;
constexpr unsigned maxQuality = 100;
// Buffer sizes, terminating zero included.
constexpr std::size_t textOverlayBufferSize = 40;
constexpr std::size_t jpegFileBufferSize = 80;

// A file name is taken when the JPEG file can be written there: an existing regular file
// the user may replace, or a new name in a directory that takes a new file, which is then
// created empty. Whatever is already there is only looked at, never opened, so a FIFO or a
// device under the name cannot make the dialog wait, and an existing file is never emptied.
bool isUsableFileName(const std::string& name) {
    if (!canReplaceFile(name)) {
        return false;
    }
    FileDescriptor::open(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK, 0666);
    return true;
}

// A number typed into a colour field as a component. The field reads unsigned; numbers
// beyond the signed range are held at its top so that they too give 255.
std::uint8_t readComponent(const DialogHost& dialog, int itemId) {
    constexpr unsigned signedMax = std::numeric_limits<std::int32_t>::max();
    const unsigned value = std::min(dialog.readItemUnsigned(itemId), signedMax);
    return Settings::clampComponent(static_cast<std::int32_t>(value));
}

std::uint32_t readColor(const DialogHost& dialog, int redId, int greenId, int blueId) {
    const std::uint32_t red = readComponent(dialog, redId);
    const std::uint32_t green = readComponent(dialog, greenId);
    const std::uint32_t blue = readComponent(dialog, blueId);
    return red + (green << 8) + (blue << 16);
}

void showColor(DialogHost& dialog, std::uint32_t packed, int redId, int greenId, int blueId) {
    dialog.setItemUnsigned(redId, packed & 0xFF);
    dialog.setItemUnsigned(greenId, (packed >> 8) & 0xFF);
    dialog.setItemUnsigned(blueId, (packed >> 16) & 0xFF);
}

void fill(DialogHost& dialog) {
    using namespace imageSettingsItem;
    dialog.setItemUnsigned(quality, Settings::getJpegQuality());
    dialog.setItemUnsigned(update, Settings::getUpdate());
    dialog.setItemText(jpegFile, Settings::getJpegFile());
    dialog.setChecked(dateTimeOverlay, Settings::getDateTimeOverlay());
    dialog.setItemText(textOverlay, Settings::getTextOverlay());
    showColor(dialog, Settings::getTextColor(), textRed, textGreen, textBlue);
    showColor(dialog, Settings::getBackColor(), backRed, backGreen, backBlue);
}

} // namespace

bool applyImageSettings(DialogHost& dialog) {
    using namespace imageSettingsItem;
    Settings::setJpegQuality(std::min(dialog.readItemUnsigned(quality), maxQuality));
    Settings::setUpdate(std::clamp(dialog.readItemUnsigned(update), 1U, maxUpdateSeconds));
    Settings::setTextColor(readColor(dialog, textRed, textGreen, textBlue));
    Settings::setBackColor(readColor(dialog, backRed, backGreen, backBlue));
    Settings::setDateTimeOverlay(dialog.isChecked(dateTimeOverlay));
    Settings::setTextOverlay(dialog.readItemText(textOverlay, textOverlayBufferSize));

    const std::string name = dialog.readItemText(jpegFile, jpegFileBufferSize);
    if (!isUsableFileName(name)) {
        showErrorBox("::Illegal filename::\n\n   " + name);
        return false;
    }
    Settings::setJpegFile(name);
    return true;
}

bool imageSettingsDialogProc(DialogHost& dialog, DialogMessage message, int commandId) {
    return storingDialogStep(dialog, message, commandId, fill, applyImageSettings);
}
