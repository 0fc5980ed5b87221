// The report receiver's reading of a request and its JSON output, on arbitrary bytes.
#include "fuzz_check.h"
#include "report/report_request.h"
#include "server/report/form_decoding.h"
#include "server/report/json_text.h"
#include "server/report/utf8_text.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUrl>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

// Every byte but the unreserved ones escaped; a blank as '+' or %20, escapes in either case.
std::string encode_part(const std::string &text, bool plus_for_blank, bool lower_hex) {
    const char *hex = lower_hex ? "0123456789abcdef" : "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<std::uint8_t>(c);
        const bool unreserved = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                                (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' ||
                                c == '~';
        if (unreserved) {
            out.push_back(c);
        } else if (c == ' ' && plus_for_blank) {
            out.push_back('+');
        } else {
            out.push_back('%');
            out.push_back(hex[byte >> 4]);
            out.push_back(hex[byte & 0xF]);
        }
    }
    return out;
}

std::string encode_form(const FormItems &items, bool plus_for_blank, bool lower_hex) {
    std::string out;
    for (const FormItem &item : items) {
        if (!out.empty()) {
            out.push_back('&');
        }
        out += encode_part(item.first, plus_for_blank, lower_hex) + '=' +
               encode_part(item.second, plus_for_blank, lower_hex);
    }
    return out;
}

void check_round_trip(const FormItems &items, bool plus_for_blank, bool lower_hex) {
    const std::string encoded = encode_form(items, plus_for_blank, lower_hex);
    FormItems decoded;
    FUZZ_CHECK(decode_form(encoded, decoded) == 0);
    FUZZ_CHECK(decoded == items);
    // Empty pieces around and between the items change nothing.
    FormItems padded;
    FUZZ_CHECK(decode_form("&&" + encoded + "&", padded) == 0);
    FUZZ_CHECK(padded == items);
}

void check_decoding(std::string_view text, bool plus_for_blank, bool lower_hex) {
    const FormItem sentinel{"before", "untouched"};
    FormItems items{sentinel};
    const int result = decode_form(text, items);
    FUZZ_CHECK(result == 0 || result == form_bad_escape);
    FUZZ_CHECK(!items.empty() && items.front() == sentinel);
    if (result != 0) {
        FUZZ_CHECK(items.size() == 1);
        FUZZ_CHECK(text.find('%') != std::string_view::npos);
        return;
    }
    items.erase(items.begin());
    // Each item comes from a piece between ampersands.
    std::size_t pieces = 1;
    for (const char c : text) {
        pieces += c == '&' ? 1 : 0;
    }
    FUZZ_CHECK(items.size() <= pieces);
    check_round_trip(items, plus_for_blank, lower_hex);
}

void check_query(std::string_view target) {
    std::string_view query = "unset";
    const std::size_t mark = target.find('?');
    if (!target_query(target, query)) {
        FUZZ_CHECK(mark == std::string_view::npos && query == "unset");
        return;
    }
    FUZZ_CHECK(mark != std::string_view::npos);
    FUZZ_CHECK(query.data() == target.data() + mark + 1);
    FUZZ_CHECK(query.find('#') == std::string_view::npos);
    const std::size_t end = mark + 1 + query.size();
    FUZZ_CHECK(end == target.size() || target[end] == '#');
}

FormItems as_bytes(const ReportItems &items) {
    FormItems bytes;
    for (const ReportItem &item : items) {
        bytes.emplace_back(item.first.toUtf8().toStdString(), item.second.toUtf8().toStdString());
    }
    return bytes;
}

// The tool's own report encoding, read back by the receiver: from the query alone, from the
// request target, and from the body, which is the whole URL.
void check_report_encoding(const FormItems &items) {
    ReportItems report{{QString(), QString()}};
    for (const FormItem &item : items) {
        report.append(
            {QString::fromUtf8(item.first.data(), static_cast<int>(item.first.size())),
             QString::fromUtf8(item.second.data(), static_cast<int>(item.second.size()))});
    }
    const FormItems expected = as_bytes(report);

    FormItems from_query;
    FUZZ_CHECK(decode_form(encode_report_query(report).toStdString(), from_query) == 0);
    FUZZ_CHECK(from_query == expected);

    const std::string body = report_url(report).toEncoded(QUrl::RemoveFragment).toStdString();
    std::string_view query;
    FUZZ_CHECK(target_query(body, query));
    FormItems from_target;
    FUZZ_CHECK(decode_form(query, from_target) == 0);
    FUZZ_CHECK(from_target == expected);

    FormItems from_body;
    FUZZ_CHECK(decode_form(body, from_body) == 0);
    FUZZ_CHECK(from_body.size() == expected.size());
    FUZZ_CHECK(from_body.front() == FormItem(body.substr(0, body.find('?') + 1), ""));
    FUZZ_CHECK(std::equal(from_body.begin() + 1, from_body.end(), expected.begin() + 1));
}

