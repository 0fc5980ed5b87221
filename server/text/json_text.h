#pragma once

#include <string>
#include <string_view>

// text as a JSON string literal, quotes included. The quote, the backslash and every control
// character below 0x20 are escaped; well-formed UTF-8 passes unchanged; each byte that is not
// part of a well-formed UTF-8 sequence becomes \ufffd, so the output is always valid JSON.
std::string json_string(std::string_view text);
