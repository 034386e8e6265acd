#pragma once

#include "settings/SettingsTable.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

// Every value of the process-wide settings store, taken from the settings table when made
// and put back when destroyed, so that a test can change settings freely without leaking
// them into the next.
class SettingsSnapshot {
public:
    SettingsSnapshot() {
        for (const Setting& setting : settingsTable()) {
            if (const auto* store = setting.inStore()) {
                values.push_back(store->get());
            }
        }
    }
    ~SettingsSnapshot() {
        auto value = values.begin();
        for (const Setting& setting : settingsTable()) {
            if (const auto* store = setting.inStore()) {
                store->set(*value++);
            }
        }
    }
    SettingsSnapshot(const SettingsSnapshot&) = delete;
    SettingsSnapshot& operator=(const SettingsSnapshot&) = delete;

private:
    std::vector<SettingValue> values;
};

// Every value the settings file holds, by its key, wherever it is kept.
using SettingsByKey = std::map<std::string, SettingValue>;

inline SettingsByKey settingsByKey(const SettingsHolders& holders) {
    SettingsByKey values;
    for (const Setting& setting : settingsTable()) {
        values[std::string(setting.key)] = setting.get(holders);
    }
    return values;
}

// Values by key from "key=value|key=value", each read as its setting's kind: a boolean as 1
// or 0, a number in decimal or (0x...) hexadecimal, a text as it stands.
inline SettingsByKey parseSettings(const std::string& text) {
    SettingsByKey values;
    std::istringstream in(text);
    for (std::string pair; std::getline(in, pair, '|');) {
        const std::string key = pair.substr(0, pair.find('='));
        const std::string value = pair.substr(key.size() + 1);
        const auto setting = std::find_if(settingsTable().begin(), settingsTable().end(),
                                          [&](const Setting& s) { return s.key == key; });
        if (setting == settingsTable().end()) {
            throw std::invalid_argument(key);
        }
        switch (setting->kind) {
        case SettingKind::Bool:
            values[key] = value == "1";
            break;
        case SettingKind::Signed:
            values[key] = static_cast<std::int32_t>(std::stoll(value, nullptr, 0));
            break;
        case SettingKind::Unsigned:
            values[key] = static_cast<std::uint32_t>(std::stoull(value, nullptr, 0));
            break;
        default:
            values[key] = value;
        }
    }
    return values;
}
