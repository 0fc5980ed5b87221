#pragma once

#include "test_access.h"
#include "ui/veltora_motor.h"

#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSettings>
#include <QtTest>

#include <memory>

// What the customer tests share: the tool's settings store reached from outside, and the
// window's widgets by object name.
namespace customer_test {

using Access = Veltora_Motor_TestAccess;

// The six fields, their settings keys and the controller fields that keep them, in one order.
const char *const field_names[] = {"user_name", "user_email", "user_phone",
                                   "user_cpf",  "user_cnpj",  "user_cep"};
const char *const keys[] = {"Nome", "Email", "Telefone", "CPF", "CNPJ", "CEP"};
QString (*const kept[])(const Veltora_Motor &) = {Access::customer_name,  Access::customer_email,
                                                  Access::customer_phone, Access::customer_cpf,
                                                  Access::customer_cnpj,  Access::customer_cep};

inline QString red_style() {
    return QStringLiteral("QLineEdit { color: rgb(255, 0, 0); }");
}

inline void use_tool_identity() {
    QCoreApplication::setOrganizationName(QStringLiteral("Veltora Ltda."));
    QCoreApplication::setApplicationName(QStringLiteral("Veltora Zazurad - Motorização"));
}

// Without the temporary home CTest gives, a run would write into the developer's own settings.
inline bool has_own_home() {
    return qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
}

inline void clear_store() {
    use_tool_identity();
    QSettings().clear();
}

inline QVariant stored(const char *key) {
    use_tool_identity();
    return QSettings().value(QLatin1String(key));
}

inline void store_value(const char *key, const QString &value) {
    use_tool_identity();
    QSettings().setValue(QLatin1String(key), value);
}

inline std::unique_ptr<Veltora_Motor> open_window() {
    auto window = std::make_unique<Veltora_Motor>();
    window->show();
    return window;
}

template <typename T> T *find(const Veltora_Motor &window, const char *name) {
    auto *widget = window.findChild<T *>(QLatin1String(name));
    if (widget == nullptr)
        qFatal("no widget %s", name);
    return widget;
}

inline QLineEdit *field(const Veltora_Motor &window, const char *name) {
    return find<QLineEdit>(window, name);
}

// What a user does: replaces the field's content by typing, then presses Return.
inline void type_and_enter(QLineEdit *edit, const QString &keys) {
    edit->selectAll();
    edit->del();
    edit->home(false);
    QTest::keyClicks(edit, keys);
    QTest::keyClick(edit, Qt::Key_Return);
}

// Puts text in the field as a paste or a program would, then presses Return.
inline void set_and_enter(QLineEdit *edit, const QString &text) {
    edit->setText(text);
    QTest::keyClick(edit, Qt::Key_Return);
}

} // namespace customer_test
