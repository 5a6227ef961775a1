#pragma once

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QSpontaneKeyEvent>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

// Picks a choice of a drop-down editor the way a user does it with the keys:
// open (Alt+Down unless told otherwise) opens the list, Down and Up move its
// highlight to choice and Enter takes it. False when the list did not open,
// does not offer choice, or did not close on Enter.
[[nodiscard]] inline bool PickFromDropDown(QComboBox *combo, const QString &choice,
                                           QKeyCombination open = QKeyCombination(Qt::AltModifier, Qt::Key_Down))
{
    if (!combo)
        return false;
    const int target = combo->findText(choice);
    if (target < 0)
        return false;
    QTest::keyClick(combo, open.key(), open.keyboardModifiers());
    QAbstractItemView *list = combo->view();
    if (!list->isVisible())
        return false;
    for (int step = 0; step <= combo->count() && list->currentIndex().row() != target; ++step)
        QTest::keyClick(list, list->currentIndex().row() < target ? Qt::Key_Down : Qt::Key_Up);
    if (list->currentIndex().row() != target)
        return false;
    QTest::keyClick(list, Qt::Key_Return);
    return !list->isVisible();
}

// A key as the user types it: to whatever has the keyboard focus.
inline void TypeKey(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget *focus = QApplication::focusWidget();
    if (!focus) {
        ADD_FAILURE() << "no widget has the keyboard focus";
        return;
    }
    QTest::keyClick(focus, key, modifiers);
}

// One notch of the mouse wheel over the middle of widget, as the window system
// delivers it: a spontaneous event, which goes on to the parents while no one
// takes it. A negative delta turns the wheel towards the user (scrolls down).
inline void TurnWheel(QWidget *widget, int delta)
{
    const QPointF at = QRectF(widget->rect()).center();
    QWheelEvent wheel(at, widget->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    // sendEvent() would deliver it as synthesized, and Qt does not pass those on.
    QSpontaneKeyEvent::setSpontaneous(&wheel);
    qApp->notify(widget, &wheel);
}
