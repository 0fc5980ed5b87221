#include "ui/veltora_motor.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

// What a user sees of the window right after start: its size, where things are, what they say.
class TestWindowLayout : public QObject {
    Q_OBJECT

private:
    template <typename T> T *find(const Veltora_Motor &window, const char *name) {
        auto *widget = window.findChild<T *>(QString::fromLatin1(name));
        if (widget == nullptr)
            qFatal("no widget %s", name);
        return widget;
    }

private slots:
    void window_is_fixed_at_640_by_260() {
        Veltora_Motor window;
        window.show();
        QCOMPARE(window.size(), QSize(640, 260));
        QCOMPARE(window.minimumSize(), QSize(640, 260));
        QCOMPARE(window.maximumSize(), QSize(640, 260));
        window.resize(800, 600);
        QCOMPARE(window.size(), QSize(640, 260));
        QCOMPARE(window.windowTitle(), QStringLiteral("Veltora Zazurad - Motorização"));
        QCOMPARE(window.objectName(), QStringLiteral("Veltora_Motor"));
        QVERIFY(window.isModal());
        // Title bar and close button only (the platform may add its system menu).
        const Qt::WindowFlags flags = window.windowFlags();
        QVERIFY(flags.testFlag(Qt::WindowTitleHint));
        QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(flags.testFlag(Qt::MSWindowsFixedSizeDialogHint));
        QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
        QCOMPARE(window.contextMenuPolicy(), Qt::NoContextMenu);
    }

    void icon_comes_from_the_resources() {
        QPixmap icon(QStringLiteral(":/images/veltora_motor.png"));
        QCOMPARE(icon.size(), QSize(256, 256));
        Veltora_Motor window;
        QVERIFY(!window.windowIcon().isNull());
    }

    void paired_widgets_share_one_rectangle() {
        Veltora_Motor window;
        QCOMPARE(find<QPushButton>(window, "btn_connect")->geometry(),
                 find<QPushButton>(window, "btn_disconnect")->geometry());
        QCOMPARE(find<QLineEdit>(window, "user_cpf")->geometry(), QRect(10, 180, 130, 20));
        QCOMPARE(find<QLineEdit>(window, "user_cnpj")->geometry(), QRect(10, 180, 130, 20));
        QCOMPARE(find<QFrame>(window, "main_frame")->geometry(), QRect(0, 0, 640, 220));
        QCOMPARE(find<QProgressBar>(window, "progress_bar")->geometry(), QRect(10, 230, 420, 20));
        QCOMPARE(find<QLabel>(window, "progress_label")->geometry(), QRect(440, 230, 190, 20));
        // The progress area lies outside the frame that a running action disables.
        QCOMPARE(find<QProgressBar>(window, "progress_bar")->parentWidget(), &window);
        QCOMPARE(find<QGroupBox>(window, "box_motor")->parentWidget()->objectName(),
                 QStringLiteral("main_frame"));
    }

    void starts_disconnected_with_an_idle_progress_area() {
        Veltora_Motor window;
        window.show();
        QVERIFY(find<QPushButton>(window, "btn_connect")->isVisible());
        QVERIFY(find<QPushButton>(window, "btn_connect")->isEnabled());
        QVERIFY(!find<QPushButton>(window, "btn_disconnect")->isVisible());
        QVERIFY(!find<QPushButton>(window, "btn_disconnect")->isEnabled());
        QVERIFY(!find<QGroupBox>(window, "box_info")->isEnabled());
        QVERIFY(!find<QGroupBox>(window, "box_motor")->isEnabled());
        QVERIFY(find<QGroupBox>(window, "box_user")->isEnabled());
        QCOMPARE(find<QLabel>(window, "progress_label")->text(), QStringLiteral("Veltora Zazurad"));
        QCOMPARE(find<QProgressBar>(window, "progress_bar")->maximum(), 100);
        QCOMPARE(find<QProgressBar>(window, "progress_bar")->value(), 0);
        QVERIFY(!find<QProgressBar>(window, "progress_bar")->isTextVisible());
        QCOMPARE(find<QLabel>(window, "info_serial")->text(), QString());
        QCOMPARE(find<QLabel>(window, "info_versions")->text(), QString());
        QCOMPARE(find<QLabel>(window, "info_motor")->text(), QString());
        QCOMPARE(find<QComboBox>(window, "combo_motor")->currentIndex(), -1);
        QCOMPARE(find<QComboBox>(window, "combo_motor")->count(), 8);
        QCOMPARE(find<QPushButton>(window, "btn_send")->text(), QStringLiteral("Enviar"));
        QVERIFY(!find<QPushButton>(window, "btn_send")->isDefault());
        QVERIFY(!find<QPushButton>(window, "btn_send")->autoDefault());
    }

    void masked_fields_take_only_what_their_masks_allow() {
        Veltora_Motor window;
        auto *phone = find<QLineEdit>(window, "user_phone");
        QCOMPARE(phone->inputMask(), QStringLiteral("(99) 999999990"));
        QCOMPARE(phone->text(), QStringLiteral("() "));
        QCOMPARE(phone->maxLength(), 14);
        auto *cpf = find<QLineEdit>(window, "user_cpf");
        QCOMPARE(cpf->maxLength(), 14);
        QCOMPARE(cpf->toolTip(), QStringLiteral("Digite somente números"));
        QCOMPARE(find<QLineEdit>(window, "user_cep")->maxLength(), 9);
        QCOMPARE(find<QLineEdit>(window, "user_cnpj")->maxLength(), 18);
        QCOMPARE(find<QLineEdit>(window, "user_name")->maxLength(), 255);
        QCOMPARE(find<QLineEdit>(window, "user_email")->maxLength(), 255);

        auto *cnpj = find<QLineEdit>(window, "user_cnpj");
        cnpj->clear();
        cnpj->setFocus();
        QTest::keyClicks(cnpj, QStringLiteral("12abc34501de35"));
        QCOMPARE(cnpj->text(), QStringLiteral("12.ABC.345/01DE-35"));
        cnpj->clear();
        QTest::keyClicks(cnpj, QStringLiteral("123456789012ab"));
        QCOMPARE(cnpj->text(), QStringLiteral("12.345.678/9012-"));
        QVERIFY(!cnpj->hasAcceptableInput());
    }

    void radio_buttons_form_one_group() {
        Veltora_Motor window;
        auto *person = find<QRadioButton>(window, "radio_user");
        auto *company = find<QRadioButton>(window, "radio_company");
        QCOMPARE(person->layoutDirection(), Qt::RightToLeft);
        QCOMPARE(company->parentWidget(), person->parentWidget());
        QVERIFY(person->isChecked() != company->isChecked());
    }

    void information_labels_are_centred_and_not_selectable() {
        Veltora_Motor window;
        for (const char *name : {"info_serial", "info_versions", "info_motor"}) {
            auto *label = find<QLabel>(window, name);
            QCOMPARE(label->alignment(), Qt::AlignHCenter | Qt::AlignVCenter);
            QCOMPARE(label->textInteractionFlags(), Qt::NoTextInteraction);
        }
    }
};

QTEST_MAIN(TestWindowLayout)
#include "test_window_layout.moc"
