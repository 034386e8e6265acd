#include "settings/SettingsFile.h"

#include "app/MainWindow.h"
#include "capture/Capture.h"
#include "settings/Settings.h"
#include "settings/SettingsFileEscape.h"
#include "settings/SettingsFileHandler.h"
#include "settings/XmlParser.h"

#include <cerrno>
#include <cstddef>
#include <fstream>
#include <memory>
#include <sstream>
#include <string_view>

#include <fcntl.h>
#include <unistd.h>

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

// A file descriptor that is closed when it goes.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd)
        : fd(fd) {}
    ~FileDescriptor() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd; }
    // Closes now and tells whether the last writes reached the file.
    bool close() {
        const int closing = fd;
        fd = -1;
        return ::close(closing) == 0;
    }

private:
    int fd;
};

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Puts contents in place of fileName through a new file in the same directory, flushed to
// the disk before the rename, so fileName is always either the old file or the new one.
void replaceFile(const std::string& fileName, std::string_view contents) {
    const std::string temporaryName = fileName + ".tmp-" + std::to_string(::getpid());
    FileDescriptor file(
        ::open(temporaryName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (file.get() < 0) {
        return;
    }
    const bool written = writeAll(file.get(), contents) && ::fsync(file.get()) == 0;
    if (!file.close() || !written || ::rename(temporaryName.c_str(), fileName.c_str()) != 0) {
        ::unlink(temporaryName.c_str());
    }
}

} // namespace

void saveSettingsFile(MainWindow& mainWindow, Capture& capture, const std::string& fileName) {
    std::ostringstream out;
    writeLine(out, "<kavriwebcam version='1.2.99'>");
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
    replaceFile(fileName, out.view());
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
