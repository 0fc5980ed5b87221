#include "server/store/text_keys.h"

#include "server/text/utf8_text.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

namespace {

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

std::string serial_key(std::string_view serial) {
    std::string key = utf8_text(serial);
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
    const std::string text = utf8_text(name);
    std::string key;
    const auto blank = [&key] {
        if (!key.empty() && key.back() != ' ')
            key.push_back(' ');
    };
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t length = c < 0x80 ? 1 : utf8_sequence_length(text, i);
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
