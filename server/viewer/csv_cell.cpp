#include "server/viewer/csv_cell.h"

#include "server/text/utf8_text.h"

#include <cstdlib>

namespace {

bool plain_number(const std::string &text) {
    if (text.empty())
        return false;
    char *end = nullptr;
    static_cast<void>(std::strtod(text.c_str(), &end));
    return *end == '\0' && text.find_first_of(" \t\r\n") == std::string::npos;
}

} // namespace

std::string csv_cell(const std::string &raw) {
    std::string text = utf8_text(raw);
    if (!text.empty() && std::string("=+-@\t\r").find(text[0]) != std::string::npos &&
        !plain_number(text))
        text.insert(0, "'");
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"')
            quoted.push_back('"');
        quoted.push_back(c);
    }
    return quoted + "\"";
}
