#pragma once

#include "server/store/sql_connection.h"

#include <string>
#include <vector>

// A search of the chairs put to the database: the chairs whose serial starts with the text, or
// with a report whose taxpayer number starts with it, or whose customer's name holds it starting
// a word. Keys are compared byte by byte, so each part is a range on an index.
//
// The chairs come newest first, a page at a time, and two plans serve that: a narrow search
// gathers its few chairs through the indexes and orders them; a broad one walks the chairs newest
// first and stops at a page, checking each on its own indexes. Gathering everything a broad
// search finds, or walking every chair for a narrow one, takes hundreds of milliseconds at
// 100,000 reports.
class ChairSearch {
public:
    explicit ChairSearch(const std::string &text);

    // True when the text holds nothing to look for: every chair is kept.
    bool empty() const;

    // A statement whose one value is the number of chairs and reports the search matches, counted
    // up to cap; its parameters are appended to params.
    std::string count_sql(long long cap, std::vector<SqlValue> &params) const;

    // The condition on the chair c, for a narrow or a broad search; its parameters are appended
    // to params and numbered after those already there.
    std::string condition(bool broad, std::vector<SqlValue> &params) const;

private:
    struct ReportPart {
        std::string serial; // the column naming the chair
        std::string rows;   // "table alias ... WHERE condition"
    };
    std::vector<ReportPart> report_parts(std::vector<SqlValue> &params) const;

    std::string serial_;
    std::string taxpayer_;
    std::string name_;
    std::vector<std::string> words_;
};
