#include "settings/SettingsFile.h"

#include "app/MainWindow.h"
#include "capture/Capture.h"
#include "platform/FileDescriptor.h"
#include "platform/ReplaceFile.h"
#include "res/Version.h"
#include "settings/Settings.h"
#include "settings/SettingsFileEscape.h"
#include "settings/SettingsFileHandler.h"
#include "settings/XmlParser.h"

#include <cstddef>
#include <fstream>
#include <memory>
#include <sstream>
#include <string_view>

namespace {

constexpr std::string_view lineEnd = "\r\n";

void writeLine(std::ostream& out, std::string_view text) {
    out << text << lineEnd;
}

// "    key = 'value'": numbers in plain decimal, booleans as 1 and 0 (the stream's default
// flags), texts already escaped.
template <typename Value>
void writeKey(std::ostream& out, std::string_view key, const Value& value) {
    out << "    " << key << " = '" << value << '\'' << lineEnd;
}

} // namespace

void saveSettingsFile(MainWindow& mainWindow, Capture& capture, const std::string& fileName) {
    std::ostringstream out;
    writeLine(out, "<kavriwebcam version='" KAVRI_VERSION "'>");
    writeLine(out, "  <program");
    writeKey(out, "savesettingsonexit", Settings::getSaveSettingsOnExit());
    writeKey(out, "windowzoom", mainWindow.getZoomIndex());
    writeKey(out, "windowpositionX", mainWindow.getPositionX());
    writeKey(out, "windowpositionY", mainWindow.getPositionY());
    writeLine(out, "  >");
    writeLine(out, "  </program>");
    writeLine(out, "  <capture");
    writeKey(out, "fps", Settings::getFps());
    writeKey(out, "maxfps", Settings::getMaxFps());
    writeKey(out, "devicename", escapeSettingsValue(capture.getDeviceName()));
    writeKey(out, "devicenumber", capture.deviceIndex);
    writeLine(out, "  >");
    writeLine(out, "  </capture>");
    writeLine(out, "  <image");
    writeKey(out, "jpegfile", escapeSettingsValue(Settings::getJpegFile()));
    writeKey(out, "jpegquality", Settings::getJpegQuality());
    writeKey(out, "update", Settings::getUpdate());
    writeKey(out, "datetimeoverlay", Settings::getDateTimeOverlay());
    // The overlay draws its text up to the first zero byte, and so much is kept.
    writeKey(out, "textoverlay", escapeSettingsValue(Settings::getTextOverlay().c_str()));
    writeKey(out, "textcolor", Settings::getTextColor());
    writeKey(out, "backcolor", Settings::getBackColor());
    writeLine(out, "  >");
    writeLine(out, "  </image>");
    writeLine(out, "  <network");
    writeKey(out, "host", escapeSettingsValue(Settings::getHost()));
    writeKey(out, "port", Settings::getPort());
    writeKey(out, "saveto", escapeSettingsValue(Settings::getSaveTo()));
    writeKey(out, "user", escapeSettingsValue(Settings::getUser()));
    writeKey(out, "password", escapeSettingsValue(transformPassword(Settings::getPassword(), +1)));
    writeKey(out, "active", Settings::getActive());
    writeKey(out, "stoponerror", Settings::getStopOnError());
    writeKey(out, "usepassive", Settings::getUsePassive());
    writeLine(out, "  >");
    writeLine(out, "  </network>");
    writeLine(out, "</kavriwebcam>");
    // The only copy of the user's settings: flushed to the disk before it takes the name.
    replaceFile(fileName, [&out](FileDescriptor& file) { return file.writeAll(out.view()); },
                {.flushToDisk = true});
}

void loadSettingsFile(MainWindow& mainWindow, Capture& capture, const std::string& fileName) {
    std::ifstream file(fileName, std::ios::binary);
    if (!file) {
        return;
    }
    XmlParser parser(file);
    parser.setHandler(std::make_unique<SettingsFileHandler>(mainWindow, capture));
    parser.parse();
}

std::string transformPassword(const std::string& text, int direction) {
    std::string result(text.size(), '\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int shift = direction * passwordKey[i % passwordKey.size()];
        result[i] = static_cast<char>((static_cast<unsigned char>(text[i]) + shift) & 0xFF);
    }
    return result;
}
