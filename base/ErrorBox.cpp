#include "base/ErrorBox.h"

#include <iostream>
#include <utility>

namespace {

void writeToStandardError(const std::string& caption, const std::string& text) {
    std::cerr << caption << ": " << text << std::endl;
}

ErrorBoxSink& currentSink() {
    static ErrorBoxSink sink = writeToStandardError;
    return sink;
}

} // namespace

ErrorBoxSink setErrorBoxSink(ErrorBoxSink sink) {
    if (!sink) {
        sink = writeToStandardError;
    }
    return std::exchange(currentSink(), std::move(sink));
}

void showErrorBox(std::string text) {
    currentSink()(errorBoxCaption, text);
}
