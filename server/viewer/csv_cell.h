#pragma once

#include <string>

// raw as one cell of a CSV line: valid UTF-8, quoted when it holds a comma, quote or line break.
// A cell that a spreadsheet would take for a formula starts with an apostrophe, so opening the
// file runs nothing a customer typed.
std::string csv_cell(const std::string &raw);
