#include "res/Strings.h"

std::string_view findString(int stringId) {
    switch (stringId) {
    case titleStringId:
    case classNameStringId:
        return "kavriWebCam";
    default:
        return {};
    }
}
