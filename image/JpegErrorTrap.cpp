#include "image/JpegErrorTrap.h"

#include <cstdlib>

JpegErrorTrap::JpegErrorTrap(Warnings warnings, Messages messages)
    : standard_{}
    , jump_{} {
    jpeg_std_error(&standard_);
    standard_.error_exit = onError;
    if (warnings == Warnings::Fail) {
        standard_.emit_message = onMessage;
    }
    standard_.output_message = messages == Messages::Print ? printMessage : [](j_common_ptr) {};
}

JpegErrorTrap& JpegErrorTrap::of(j_common_ptr object) {
    return *reinterpret_cast<JpegErrorTrap*>(object->err);
}

void JpegErrorTrap::onError(j_common_ptr object) {
    JpegErrorTrap& trap = of(object);
    (*object->err->output_message)(object);
    if (!trap.armed_) {
        std::abort(); // a library call outside run(): a bug of the caller
    }
    std::longjmp(trap.jump_, 1);
}

// Level -1 is a warning; higher levels are trace messages, which stay off.
void JpegErrorTrap::onMessage(j_common_ptr object, int level) {
    if (level < 0) {
        onError(object);
    }
}

void JpegErrorTrap::printMessage(j_common_ptr object) {
    char text[JMSG_LENGTH_MAX];
    (*object->err->format_message)(object, text);
    std::fprintf(stderr, "jpeg: %s\n", text);
}
