#pragma once

#include <string>
#include <string_view>
#include <vector>

// Texts as the store keeps them for display and for search. Report items are bytes as sent; what
// goes into a text column must be valid UTF-8 without NUL, or a PostgreSQL store refuses it.

// The search key of a drive serial: valid UTF-8 (utf8_text), ASCII letters in upper case.
std::string serial_key(std::string_view serial);

// The search key of a taxpayer number (CPF or CNPJ): its letters and digits only, in upper case,
// so "529.982.247-25" and "52998224725" are the same key.
std::string taxpayer_key(std::string_view taxpayer);

// The search key of a customer name: lower case, Portuguese accents dropped, every run of other
// signs one blank, no blank at either end: "  José  da Silva-Souza" gives "jose da silva souza".
std::string name_key(std::string_view name);

// The distinct words of a name key, in order.
std::vector<std::string> key_words(const std::string &key);

// The least text above every text that starts with prefix, for a range search on an index:
// key >= prefix AND key < prefix_end(prefix), in byte order.
std::string prefix_end(const std::string &prefix);
