#pragma once

#include "settings/SettingsTable.h"

#include <map>
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
inline std::map<std::string, SettingValue> settingsByKey(const SettingsHolders& holders) {
    std::map<std::string, SettingValue> values;
    for (const Setting& setting : settingsTable()) {
        values[std::string(setting.key)] = setting.get(holders);
    }
    return values;
}
