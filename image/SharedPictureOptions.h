#pragma once

#include "image/PictureOptions.h"

#include <mutex>

// The picture options as the live preview follows them: set on the user interface thread
// when the settings change, read by the threads that deliver preview frames.
class SharedPictureOptions {
public:
    SharedPictureOptions() = delete;

    static void set(const PictureOptions& options);
    static PictureOptions get();

private:
    static std::mutex mutex;
    static PictureOptions options;
};
