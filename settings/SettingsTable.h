#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>

class DeviceSettings;
class WindowSettings;

// Every key of the settings file, written once: its section, its name, its kind and where
// its value is kept. The file's writer and reader work from this table, and so does
// anything else that has to go through all settings.

// A setting's value; the alternative follows the setting's kind.
using SettingValue = std::variant<bool, std::int32_t, std::uint32_t, std::string>;

// How a value is written in the settings file and read back.
enum class SettingKind {
    // 1 or 0; only the number 1 reads as true.
    Bool,
    // Decimal; read the way atoi reads.
    Signed,
    // Decimal; read like a signed number, keeping its 32 bits.
    Unsigned,
    // The bytes, with references for those the file's form cannot carry.
    Text,
    // Like Text, after transformPassword.
    Password,
};

// The objects besides the settings store that hold keys of the file.
struct SettingsHolders {
    WindowSettings& window;
    DeviceSettings& device;
};

// One key of the file. Its value is kept in the store or by one of the holders.
struct Setting {
    struct StoreAccessors {
        SettingValue (*get)();
        void (*set)(const SettingValue& value);
    };
    template <typename Holder> struct HeldAccessors {
        SettingValue (*get)(Holder& holder);
        void (*set)(Holder& holder, const SettingValue& value);
    };

    std::string_view section;
    std::string_view key;
    SettingKind kind;
    std::variant<StoreAccessors, HeldAccessors<WindowSettings>, HeldAccessors<DeviceSettings>>
        accessors;

    SettingValue get(const SettingsHolders& holders) const;
    void set(const SettingsHolders& holders, const SettingValue& value) const;
    // The accessors of a setting kept in the store; null for one a holder keeps.
    const StoreAccessors* inStore() const { return std::get_if<StoreAccessors>(&accessors); }
};

// In the order of the file's lines; the keys of one section stand together.
std::span<const Setting> settingsTable();

// The setting of that section and key, both compared exactly; null when there is none.
const Setting* findSetting(std::string_view section, std::string_view key);
