#pragma once
// Small helpers for windows laid out in pixels: a widget with its name, a
// label at its place.

#include <QLabel>
#include <QString>

// The widget, named for tests and for the windows that look it up.
template <typename W>
W *named(W *widget, const char *name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// A label with this text whose top left corner is at (x, y), sized to its text.
inline QLabel *makeLabel(const QString &text, QWidget *parent, int x, int y)
{
    auto *label = new QLabel(text, parent);
    label->move(x, y);
    label->adjustSize();
    return label;
}
