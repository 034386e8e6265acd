#pragma once

#include "settings/SettingsTable.h"

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
