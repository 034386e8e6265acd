#include "settings/SettingsFile.h"

#include "base/FileDescriptor.h"
#include "base/FileTarget.h"
#include "base/ReplaceFile.h"
#include "res/Version.h"
#include "settings/PasswordTransform.h"
#include "settings/Settings.h"
#include "settings/SettingsFileEscape.h"
#include "settings/SettingsFileHandler.h"
#include "settings/SettingsTable.h"
#include "settings/XmlParser.h"

#include <array>
#include <cstddef>
#include <istream>
#include <memory>
#include <sstream>
#include <streambuf>
#include <string_view>

namespace {

constexpr std::string_view lineEnd = "\r\n";

// Numbers in plain decimal and booleans as 1 and 0 (the stream's default flags); texts
// with references for what the file's form cannot carry.
void writeValue(std::ostream& out, SettingKind kind, const SettingValue& value) {
    switch (kind) {
    case SettingKind::Text:
        out << escapeSettingsValue(std::get<std::string>(value));
        return;
    case SettingKind::Password:
        out << escapeSettingsValue(transformPassword(std::get<std::string>(value), +1));
        return;
    case SettingKind::Bool:
    case SettingKind::Signed:
    case SettingKind::Unsigned:
        std::visit([&out](const auto& number) { out << number; }, value);
        return;
    }
}

// The parser reads a stream; this one takes its bytes from an open file as it goes.
class DescriptorReader : public std::streambuf {
public:
    explicit DescriptorReader(FileDescriptor& file)
        : file_(file) {}

protected:
    int_type underflow() override {
        const std::size_t got = file_.readFully(buffer_.data(), buffer_.size());
        if (got == 0) {
            return traits_type::eof();
        }
        setg(buffer_.data(), buffer_.data(), buffer_.data() + got);
        return traits_type::to_int_type(buffer_[0]);
    }

private:
    FileDescriptor& file_;
    std::array<char, 4096> buffer_{};
};

void closeSection(std::ostream& out, std::string_view section) {
    out << "  >" << lineEnd << "  </" << section << '>' << lineEnd;
}

} // namespace

std::string settingsFileText(const SettingsHolders& holders) {
    std::ostringstream out;
    out << "<kavriwebcam version='" KAVRI_VERSION "'>" << lineEnd;
    std::string_view section;
    for (const Setting& setting : settingsTable()) {
        if (setting.section != section) {
            if (!section.empty()) {
                closeSection(out, section);
            }
            section = setting.section;
            out << "  <" << section << lineEnd;
        }
        out << "    " << setting.key << " = '";
        writeValue(out, setting.kind, setting.get(holders));
        out << '\'' << lineEnd;
    }
    closeSection(out, section);
    for (const RememberedCamera& camera : Settings::getCameras()) {
        out << camera.elementText();
    }
    out << "</kavriwebcam>" << lineEnd;
    return std::move(out).str();
}

void saveSettingsFile(const SettingsHolders& holders, const std::string& fileName) {
    const std::string text = settingsFileText(holders);
    // The only copy of the user's settings: flushed to the disk before it takes the name.
    // It holds the password, so it is the user's alone, whatever mode it had before.
    replaceFile(fileName, [&text](FileDescriptor& file) { return file.writeAll(text); },
                {.flushToDisk = true, .newFileMode = 0600});
}

void loadSettingsFile(const SettingsHolders& holders, const std::string& fileName) {
    FileDescriptor file = openFileForReading(fileName);
    if (!file.isOpen()) {
        return;
    }
    DescriptorReader reader(file);
    std::istream stream(&reader);
    XmlParser parser(stream);
    parser.setHandler(std::make_unique<SettingsFileHandler>(holders));
    parser.parse();
}
