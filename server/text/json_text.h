#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>

// value as compact JSON text. Each byte of a text that is not part of a well-formed UTF-8
// sequence becomes U+FFFD, so the output is always valid JSON whatever a sender stored.
std::string json_text(const nlohmann::json &value);

// text as a JSON string literal, quotes included, in the same way.
std::string json_string(std::string_view text);
