#pragma once

#include <string>
#include <string_view>

// The text form of a value in the settings file. A value sits between apostrophes on one
// line, and the markup parser hands it over byte for byte, so a few bytes are written as
// character references "&#N;" (N in decimal, no leading zeros) and turned back on reading:
// - every byte below 32 and the byte 127 (line ends and other control bytes, byte 0
//   included),
// - the apostrophe (39), which would end the value,
// - an '&' that starts something the reader would take for a reference ("&#" followed by
//   one to three digits and ';', with a value up to 255), so that such text reads back
//   as it was typed; any other '&' is written as it is.
// Every other byte, quotation marks and '<' included, is written unchanged, so a value
// without apostrophes and control bytes is written exactly as it is.
std::string escapeSettingsValue(std::string_view text);

// The inverse of escapeSettingsValue: every reference of the form above becomes its byte;
// everything else, an '&' that starts no such reference included, is kept as it is.
std::string unescapeSettingsValue(std::string_view text);
