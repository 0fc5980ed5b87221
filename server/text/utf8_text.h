#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Length of the well-formed UTF-8 sequence that starts at text[i] (a byte of 0x80 or more), 0
// when there is none.
std::size_t utf8_sequence_length(std::string_view text, std::size_t i);

// text with each byte that is not part of well-formed UTF-8, and each NUL, replaced by U+FFFD:
// text that every database stores as it is.
std::string utf8_text(std::string_view text);
