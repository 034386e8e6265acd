#include "app/PicturesHome.h"

#include "base/Exception.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// The value of XDG_PICTURES_DIR="$HOME/..." in a user-dirs.dirs file, "$HOME" replaced; empty
// when the file names none.
std::string picturesFolderFrom(const std::filesystem::path& file, const std::string& home) {
    std::ifstream lines(file);
    const std::string key = "XDG_PICTURES_DIR=\"";
    std::string found;
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with(key) && line.size() > key.size() && line.back() == '"') {
            found = line.substr(key.size(), line.size() - key.size() - 1);
        }
    }
    if (found.starts_with("$HOME")) {
        found = home + found.substr(5);
    }
    return found.starts_with("/") ? found : "";
}

} // namespace

std::string picturesHome() {
    const std::string home = environment("HOME");
    const std::string config = environment("XDG_CONFIG_HOME");
    const std::string pictures = picturesFolderFrom(
        std::filesystem::path(config.empty() ? home + "/.config" : config) / "user-dirs.dirs",
        home);
    return (pictures.empty() ? home + "/Pictures" : pictures) + "/kavriWebCam";
}

void enterPicturesHome() {
    const std::string folder = picturesHome();
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (!error) {
        std::filesystem::current_path(folder, error);
    }
    if (error) {
        throw Exception("Cannot work in " + folder + ": " + error.message());
    }
}
