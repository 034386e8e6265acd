#include "image/SharedPictureOptions.h"

std::mutex SharedPictureOptions::mutex;
PictureOptions SharedPictureOptions::options;

void SharedPictureOptions::set(const PictureOptions& value) {
    std::lock_guard lock(mutex);
    options = value;
}

PictureOptions SharedPictureOptions::get() {
    std::lock_guard lock(mutex);
    return options;
}