// Length of the well-formed UTF-8 sequence at text[i], 0 when there is none (RFC 3629).
std::size_t sequence_at(std::string_view text, std::size_t i) {
    const auto at = [&](std::size_t k) { return static_cast<std::uint8_t>(text[k]); };
    const std::uint8_t lead = at(i);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    std::uint32_t code = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        code = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        code = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        code = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > text.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        if ((at(i + k) & 0xC0) != 0x80) {
            return 0;
        }
        code = code << 6 | (at(i + k) & 0x3F);
    }
    const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return 0;
    }
    return length;
}

bool valid_utf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = sequence_at(text, i);
        if (length == 0) {
            return false;
        }
        i += length;
    }
    return true;
}

void append_utf8(std::string &out, std::uint32_t code) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | code >> 6));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | code >> 12));
        out.push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

// Reads a JSON string literal back into bytes; false when it is not one.
bool unescape(std::string_view literal, std::string &out) {
    if (literal.size() < 2 || literal.front() != '"' || literal.back() != '"') {
        return false;
    }
    const std::string_view body = literal.substr(1, literal.size() - 2);
    for (std::size_t i = 0; i < body.size(); ++i) {
        const char c = body[i];
        if (static_cast<std::uint8_t>(c) < 0x20 || c == '"') {
            return false;
        }
        if (c != '\\') {
            out.push_back(c);
            continue;
        }
        if (++i == body.size()) {
            return false;
        }
        const std::string_view simple = "\"\\/bfnrt";
        const std::string_view meaning = "\"\\/\b\f\n\r\t";
        const std::size_t which = simple.find(body[i]);
        if (which != std::string_view::npos) {
            out.push_back(meaning[which]);
            continue;
        }
        if (body[i] != 'u' || i + 4 >= body.size()) {
            return false;
        }
        const std::string hex(body.substr(i + 1, 4));
        if (hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
            return false;
        }
        const auto code = static_cast<std::uint32_t>(std::stoul(hex, nullptr, 16));
        // The writer has no reason to escape a surrogate half: it only escapes below 0x20 and
        // the replacement character.
        if (code >= 0xD800 && code <= 0xDFFF) {
            return false;
        }
        append_utf8(out, code);
        i += 4;
    }
    return true;
}

void check_json(std::string_view text) {
    const std::string literal = json_string(text);
    FUZZ_CHECK(valid_utf8(literal));
    std::string read_back;
    FUZZ_CHECK(unescape(literal, read_back));
    FUZZ_CHECK(valid_utf8(read_back));
    if (valid_utf8(text)) {
        FUZZ_CHECK(read_back == text);
    }
    // ASCII is never part of a broken sequence, so all of it comes through.
    std::size_t ascii_in = 0;
    std::size_t ascii_out = 0;
    for (const char c : text) {
        ascii_in += static_cast<std::uint8_t>(c) < 0x80 ? 1 : 0;
    }
    for (const char c : read_back) {
        ascii_out += static_cast<std::uint8_t>(c) < 0x80 ? 1 : 0;
    }
    FUZZ_CHECK(ascii_in == ascii_out);

    // What the receiver stores is text every database holds, and lists as the raw bytes would.
    const std::string stored = utf8_text(text);
    FUZZ_CHECK(valid_utf8(stored) && stored.find('\0') == std::string::npos);
    std::string listed;
    FUZZ_CHECK(unescape(json_string(stored), listed));
    FUZZ_CHECK(text.find('\0') != std::string_view::npos || listed == read_back);

    // A JSON reader of its own agrees.
    const QByteArray document = "[" + QByteArray::fromStdString(literal) + "]";
    QJsonParseError error{};
    const QJsonDocument parsed = QJsonDocument::fromJson(document, &error);
    FUZZ_CHECK(error.error == QJsonParseError::NoError && parsed.isArray());
    FUZZ_CHECK(parsed.array().at(0).toString().toUtf8() ==
               QByteArray(read_back.data(), static_cast<int>(read_back.size())));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const bool plus_for_blank = input.ConsumeBool();
    const bool lower_hex = input.ConsumeBool();
    const std::string text = input.ConsumeRemainingBytesAsString();
    check_decoding(text, plus_for_blank, lower_hex);
    check_query(text);
    check_json(text);

    // The text read as a list of items: 0x01 ends an item, 0x02 ends its key.
    FormItems items;
    FormItem item;
    bool in_value = false;
    for (const char c : text) {
        if (c == '\x01') {
            items.push_back(item);
            item = FormItem();
            in_value = false;
        } else if (c == '\x02' && !in_value) {
            in_value = true;
        } else {
            (in_value ? item.second : item.first).push_back(c);
        }
    }
    check_round_trip(items, plus_for_blank, lower_hex);
    check_report_encoding(items);
    return 0;
}
