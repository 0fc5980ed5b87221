#pragma once

#include "server/text/failure.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

// One (key, value) pair of a form, as bytes: the decoded text is kept exactly, whether or not it
// is valid UTF-8.
using FormItem = std::pair<std::string, std::string>;
using FormItems = std::vector<FormItem>;

// Decodes application/x-www-form-urlencoded text in order: '&' separates the items, the first
// '=' of an item separates key from value (an item without one has an empty value), '+' is a
// blank and %XX the byte XX. Empty items between two '&' are skipped. Returns 0 with the items
// appended, or receiver_failed (items untouched) when a '%' is not followed by two hex digits.
int decode_form(std::string_view text, FormItems &items);

// Whether a Content-Type header names a form: "application/x-www-form-urlencoded", alone or
// followed by parameters.
bool form_content(std::string_view content_type);

// The value of the first item called name, or "" when there is none.
std::string form_value(const FormItems &items, std::string_view name);

// The value of the first item called name as a decimal number in [low, high] into value; fallback
// when there is none. False when the item is there but no such number.
bool form_number(const FormItems &items, std::string_view name, long long low, long long high,
                 long long fallback, long long &value);
