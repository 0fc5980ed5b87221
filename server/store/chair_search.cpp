#include "server/store/chair_search.h"

#include "server/store/text_keys.h"

namespace {

std::string placeholder(std::vector<SqlValue> &params, std::string value) {
    params.emplace_back(std::move(value));
    return "$" + std::to_string(params.size());
}

// "column >= $n AND column < $m": the keys that start with key.
std::string starting(const std::string &column, const std::string &key,
                     std::vector<SqlValue> &params) {
    const std::string low = placeholder(params, key);
    return column + " >= " + low + " AND " + column + " < " + placeholder(params, prefix_end(key));
}

} // namespace

ChairSearch::ChairSearch(const std::string &text)
    : serial_(serial_key(text)), taxpayer_(taxpayer_key(text)), name_(name_key(text)),
      words_(key_words(name_)) {}

bool ChairSearch::empty() const {
    return serial_.empty() && taxpayer_.empty() && name_.empty();
}

std::vector<ChairSearch::ReportPart>
ChairSearch::report_parts(std::vector<SqlValue> &params) const {
    std::vector<ReportPart> parts;
    if (!taxpayer_.empty())
        parts.push_back(
            {"t.serial", "report_facts t WHERE " + starting("t.taxpayer_key", taxpayer_, params)});
    if (words_.size() == 1) {
        parts.push_back(
            {"w.serial", "customer_words w WHERE " + starting("w.word", name_, params)});
    } else if (!words_.empty()) {
        // The longest word finds the candidates; the whole text must then start a word of the
        // name. A name key holds no sign that LIKE would read as a pattern.
        std::string longest;
        for (const std::string &word : words_)
            longest = word.size() > longest.size() ? word : longest;
        parts.push_back(
            {"w.serial", "customer_words w JOIN report_facts n"
                         " ON n.report_id = w.report_id WHERE " +
                             starting("w.word", longest, params) + " AND (n.customer_key LIKE " +
                             placeholder(params, name_ + "%") + " OR n.customer_key LIKE " +
                             placeholder(params, "% " + name_ + "%") + ")"});
    }
    return parts;
}

std::string ChairSearch::count_sql(long long cap, std::vector<SqlValue> &params) const {
    std::string matches;
    if (!serial_.empty())
        matches = "SELECT 1 FROM chairs s WHERE " + starting("s.serial_key", serial_, params);
    for (const ReportPart &part : report_parts(params))
        matches +=
            (matches.empty() ? "" : " UNION ALL ") + std::string("SELECT 1 FROM ") + part.rows;
    params.emplace_back(cap);
    return "SELECT COUNT(*) FROM (" + matches + " LIMIT $" + std::to_string(params.size()) +
           ") matches";
}

std::string ChairSearch::condition(bool broad, std::vector<SqlValue> &params) const {
    std::vector<std::string> alternatives;
    // Broad: an expression, so that no index on the key draws the plan away from the walk.
    if (!serial_.empty())
        alternatives.push_back(
            "(" + starting(broad ? "(c.serial_key || '')" : "c.serial_key", serial_, params) + ")");
    std::string gathered;
    for (const ReportPart &part : report_parts(params)) {
        if (broad)
            alternatives.push_back("EXISTS (SELECT 1 FROM " + part.rows + " AND " + part.serial +
                                   " = c.serial)");
        else
            gathered += (gathered.empty() ? "SELECT " : " UNION SELECT ") + part.serial + " FROM " +
                        part.rows;
    }
    if (!gathered.empty())
        alternatives.push_back("c.serial IN (" + gathered + ")");
    std::string condition;
    for (const std::string &alternative : alternatives)
        condition += (condition.empty() ? "" : " OR ") + alternative;
    return condition;
}
