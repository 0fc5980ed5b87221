#pragma once

#include <nlohmann/json.hpp>

#include <string>

// value as compact JSON text, its members in the order they were set. Each byte of a text that is
// not part of a well-formed UTF-8 sequence becomes U+FFFD, so the output is always valid JSON
// whatever a sender stored. A plain nlohmann::json converts to it.
std::string json_text(const nlohmann::ordered_json &value);
