#pragma once

#include <QLineEdit>
#include <QtTest>

// What a user does: replaces the field's content by typing, then presses Return.
inline void type_and_enter(QLineEdit *edit, const QString &text) {
    edit->selectAll();
    edit->del();
    edit->home(false);
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
}
