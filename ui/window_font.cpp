#include "ui/veltora_motor.h"
#include "ui/window_texts.h"
#include "ui_veltora_motor.h"

#include <QStyleOption>
#include <QTextDocumentFragment>

#include <algorithm>
#include <iterator>
#include <utility>
#include <vector>

namespace {

// Below this the window's texts would no longer be read at a glance; the font stops shrinking here
// even if some text still does not fit.
constexpr qreal smallest_pixels = 8.0;
constexpr qreal point_step = 0.5;

// The width widget needs to show text whole at its present font: the text's advance plus what
// the widget's style puts around it.
int width_needed(const QWidget *widget, const QString &text) {
    const QFontMetrics metrics = widget->fontMetrics();
    const QSize contents(metrics.horizontalAdvance(text), metrics.height());
    const QStyle *style = widget->style();
    if (const auto *edit = qobject_cast<const QLineEdit *>(widget)) {
        QStyleOptionFrame option;
        option.initFrom(edit);
        option.lineWidth = style->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
        const QMargins margins = edit->textMargins();
        // A line edit keeps 2 px clear either side of its text and 1 px for the cursor after it;
        // past that it scrolls and cuts the text's start.
        const QSize inner = contents + QSize(margins.left() + margins.right() + 5, 0);
        return style->sizeFromContents(QStyle::CT_LineEdit, &option, inner, edit).width();
    }
    if (const auto *button = qobject_cast<const QAbstractButton *>(widget)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = text;
        const bool radio = qobject_cast<const QRadioButton *>(widget) != nullptr;
        return style
            ->sizeFromContents(radio ? QStyle::CT_RadioButton : QStyle::CT_PushButton, &option,
                               contents, button)
            .width();
    }
    if (const auto *combo = qobject_cast<const QComboBox *>(widget)) {
        QStyleOptionComboBox option;
        option.initFrom(combo);
        option.currentText = text;
        return style->sizeFromContents(QStyle::CT_ComboBox, &option, contents, combo).width();
    }
    if (const auto *box = qobject_cast<const QGroupBox *>(widget)) {
        QStyleOptionGroupBox option;
        option.initFrom(box);
        option.text = text;
        option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        option.textAlignment = box->alignment();
        return style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box)
                   .right() +
               1;
    }
    if (const auto *label = qobject_cast<const QLabel *>(widget))
        return contents.width() + 2 * (label->margin() + label->frameWidth());
    return contents.width();
}

// The masked field's text when every place for a character holds the widest digit.
QString widest_masked_text(const QLineEdit *edit) {
    const QFontMetrics metrics = edit->fontMetrics();
    QChar widest = QLatin1Char('0');
    for (char digit = '1'; digit <= '9'; ++digit)
        if (metrics.horizontalAdvance(QLatin1Char(digit)) > metrics.horizontalAdvance(widest))
            widest = QLatin1Char(digit);
    QLineEdit probe;
    probe.setInputMask(edit->inputMask());
    probe.setText(QString(edit->maxLength(), widest));
    return probe.text();
}

} // namespace

bool Veltora_Motor::every_text_fits() const {
    using Shown = std::pair<const QWidget *, QString>;
    const auto utf8 = [](const char *text) { return QString::fromUtf8(text); };
    // What the widgets show only later, beside what they show now.
    std::vector<Shown> shown = {
        {ui->label_name, utf8(window_texts::person_name)},
        {ui->label_name, utf8(window_texts::company_name)},
        {ui->label_cpf_cnpj, utf8(window_texts::person_taxpayer)},
        {ui->label_cpf_cnpj, utf8(window_texts::company_taxpayer)},
        {ui->info_serial, utf8(window_texts::widest_serial)},
        {ui->info_serial, utf8(window_texts::invalid_serial)},
        {ui->info_versions, utf8(window_texts::widest_versions)},
        {ui->user_cnpj, utf8(window_texts::alphanumeric_cnpj)},
        {ui->user_cnpj, widest_masked_text(ui->user_cnpj)},
        {ui->user_cpf, widest_masked_text(ui->user_cpf)},
        {ui->user_phone, widest_masked_text(ui->user_phone)},
        {ui->user_cep, widest_masked_text(ui->user_cep)},
    };
    std::transform(std::begin(window_texts::progress), std::end(window_texts::progress),
                   std::back_inserter(shown), [&](const char *text) {
                       return Shown{ui->progress_label, utf8(text)};
                   });
    for (int row = 0; row < ui->combo_motor->count(); ++row) {
        shown.emplace_back(ui->combo_motor, ui->combo_motor->itemText(row));
        shown.emplace_back(ui->info_motor, ui->combo_motor->itemText(row));
    }
    for (const QWidget *widget : findChildren<QWidget *>()) {
        // The message boxes are windows of their own, laid out for their texts.
        if (widget->window() != this)
            continue;
        if (const auto *label = qobject_cast<const QLabel *>(widget))
            shown.emplace_back(label, QTextDocumentFragment::fromHtml(label->text()).toPlainText());
        else if (const auto *button = qobject_cast<const QAbstractButton *>(widget))
            shown.emplace_back(button, button->text());
        else if (const auto *box = qobject_cast<const QGroupBox *>(widget))
            shown.emplace_back(box, box->title());
    }
    return std::all_of(shown.begin(), shown.end(), [](const Shown &widget_text) {
        return width_needed(widget_text.first, widget_text.second) <= widget_text.first->width();
    });
}

// Gives every widget of the window, and the dialog itself, the same point size. Each widget gets it
// set, not only the dialog: a widget with a style sheet keeps the size it was polished with.
void Veltora_Motor::set_point_size(qreal size) {
    for (QWidget *widget : findChildren<QWidget *>()) {
        if (widget->window() != this)
            continue;
        QFont sized = widget->font();
        sized.setPointSizeF(size);
        widget->setFont(sized);
    }
    QFont sized = font();
    sized.setPointSizeF(size);
    setFont(sized);
}

// The layout is fixed in pixels, so the platform's font is kept only where every text fits at
// it; otherwise the whole window takes the largest size below it, in half points, at which they
// all do, found by halving the range down to the smallest readable size.
void Veltora_Motor::fit_font_to_texts() {
    // The bold of the drive's labels comes from their style sheets, which take effect on polish.
    ensurePolished();
    if (every_text_fits())
        return;
    const qreal dpi = logicalDpiY();
    const qreal platform =
        font().pointSizeF() > 0 ? font().pointSizeF() : font().pixelSize() * 72.0 / dpi;
    const int steps = static_cast<int>((platform - smallest_pixels * 72.0 / dpi) / point_step);
    int fitting = std::max(steps, 0); // the smallest size is kept even if some text does not fit
    for (int low = 1, high = steps; low <= high;) {
        const int middle = (low + high) / 2;
        set_point_size(platform - middle * point_step);
        if (every_text_fits()) {
            fitting = middle;
            high = middle - 1;
        } else {
            low = middle + 1;
        }
    }
    set_point_size(platform - fitting * point_step);
}
