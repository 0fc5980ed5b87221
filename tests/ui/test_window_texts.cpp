#include "ui/veltora_motor.h"
#include "ui/window_texts.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOption>
#include <QTextDocumentFragment>
#include <QtTest>

namespace {

// Pixels left over once text is drawn in the rectangle widget's style gives its text.
int room_left(QWidget *widget, const QString &text) {
    const QStyle *style = widget->style();
    const int need = widget->fontMetrics().horizontalAdvance(text);
    if (auto *label = qobject_cast<QLabel *>(widget))
        return label->contentsRect().width() - 2 * label->margin() - need;
    if (auto *edit = qobject_cast<QLineEdit *>(widget)) {
        QStyleOptionFrame option;
        option.initFrom(edit);
        option.lineWidth = style->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
        const QMargins margins = edit->textMargins();
        // The text scrolls, cutting its start, once it and the cursor outgrow the contents less
        // the line edit's 2 px either side.
        return style->subElementRect(QStyle::SE_LineEditContents, &option, edit).width() -
               margins.left() - margins.right() - 4 - (need + 1);
    }
    if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = text;
        const bool radio = qobject_cast<QRadioButton *>(widget) != nullptr;
        return style
                   ->subElementRect(radio ? QStyle::SE_RadioButtonContents
                                          : QStyle::SE_PushButtonContents,
                                    &option, button)
                   .width() -
               need;
    }
    if (auto *combo = qobject_cast<QComboBox *>(widget)) {
        QStyleOptionComboBox option;
        option.initFrom(combo);
        option.currentText = text;
        // The current row is drawn 1 px inside the edit field on either side.
        return style
                   ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField,
                                    combo)
                   .width() -
               2 - need;
    }
    auto *box = qobject_cast<QGroupBox *>(widget);
    QStyleOptionGroupBox option;
    option.initFrom(box);
    option.text = text;
    option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
    option.textAlignment = box->alignment();
    const QRect title =
        style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box);
    return box->width() - title.left() - need;
}

QString shown_text(QWidget *widget) {
    if (auto *label = qobject_cast<QLabel *>(widget))
        return QTextDocumentFragment::fromHtml(label->text()).toPlainText();
    if (auto *button = qobject_cast<QAbstractButton *>(widget))
        return button->text();
    if (auto *box = qobject_cast<QGroupBox *>(widget))
        return box->title();
    return {};
}

} // namespace

// Every text of the window shown whole, at the interface fonts of the usual Linux desktops. The
// dpi and the screen's scale come from the CTest entry.
class TestWindowTexts : public QObject {
    Q_OBJECT

    QFont platform_font;

private slots:
    void initTestCase() { platform_font = QApplication::font(); }

    void every_text_fits_data() {
        QTest::addColumn<QString>("family");
        QTest::newRow("platform's own") << QString();
        for (const char *family : {"DejaVu Sans", "Noto Sans", "Liberation Sans"})
            QTest::newRow(family) << QString::fromLatin1(family);
    }

    void every_text_fits() {
        QFETCH(QString, family);
        QApplication::setFont(family.isEmpty() ? platform_font : QFont(family, 10));
        // fontconfig quietly hands over another family when the one asked for is missing.
        if (!family.isEmpty())
            QCOMPARE(QFontInfo(QApplication::font()).family(), family);
        Veltora_Motor window;
        window.show();
        const qreal scale = qEnvironmentVariable("QT_SCALE_FACTOR", "1").toDouble();
        QCOMPARE(window.grab().size(), QSize(640, 260) * scale);

        // Every widget with each text it shows, once.
        std::vector<std::pair<QWidget *, QString>> shown;
        const auto show = [&shown](QWidget *widget, const QString &text) {
            if (std::find(shown.begin(), shown.end(), std::pair{widget, text}) == shown.end())
                shown.emplace_back(widget, text);
        };
        const auto named = [&window](const char *name) {
            return window.findChild<QWidget *>(QString::fromLatin1(name));
        };
        for (const char *radio : {"radio_company", "radio_user"}) {
            qobject_cast<QRadioButton *>(named(radio))->click();
            for (QWidget *widget : window.findChildren<QWidget *>())
                if (widget->window() == &window && !shown_text(widget).isEmpty())
                    show(widget, shown_text(widget));
        }
        for (const char *line : {"user_phone", "user_cpf", "user_cep", "user_cnpj"}) {
            auto *edit = window.findChild<QLineEdit *>(QString::fromLatin1(line));
            QChar widest = QLatin1Char('0');
            for (QChar digit = widest; digit <= QLatin1Char('9');
                 digit = QChar(digit.unicode() + 1))
                if (edit->fontMetrics().horizontalAdvance(digit) >
                    edit->fontMetrics().horizontalAdvance(widest))
                    widest = digit;
            edit->setText(QString(14, widest));
            QVERIFY(edit->hasAcceptableInput());
            show(edit, edit->text());
        }
        show(named("user_cnpj"), QStringLiteral("12.ABC.345/01DE-35"));
        show(named("info_serial"), QStringLiteral("ABCDEF999999"));
        show(named("info_serial"), QStringLiteral("Serial Inválido"));
        show(named("info_versions"), QStringLiteral("255.255 / 255.255"));
        auto *combo = window.findChild<QComboBox *>("combo_motor");
        for (int row = 0; row < combo->count(); ++row) {
            show(named("combo_motor"), combo->itemText(row));
            show(named("info_motor"), combo->itemText(row));
        }
        for (const char *text : window_texts::progress)
            show(named("progress_label"), QString::fromUtf8(text));

        for (auto *box : window.findChildren<QMessageBox *>()) {
            if (box->text().isEmpty())
                box->setText(QStringLiteral("Versão de Firmware incompatível. Utilize o Veltora "
                                            "Zazurad 2.0!"));
            box->show();
            for (auto *button : box->findChildren<QPushButton *>())
                show(button, button->text());
            for (auto *label : box->findChildren<QLabel *>())
                if (label->wordWrap())
                    QVERIFY(label->heightForWidth(label->width()) <= label->height());
        }

        QStringList clipped;
        std::pair<int, QString> tightest{1000, {}};
        for (const auto &[widget, text] : shown) {
            const int room = room_left(widget, text);
            const QString what =
                QStringLiteral("%1 \"%2\": %3 px").arg(widget->objectName(), text).arg(room);
            if (room < 0)
                clipped << what;
            tightest = std::min(tightest, std::pair{room, what});
        }
        qInfo("%s %.1f pt at %d dpi; tightest: %s", qPrintable(QFontInfo(window.font()).family()),
              window.font().pointSizeF(), window.logicalDpiY(), qPrintable(tightest.second));
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(QLatin1Char('\n'))));
    }
};

QTEST_MAIN(TestWindowTexts)
#include "test_window_texts.moc"
