// Feeds arbitrary bytes to the DIB reader as a frame file and paints whatever it accepts.
#include "image/Dib.h"

#include "platform/Surface.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// The reader takes a file name, so each input goes through one file per fuzzing process,
// in memory-backed /dev/shm when it exists. Removed when the process ends.
class InputFile {
public:
    InputFile() {
        const char* tmpdir = std::getenv("TMPDIR");
        const std::filesystem::path folder = std::filesystem::exists("/dev/shm") ? "/dev/shm"
                                             : tmpdir != nullptr                 ? tmpdir
                                                                                 : "/tmp";
        path_ = (folder / ("kavri-dib-fuzz-" + std::to_string(::getpid()) + ".dib")).string();
    }
    ~InputFile() { std::remove(path_.c_str()); }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    const std::string& write(const std::uint8_t* data, std::size_t size) {
        const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path_.c_str(), "wb"));
        if (!file || std::fwrite(data, 1, size, file.get()) != size) {
            std::abort();
        }
        return path_;
    }

private:
    std::string path_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static InputFile input;
    const Dib dib(input.write(data, size));
    if (dib.isValid()) {
        auto surface = Surface::create(dib.width(), dib.height());
        if (!surface || !dib.paint(*surface)) {
            std::abort();
        }
    }
    return 0;
}
