#include "ui/veltora_motor.h"
#include "ui/window_texts.h"

#include <QtTest>
#include <QtWidgets>

#include <set>

namespace {

// Pixels left over once text is drawn in the rectangle its widget's style gives it.
int room_left(QWidget *widget, const QString &text) {
    const QStyle *style = widget->style();
    const int need = widget->fontMetrics().horizontalAdvance(text);
    if (auto *edit = qobject_cast<QLineEdit *>(widget)) {
        QStyleOptionFrame option;
        option.initFrom(edit);
        option.lineWidth = style->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
        // Past 2 px either side and 1 px for the cursor, the text scrolls and loses its start.
        const QRect contents = style->subElementRect(QStyle::SE_LineEditContents, &option, edit);
        return (contents - edit->textMargins()).width() - 5 - need;
    }
    if (auto *combo = qobject_cast<QComboBox *>(widget)) {
        QStyleOptionComboBox option;
        option.initFrom(combo);
        // The current row is drawn 1 px inside the edit field either side.
        const QRect field = style->subControlRect(QStyle::CC_ComboBox, &option,
                                                  QStyle::SC_ComboBoxEditField, combo);
        return field.width() - 2 - need;
    }
    // The style's room for a group box's title with its indent.
    if (auto *box = qobject_cast<QGroupBox *>(widget))
        return box->width() - box->minimumSizeHint().width();
    if (qobject_cast<QAbstractButton *>(widget) == nullptr)
        return widget->contentsRect().width() - need; // a label; none has a margin of its own
    QStyleOptionButton option;
    option.initFrom(widget);
    const bool radio = qobject_cast<QRadioButton *>(widget) != nullptr;
    const auto element = radio ? QStyle::SE_RadioButtonContents : QStyle::SE_PushButtonContents;
    return style->subElementRect(element, &option, widget).width() - need;
}

// Each widget with every text it shows: at start, in both customer modes, with the chair read.
std::set<std::pair<QWidget *, QString>> texts_of(Veltora_Motor &window) {
    std::set<std::pair<QWidget *, QString>> shown;
    const auto add = [&window, &shown](const char *name, const QString &text) {
        shown.emplace(window.findChild<QWidget *>(QString::fromLatin1(name)), text);
    };
    for (const char *radio : {"radio_company", "radio_user"}) {
        window.findChild<QRadioButton *>(QString::fromLatin1(radio))->click();
        for (auto *label : window.findChildren<QLabel *>()) // a message box's text wraps
            if (!label->wordWrap())
                shown.emplace(label, QTextDocumentFragment::fromHtml(label->text()).toPlainText());
        for (auto *button : window.findChildren<QAbstractButton *>())
            shown.emplace(button, button->text());
        for (auto *box : window.findChildren<QGroupBox *>())
            shown.emplace(box, box->title());
    }
    for (const char *name : {"user_phone", "user_cpf", "user_cep", "user_cnpj"})
        for (char digit = '0'; digit <= '9'; ++digit) {
            auto *edit = window.findChild<QLineEdit *>(QString::fromLatin1(name));
            edit->setText(QString(14, QLatin1Char(digit)));
            shown.emplace(edit, edit->text());
        }
    add("user_cnpj", QString::fromUtf8(window_texts::alphanumeric_cnpj));
    add("info_serial", QString::fromUtf8(window_texts::widest_serial));
    add("info_serial", QString::fromUtf8(window_texts::invalid_serial));
    add("info_versions", QString::fromUtf8(window_texts::widest_versions));
    auto *motors = window.findChild<QComboBox *>(QStringLiteral("combo_motor"));
    for (int row = 0; row < motors->count(); ++row)
        for (const char *name : {"combo_motor", "info_motor"})
            add(name, motors->itemText(row));
    for (const char *text : window_texts::progress)
        add("progress_label", QString::fromUtf8(text));
    return shown;
}

} // namespace

// Every text whole at the usual Linux desktops' fonts; the dpi and scale come from CTest.
class TestWindowTexts : public QObject {
    Q_OBJECT

private slots:
    void every_text_fits_data() {
        QTest::addColumn<QString>("family");
        for (const char *family : {"DejaVu Sans", "Noto Sans", "Liberation Sans"})
            QTest::newRow(family) << QString::fromLatin1(family);
    }

    void every_text_fits() {
        QFETCH(QString, family);
        QApplication::setFont(QFont(family, 10));
        // fontconfig quietly hands over another family when the one asked for is missing.
        QCOMPARE(QFontInfo(QApplication::font()).family(), family);
        Veltora_Motor window;
        window.show();
        QCOMPARE(window.grab().size(),
                 QSize(640, 260) * qEnvironmentVariable("QT_SCALE_FACTOR", "1").toDouble());
        // No one resizes it, either way; beside its label the bar shows no percentage.
        for (const QSize asked : {QSize(800, 400), QSize(320, 130)}) {
            window.resize(asked);
            QCOMPARE(window.size(), QSize(640, 260));
        }
        QVERIFY(!window.findChild<QProgressBar *>(QStringLiteral("progress_bar"))->isTextVisible());
        for (auto *box : window.findChildren<QMessageBox *>()) { // laid out for their texts
            box->show();
            for (auto *label : box->findChildren<QLabel *>())
                QVERIFY(label->heightForWidth(label->width()) <= label->height());
        }
        std::set<std::pair<int, QString>> rooms; // pixels left, tightest first
        for (const auto &[widget, text] : texts_of(window))
            rooms.emplace(room_left(widget, text), widget->objectName() + " \"" + text + '"');
        const auto &[room, what] = *rooms.begin();
        qInfo("%.1f pt at %d dpi; tightest: %s: %d px", window.font().pointSizeF(),
              window.logicalDpiY(), qPrintable(what), room);
        QVERIFY2(room >= 0, qPrintable(what));
    }
};

QTEST_MAIN(TestWindowTexts)
#include "test_window_texts.moc"
