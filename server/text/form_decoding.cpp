#include "server/text/form_decoding.h"

#include <cstdlib>

namespace {

int hex_value(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool decode_part(std::string_view part, std::string &out) {
    out.clear();
    out.reserve(part.size());
    for (std::size_t i = 0; i < part.size(); ++i) {
        const char c = part[i];
        if (c == '+') {
            out.push_back(' ');
        } else if (c != '%') {
            out.push_back(c);
        } else {
            const int high = i + 1 < part.size() ? hex_value(part[i + 1]) : -1;
            const int low = i + 2 < part.size() ? hex_value(part[i + 2]) : -1;
            if (high < 0 || low < 0)
                return false;
            out.push_back(static_cast<char>(high * 16 + low));
            i += 2;
        }
    }
    return true;
}

} // namespace

int decode_form(std::string_view text, FormItems &items) {
    FormItems decoded;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('&', start);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view piece = text.substr(start, end - start);
        start = end + 1;
        if (piece.empty())
            continue;
        const std::size_t equals = piece.find('=');
        FormItem item;
        if (!decode_part(piece.substr(0, equals), item.first))
            return receiver_failed;
        if (equals != std::string_view::npos && !decode_part(piece.substr(equals + 1), item.second))
            return receiver_failed;
        decoded.push_back(std::move(item));
    }
    items.insert(items.end(), std::make_move_iterator(decoded.begin()),
                 std::make_move_iterator(decoded.end()));
    return 0;
}

bool form_content(std::string_view content_type) {
    constexpr std::string_view form = "application/x-www-form-urlencoded";
    return content_type.substr(0, form.size()) == form &&
           (content_type.size() == form.size() || content_type[form.size()] == ';');
}

std::string form_value(const FormItems &items, std::string_view name) {
    for (const auto &[key, value] : items) {
        if (key == name)
            return value;
    }
    return std::string();
}

bool form_number(const FormItems &items, std::string_view name, long long low, long long high,
                 long long fallback, long long &value) {
    value = fallback;
    for (const auto &[key, text] : items) {
        if (key != name)
            continue;
        char *end = nullptr;
        value = std::strtoll(text.c_str(), &end, 10);
        return !text.empty() && *end == '\0' && value >= low && value <= high;
    }
    return true;
}
