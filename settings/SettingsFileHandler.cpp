#include "settings/SettingsFileHandler.h"

#include "settings/PasswordTransform.h"
#include "settings/Settings.h"
#include "settings/SettingsFileEscape.h"
#include "settings/XmlElement.h"

#include <cstdint>
#include <string>

namespace {

using Position = XmlElement::AttributeIterator;

SettingValue readValue(SettingKind kind, const XmlElement& element, Position at) {
    switch (kind) {
    case SettingKind::Bool:
        return element.attributeInt(at) == 1;
    case SettingKind::Signed:
        return std::int32_t{element.attributeInt(at)};
    case SettingKind::Unsigned:
        return static_cast<std::uint32_t>(element.attributeInt(at));
    case SettingKind::Text:
        return unescapeSettingsValue(element.attributeValue(at));
    case SettingKind::Password:
        return transformPassword(unescapeSettingsValue(element.attributeValue(at)), -1);
    }
    return {};
}

} // namespace

SettingsFileHandler::SettingsFileHandler(const SettingsHolders& holders)
    : holders_(holders) {}

void SettingsFileHandler::startElement(const XmlElement* element) {
    if (element->getName() == "camera") {
        if (const auto camera = RememberedCamera::fromElement(*element)) {
            Settings::rememberCamera(camera->identity) = *camera;
        }
        return;
    }
    for (auto at = element->begin(); at != element->end(); ++at) {
        if (const Setting* setting = findSetting(element->getName(), element->attributeName(at))) {
            setting->set(holders_, readValue(setting->kind, *element, at));
        }
    }
}
