#include "server/form_decoding.h"

#include <QtTest>

Q_DECLARE_METATYPE(std::string)

namespace {

FormItems decoded(std::string_view text) {
    FormItems items;
    const int result = decode_form(text, items);
    return result == 0 ? items : FormItems{{"<failed>", std::to_string(result)}};
}

} // namespace

class TestFormDecoding : public QObject {
    Q_OBJECT

private slots:
    void keeps_order_and_the_leading_empty_item() {
        const FormItems expected{{"", ""},
                                 {"nome", "Jo\xC3\xA3o"},
                                 {"email", "a+b@x.com"},
                                 {"cpf", ""},
                                 {"nome", "again"}};
        QVERIFY(decoded("=&nome=Jo%C3%A3o&email=a%2Bb%40x.com&cpf=&nome=again") == expected);
    }

    void plus_is_a_blank_and_escapes_give_the_delimiters_back() {
        QVERIFY(decoded("a+b=c+d") == (FormItems{{"a b", "c d"}}));
        QVERIFY(decoded("k%3D%26=%2B%25%23%3D%26") == (FormItems{{"k=&", "+%#=&"}}));
        QVERIFY(decoded("x=%c3%a9%C3%A9") == (FormItems{{"x", "\xC3\xA9\xC3\xA9"}}));
    }

    void value_runs_to_the_next_ampersand() {
        QVERIFY(decoded("a=b=c&d") == (FormItems{{"a", "b=c"}, {"d", ""}}));
    }

    void empty_pieces_are_skipped() {
        QVERIFY(decoded("&&a=1&") == (FormItems{{"a", "1"}}));
        QVERIFY(decoded("").empty());
    }

    void bytes_are_kept_whatever_they_are() {
        const FormItems items = decoded("b=%FF%00%80z");
        QCOMPARE(items.size(), std::size_t(1));
        QCOMPARE(items[0].second, std::string("\xFF\0\x80z", 4));
    }

    void bad_escapes_are_refused_without_touching_the_items_data() {
        QTest::addColumn<std::string>("text");
        QTest::newRow("lone percent") << std::string("%");
        QTest::newRow("one digit") << std::string("a=%4");
        QTest::newRow("not hex") << std::string("a=%G1");
        QTest::newRow("in key") << std::string("%zz=1");
        QTest::newRow("late item") << std::string("a=1&b=2&c=%");
        QTest::newRow("escape split by ampersand") << std::string("a=%4&1");
    }
    void bad_escapes_are_refused_without_touching_the_items() {
        QFETCH(std::string, text);
        FormItems items{{"kept", "1"}};
        QCOMPARE(decode_form(text, items), form_bad_escape);
        QVERIFY(items == (FormItems{{"kept", "1"}}));
    }

    void decoding_appends_to_what_is_there() {
        FormItems items{{"first", ""}};
        QCOMPARE(decode_form("a=1", items), 0);
        QVERIFY(items == (FormItems{{"first", ""}, {"a", "1"}}));
    }

    void query_of_a_target() {
        std::string_view query;
        QVERIFY(target_query("/p?a=1&b", query));
        QCOMPARE(std::string(query), std::string("a=1&b"));
        QVERIFY(target_query("/p?", query));
        QVERIFY(query.empty());
        QVERIFY(target_query("/p?a#frag", query));
        QCOMPARE(std::string(query), std::string("a"));
        QVERIFY(target_query("/p?a?b", query));
        QCOMPARE(std::string(query), std::string("a?b"));
        QVERIFY(!target_query("/p", query));
    }
};

QTEST_GUILESS_MAIN(TestFormDecoding)
#include "tst_server_form_decoding.moc"
