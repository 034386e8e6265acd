#pragma once

#include <string_view>

// The one page the live view serves at /: the stream, the newest grab and the health of
// the parts, refreshed every few seconds; it loads nothing from elsewhere.
std::string_view livePage();
