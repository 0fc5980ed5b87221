#include "server/form_decoding.h"
#include "server/json_text.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

// The receiver's two text codecs: form decoding in, JSON out.
class TestServerTexts : public QObject {
    Q_OBJECT

private slots:
    // Each text is decoded after an item already there, which must stay first.
    void decodes_in_order_after_what_is_there() {
        const std::pair<std::string_view, FormItems> cases[] = {
            {"a+b=c+d", {{"a b", "c d"}}},
            {"k%3D%26=%2B%25%23%3D%26", {{"k=&", "+%#=&"}}},
            {"x=%c3%a9%C3%A9", {{"x", "\xC3\xA9\xC3\xA9"}}},
            {"a=b=c&d", {{"a", "b=c"}, {"d", ""}}},
            {"&&a=1&", {{"a", "1"}}},
            {"", {}},
            {"b=%FF%00%80z", {{"b", std::string("\xFF\0\x80z", 4)}}}};
        for (const auto &[text, expected] : cases) {
            FormItems items{{"first", ""}};
            QCOMPARE(decode_form(text, items), 0);
            FormItems whole{{"first", ""}};
            whole.insert(whole.end(), expected.begin(), expected.end());
            QVERIFY2(items == whole, text.data());
        }
    }

    void bad_escapes_are_refused_without_touching_the_items() {
        for (const char *text : {"%", "a=%4", "a=%G1", "%zz=1", "a=1&b=2&c=%", "a=%4&1"}) {
            FormItems items{{"kept", "1"}};
            QCOMPARE(decode_form(text, items), form_bad_escape);
            QVERIFY2(items == (FormItems{{"kept", "1"}}), text);
        }
    }

    void query_of_a_target() {
        const std::pair<const char *, const char *> cases[] = {
            {"/p?a=1&b", "a=1&b"}, {"/p?", ""}, {"/p?a#frag", "a"}, {"/p?a?b", "a?b"}};
        for (const auto &[target, expected] : cases) {
            std::string_view query;
            QVERIFY(target_query(target, query));
            QCOMPARE(std::string(query), std::string(expected));
        }
        std::string_view query;
        QVERIFY(!target_query("/p", query));
    }

    void ascii_reads_back_with_short_escapes_where_json_has_them() {
        std::string all;
        for (int c = 0; c < 0x80; ++c)
            all.push_back(static_cast<char>(c));
        const std::string literal = json_string(all);
        const QByteArray array = QByteArray::fromStdString("[" + literal + "]");
        QCOMPARE(QJsonDocument::fromJson(array).array().at(0).toString(),
                 QString::fromLatin1(all.data(), int(all.size())));
        for (char c : literal.substr(1, literal.size() - 2))
            QVERIFY2(static_cast<unsigned char>(c) >= 0x20, "raw control character in output");
        QCOMPARE(json_string("a\"b\\c\n\t\r\b\f"), std::string("\"a\\\"b\\\\c\\n\\t\\r\\b\\f\""));
        QCOMPARE(json_string(std::string("\0\x01\x1f", 3)),
                 std::string("\"\\u0000\\u0001\\u001f\""));
        QCOMPARE(json_string("/\x7f"), std::string("\"/\x7f\""));
    }

    void utf8_passes_and_malformed_bytes_become_replacements() {
        const std::string text = "Jo\xC3\xA3o \xE2\x82\xAC \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF";
        QCOMPARE(json_string(text), "\"" + text + "\"");
        const std::pair<const char *, const char *> cases[] = {
            {"a\xFF", R"("a\ufffd")"},
            {"\x80", R"("\ufffd")"},
            {"\xC3", R"("\ufffd")"},
            {"\xE2\x82z", R"("\ufffd\ufffdz")"},
            {"\xC0\xAF", R"("\ufffd\ufffd")"},
            {"\xE0\x80\xAF", R"("\ufffd\ufffd\ufffd")"},
            {"\xED\xA0\x80", R"("\ufffd\ufffd\ufffd")"},
            {"\xF4\x90\x80\x80", R"("\ufffd\ufffd\ufffd\ufffd")"}};
        for (const auto &[bytes, expected] : cases)
            QCOMPARE(json_string(bytes), std::string(expected));
    }
};

QTEST_GUILESS_MAIN(TestServerTexts)
#include "tst_server_texts.moc"
