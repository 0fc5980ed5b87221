#include "server/json_text.h"
#include "server/report_listing.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

Q_DECLARE_METATYPE(std::string)

namespace {

// The string as a JSON reader sees it; a null QString when the text is not valid JSON.
QString read_back(const std::string &literal) {
    QJsonParseError error{};
    const QJsonDocument doc =
        QJsonDocument::fromJson(QByteArray::fromStdString("[" + literal + "]"), &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray())
        return {};
    return doc.array().at(0).toString();
}

} // namespace

class TestJsonText : public QObject {
    Q_OBJECT

private slots:
    void every_ascii_character_reads_back() {
        std::string all;
        for (int c = 0; c < 0x80; ++c)
            all.push_back(static_cast<char>(c));
        const std::string literal = json_string(all);
        QCOMPARE(read_back(literal), QString::fromLatin1(all.data(), int(all.size())));
        for (char c : literal.substr(1, literal.size() - 2))
            QVERIFY2(static_cast<unsigned char>(c) >= 0x20, "raw control character in output");
    }

    void escapes_are_the_short_forms_where_json_has_them() {
        QCOMPARE(json_string("a\"b\\c\n\t\r\b\f"), std::string("\"a\\\"b\\\\c\\n\\t\\r\\b\\f\""));
        QCOMPARE(json_string(std::string("\0\x01\x1f", 3)),
                 std::string("\"\\u0000\\u0001\\u001f\""));
        QCOMPARE(json_string("/\x7f"), std::string("\"/\x7f\""));
    }

    void utf8_passes_unchanged() {
        const std::string text = "Jo\xC3\xA3o \xE2\x82\xAC \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF";
        QCOMPARE(json_string(text), "\"" + text + "\"");
        QCOMPARE(read_back(json_string(text)), QString::fromUtf8(text.data(), int(text.size())));
    }

    void malformed_utf8_data() {
        QTest::addColumn<std::string>("bytes");
        QTest::addColumn<std::string>("expected");
        QTest::newRow("stray byte") << std::string("a\xFF") << std::string(R"("a\ufffd")");
        QTest::newRow("lone continuation") << std::string("\x80") << std::string(R"("\ufffd")");
        QTest::newRow("truncated") << std::string("\xC3") << std::string(R"("\ufffd")");
        QTest::newRow("truncated three")
            << std::string("\xE2\x82z") << std::string(R"("\ufffd\ufffdz")");
        QTest::newRow("overlong") << std::string("\xC0\xAF") << std::string(R"("\ufffd\ufffd")");
        QTest::newRow("overlong three")
            << std::string("\xE0\x80\xAF") << std::string(R"("\ufffd\ufffd\ufffd")");
        QTest::newRow("surrogate")
            << std::string("\xED\xA0\x80") << std::string(R"("\ufffd\ufffd\ufffd")");
        QTest::newRow("above U+10FFFF")
            << std::string("\xF4\x90\x80\x80") << std::string(R"("\ufffd\ufffd\ufffd\ufffd")");
    }
    void malformed_utf8() {
        QFETCH(std::string, bytes);
        QFETCH(std::string, expected);
        QCOMPARE(json_string(bytes), expected);
        QVERIFY(!read_back(json_string(bytes)).isNull());
    }

    void listing_is_valid_json_in_the_given_order() {
        StoredReport newer;
        newer.id = 7;
        newer.received = "2024-05-01T12:00:00.000Z";
        newer.client = "127.0.0.1";
        newer.items = {{"", ""}, {"nome", "A \"B\"\n\xC3\xA9"}};
        StoredReport older;
        older.id = 3;
        older.client = "::1";
        const std::string json = reports_json({newer, older});

        const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(json));
        QVERIFY(doc.isArray());
        const QJsonArray reports = doc.array();
        QCOMPARE(reports.size(), 2);
        const QJsonObject first = reports.at(0).toObject();
        QCOMPARE(first.value("id").toInt(), 7);
        QCOMPARE(first.value("received").toString(), QString("2024-05-01T12:00:00.000Z"));
        QCOMPARE(first.value("client").toString(), QString("127.0.0.1"));
        const QJsonArray items = first.value("items").toArray();
        QCOMPARE(items.size(), 2);
        QCOMPARE(items.at(0).toArray(), (QJsonArray{"", ""}));
        QCOMPARE(items.at(1).toArray(), (QJsonArray{"nome", QString::fromUtf8("A \"B\"\né")}));
        QCOMPARE(reports.at(1).toObject().value("id").toInt(), 3);
        QCOMPARE(reports.at(1).toObject().value("items").toArray().size(), 0);
        QCOMPARE(reports_json({}), std::string("[]"));
    }
};

QTEST_GUILESS_MAIN(TestJsonText)
#include "tst_server_json_text.moc"
