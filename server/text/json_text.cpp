#include "server/text/json_text.h"

std::string json_text(const nlohmann::json &value) {
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string json_string(std::string_view text) {
    return json_text(std::string(text));
}
