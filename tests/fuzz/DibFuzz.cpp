// Feeds arbitrary bytes to the DIB reader as a frame file and paints whatever it accepts.
#include "image/Dib.h"

#include "platform/Surface.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

// The reader takes a file name, so each input goes through one file per fuzzing process, in
// memory-backed /dev/shm. Removed when the process ends.
struct InputFile {
    const std::string path = "/dev/shm/kavri-dib-fuzz-" + std::to_string(::getpid()) + ".dib";
    ~InputFile() { std::remove(path.c_str()); }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const InputFile input;
    if (!std::ofstream(input.path, std::ios::binary | std::ios::trunc)
             .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size))) {
        std::abort();
    }
    const Dib dib(input.path);
    if (dib.isValid()) {
        auto surface = Surface::create(dib.width(), dib.height());
        if (!surface || !dib.paint(*surface)) {
            std::abort();
        }
    }
    return 0;
}
