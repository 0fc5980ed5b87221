#include "server/store/text_keys.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

namespace {

// Length of the well-formed UTF-8 sequence at text[i], 0 when there is none.
std::size_t sequence_length(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(text[k]); };
    const std::uint8_t lead = byte(i);
    if (lead >= 0x01 && lead < 0x80)
        return 1;
    std::size_t length = 0;
    std::uint8_t low = 0x80;
    std::uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (i + length > text.size() || byte(i + 1) < low || byte(i + 1) > high)
        return 0;
    for (std::size_t k = 2; k < length; ++k) {
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF)
            return 0;
    }
    return length;
}

// The plain letter of a Latin-1 letter U+00C0..U+00FF (second byte after 0xC3), lower case;
// 0 for the signs of that block.
char plain_letter(std::uint8_t second) {
    static const char letters[] = "aaaaaaaceeeeiiii"   // C0-CF
                                  "dnooooo\0ouuuuyts"  // D0-DF
                                  "aaaaaaaceeeeiiii"   // E0-EF
                                  "dnooooo\0ouuuuyty"; // F0-FF
    return second >= 0x80 && second <= 0xBF ? letters[second - 0x80] : '\0';
}

} // namespace

std::string storable_text(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t length = sequence_length(text, i);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else {
            out.append(text.substr(i, length));
            i += length;
        }
    }
    return out;
}

std::string serial_key(std::string_view serial) {
    std::string key = storable_text(serial);
    std::transform(key.begin(), key.end(), key.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return key;
}

std::string taxpayer_key(std::string_view taxpayer) {
    std::string key;
    for (const char c : taxpayer) {
        if (std::isalnum(static_cast<unsigned char>(c)) != 0)
            key.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    }
    return key;
}

std::string name_key(std::string_view name) {
    const std::string text = storable_text(name);
    std::string key;
    const auto blank = [&key] {
        if (!key.empty() && key.back() != ' ')
            key.push_back(' ');
    };
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t length = sequence_length(text, i);
        if (c < 0x80) {
            if (std::isalnum(c) != 0)
                key.push_back(static_cast<char>(std::tolower(c)));
            else
                blank();
        } else if (c == 0xC3 && length == 2) {
            const char letter = plain_letter(static_cast<std::uint8_t>(text[i + 1]));
            if (letter != '\0')
                key.push_back(letter);
            else
                blank();
        } else if (c == 0xC2) {
            blank(); // the Latin-1 signs: no-break space, ª, º, ...
        } else {
            key.append(text, i, length);
        }
        i += length;
    }
    if (!key.empty() && key.back() == ' ')
        key.pop_back();
    return key;
}

std::vector<std::string> key_words(const std::string &key) {
    std::vector<std::string> words;
    std::size_t start = 0;
    while (start < key.size()) {
        std::size_t end = key.find(' ', start);
        if (end == std::string::npos)
            end = key.size();
        std::string word = key.substr(start, end - start);
        if (!word.empty() && std::find(words.begin(), words.end(), word) == words.end())
            words.push_back(std::move(word));
        start = end + 1;
    }
    return words;
}

std::string prefix_end(const std::string &prefix) {
    return prefix + "\xF4\x8F\xBF\xBF"; // U+10FFFF, the highest character
}
