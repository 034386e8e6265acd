#pragma once

#include "settings/Settings.h"
#include "settings/SettingsTable.h"

#include <algorithm>
#include <map>
#include <sstream>
#include <vector>

// Every value of the process-wide settings store, taken from the settings table when made
// (and the cameras' own settings) and put back when destroyed, so that a test can change settings
// freely without leaking them into the next.
class SettingsSnapshot {
public:
    SettingsSnapshot() {
        for (const Setting& setting : settingsTable()) {
            if (const auto* store = setting.inStore()) {
                values.emplace_back(store, store->get());
            }
        }
    }
    ~SettingsSnapshot() {
        for (const auto& [store, value] : values) {
            store->set(value);
        }
        Settings::setCameras(cameras);
    }
    SettingsSnapshot(const SettingsSnapshot&) = delete;
    SettingsSnapshot& operator=(const SettingsSnapshot&) = delete;

private:
    std::vector<std::pair<const Setting::StoreAccessors*, SettingValue>> values;
    std::vector<RememberedCamera> cameras = Settings::getCameras();
};

// Every value the settings file holds, by its key, wherever it is kept; a key that an
// earlier section has already is named "section.key".
using SettingsByKey = std::map<std::string, SettingValue>;

inline std::string settingName(const Setting& setting) {
    const Setting& first = *std::ranges::find(settingsTable(), setting.key, &Setting::key);
    return std::string(&first == &setting ? "" : std::string(setting.section) + ".") +
           std::string(setting.key);
}

inline const Setting& settingNamed(const std::string& name) {
    return *std::ranges::find_if(
        settingsTable(), [&](const Setting& setting) { return settingName(setting) == name; });
}

inline SettingsByKey settingsByKey(const SettingsHolders& holders) {
    SettingsByKey values;
    for (const Setting& setting : settingsTable()) {
        values[settingName(setting)] = setting.get(holders);
    }
    return values;
}

// The pairs of "key=value|key=value".
inline std::vector<std::pair<std::string, std::string>> keyValuePairs(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> pairs;
    std::istringstream in(text);
    for (std::string pair; std::getline(in, pair, '|');) {
        pairs.emplace_back(pair.substr(0, pair.find('=')), pair.substr(pair.find('=') + 1));
    }
    return pairs;
}

// Values by key from "key=value|key=value", each read as its setting's kind: a boolean as 1
// or 0, a number in decimal or (0x...) hexadecimal, a text as it stands.
inline SettingsByKey parseSettings(const std::string& text) {
    SettingsByKey values;
    for (const auto& [key, value] : keyValuePairs(text)) {
        const Setting* setting = &settingNamed(key);
        const long long number =
            setting->kind <= SettingKind::Unsigned ? std::stoll(value, nullptr, 0) : 0;
        const SettingValue asKind[] = {number == 1, static_cast<std::int32_t>(number),
                                       static_cast<std::uint32_t>(number), value};
        values[key] = asKind[std::min(static_cast<int>(setting->kind), 3)];
    }
    return values;
}
