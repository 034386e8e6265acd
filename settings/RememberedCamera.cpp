#include "settings/RememberedCamera.h"

#include "settings/SettingsFileEscape.h"
#include "settings/XmlElement.h"

#include <sstream>

bool RememberedCamera::Identity::isSameCamera(const Identity& other) const {
    return card == other.card &&
           (bus == other.bus || (!stableName.empty() && stableName == other.stableName));
}

std::string RememberedCamera::elementText() const {
    std::ostringstream controlText;
    for (const auto& [id, value] : controls) {
        controlText << (controlText.tellp() > 0 ? " " : "") << id << ':' << value;
    }
    std::ostringstream out;
    const auto line = [&out](const char* key, const std::string& value) {
        out << "    " << key << " = '" << escapeSettingsValue(value) << "'\r\n";
    };
    out << "  <camera\r\n";
    line("card", identity.card);
    line("bus", identity.bus);
    line("byid", identity.stableName);
    line("width", std::to_string(width));
    line("height", std::to_string(height));
    line("controls", controlText.str());
    out << "  >\r\n  </camera>\r\n";
    return std::move(out).str();
}

std::optional<RememberedCamera> RememberedCamera::fromElement(const XmlElement& element) {
    RememberedCamera camera;
    for (auto at = element.begin(); at != element.end(); ++at) {
        const std::string name = element.attributeName(at);
        const std::string value = unescapeSettingsValue(element.attributeValue(at));
        if (name == "card") {
            camera.identity.card = value;
        } else if (name == "bus") {
            camera.identity.bus = value;
        } else if (name == "byid") {
            camera.identity.stableName = value;
        } else if (name == "width") {
            camera.width = element.attributeInt(at);
        } else if (name == "height") {
            camera.height = element.attributeInt(at);
        } else if (name == "controls") {
            std::istringstream in(value);
            std::uint32_t id = 0;
            std::int32_t setTo = 0;
            char colon = 0;
            while (in >> id >> colon >> setTo && colon == ':') {
                camera.controls[id] = setTo;
            }
        }
    }
    if (camera.identity.card.empty()) {
        return std::nullopt;
    }
    return camera;
}
