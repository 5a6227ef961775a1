#pragma once

#include <QByteArray>
#include <QString>

// File names as the file system holds them (any bytes but "/" and NUL) and as
// the program's texts hold them (Unicode, read and written as UTF-8).

// True when the name's bytes read as a text that gives the same bytes back:
// only such a name can be handed on (to the engine, to a row) and still name
// the same file.
bool IsNameable(const QByteArray &bytes);

// The name on one line of a terminal or a log: control characters (line
// breaks, tabs, escape sequences, ...) written as \n, \r, \t or \xHH; every
// other character as it is.
QString PrintableName(const QString &name);

// The same for a name's bytes; a byte that is not part of valid UTF-8 is
// written as \xHH.
QString PrintableName(const QByteArray &bytes);
