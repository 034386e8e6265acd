#include "settings/SettingsFileHandler.h"

#include "app/MainWindow.h"
#include "capture/Capture.h"
#include "settings/Settings.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsFileEscape.h"
#include "settings/XmlElement.h"

#include <cstdint>
#include <string>

namespace {

using Position = XmlElement::AttributeIterator;

bool readBool(const XmlElement& element, Position at) {
    return element.attributeInt(at) == 1;
}

unsigned readUnsigned(const XmlElement& element, Position at) {
    return static_cast<unsigned>(element.attributeInt(at));
}

std::string readText(const XmlElement& element, Position at) {
    return unescapeSettingsValue(element.attributeValue(at));
}

void applyProgram(const XmlElement& element, Position at, MainWindow& mainWindow) {
    const std::string key = element.attributeName(at);
    if (key == "savesettingsonexit") {
        Settings::setSaveSettingsOnExit(readBool(element, at));
    } else if (key == "windowzoom") {
        mainWindow.setZoomIndex(element.attributeInt(at));
    } else if (key == "windowpositionX") {
        mainWindow.setPositionX(element.attributeInt(at));
    } else if (key == "windowpositionY") {
        mainWindow.setPositionY(element.attributeInt(at));
    }
}

void applyCapture(const XmlElement& element, Position at, Capture& capture) {
    const std::string key = element.attributeName(at);
    if (key == "fps") {
        Settings::setFps(element.attributeInt(at));
    } else if (key == "maxfps") {
        Settings::setMaxFps(element.attributeInt(at));
    } else if (key == "devicename") {
        capture.setDeviceName(readText(element, at));
    } else if (key == "devicenumber") {
        capture.deviceIndex = element.attributeInt(at);
    }
}

void applyImage(const XmlElement& element, Position at) {
    const std::string key = element.attributeName(at);
    if (key == "jpegfile") {
        Settings::setJpegFile(readText(element, at));
    } else if (key == "jpegquality") {
        Settings::setJpegQuality(readUnsigned(element, at));
    } else if (key == "update") {
        Settings::setUpdate(readUnsigned(element, at));
    } else if (key == "datetimeoverlay") {
        Settings::setDateTimeOverlay(readBool(element, at));
    } else if (key == "textoverlay") {
        Settings::setTextOverlay(readText(element, at));
    } else if (key == "textcolor") {
        Settings::setTextColor(static_cast<std::uint32_t>(element.attributeInt(at)));
    } else if (key == "backcolor") {
        Settings::setBackColor(static_cast<std::uint32_t>(element.attributeInt(at)));
    }
}

void applyNetwork(const XmlElement& element, Position at) {
    const std::string key = element.attributeName(at);
    if (key == "host") {
        Settings::setHost(readText(element, at));
    } else if (key == "port") {
        Settings::setPort(readUnsigned(element, at));
    } else if (key == "saveto") {
        Settings::setSaveTo(readText(element, at));
    } else if (key == "user") {
        Settings::setUser(readText(element, at));
    } else if (key == "password") {
        Settings::setPassword(transformPassword(readText(element, at), -1));
    } else if (key == "active") {
        Settings::setActive(readBool(element, at));
    } else if (key == "stoponerror") {
        Settings::setStopOnError(readBool(element, at));
    } else if (key == "usepassive") {
        Settings::setUsePassive(readBool(element, at));
    }
}

} // namespace

SettingsFileHandler::SettingsFileHandler(MainWindow& mainWindow, Capture& capture)
    : mainWindow(&mainWindow)
    , capture(&capture) {}

void SettingsFileHandler::startElement(const XmlElement* element) {
    const std::string& section = element->getName();
    for (auto at = element->begin(); at != element->end(); ++at) {
        if (section == "program") {
            applyProgram(*element, at, *mainWindow);
        } else if (section == "capture") {
            applyCapture(*element, at, *capture);
        } else if (section == "image") {
            applyImage(*element, at);
        } else if (section == "network") {
            applyNetwork(*element, at);
        }
    }
}
