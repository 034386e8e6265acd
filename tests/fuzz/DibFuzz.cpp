// Feeds arbitrary bytes to the DIB reader as a frame file and paints whatever it accepts.
#include "image/Dib.h"

#include "base/Surface.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

// The reader takes a file name: one file per fuzzing process, in memory-backed /dev/shm,
// removed when the process ends.
struct InputFile {
    const std::string path = "/dev/shm/kavri-dib-fuzz-" + std::to_string(::getpid()) + ".dib";
    ~InputFile() { std::remove(path.c_str()); }
};

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const InputFile input;
    std::ofstream(input.path, std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    const Dib dib(input.path);
    if (dib.isValid()) {
        auto surface = Surface::create(dib.width(), dib.height());
        if (!surface || !dib.paint(*surface)) {
            std::abort();
        }
    }
    return 0;
}
