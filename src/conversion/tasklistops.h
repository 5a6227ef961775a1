#pragma once

#include <QByteArrayList>
#include <QList>
#include <QString>
#include <QStringList>

// What the task list accepts and how paths reach it: the supported input
// types, the open dialog's filter, folder listings and the command line.

// The supported input extensions, lower case with their point, in the order
// the open dialog lists them.
QStringList InputExts();

// "*.avi;*.mpg;...;" — every extension as a mask, each followed by ";".
QString InputMask(const QStringList &exts);

// The open dialog's filter as "text|pattern|text|pattern|...": all supported
// files first, then one entry per extension, then all files.
QString OpenDialogFilter(const QStringList &exts);

// The texts of a "text|pattern|..." filter, one entry each, in order.
QStringList FilterEntries(const QString &filter);

// True when the extension of the path's file name (from its last point,
// lower-cased) is one of exts.
bool HasInputExt(const QString &path, const QStringList &exts);

// The file name without its extension: the text before the last point; a name
// without a point is returned whole, and ".name" gives the empty text.
QString StripExtension(const QString &name);

// The folder with one separator at its end.
QString AddTrailingSeparator(const QString &folder);

// What a folder listing had to leave out.
struct ListingProblems
{
    struct SkippedFolder
    {
        QString path;
        QString reason; // "it cannot be read: ...", "a link back into a folder that holds it"
    };
    QList<SkippedFolder> folders; // not listed, each once
    QByteArrayList unnamable;     // full paths whose names are not valid UTF-8
    // One message naming every skipped folder and why; empty when none was.
    QString message() const;
};

// The supported files (InputExts(), letter case ignored) in folder, full
// paths: ordinary files and links to them, no hidden files or folders. Each
// folder's files come sorted by name, letter case ignored; with `recursive`,
// its subfolders follow in the same order, each listed whole before the next,
// at any depth. A link to a folder is followed, but a folder is listed once:
// a link back into a folder that holds it (a loop) and a folder that cannot
// be read are skipped and named in `problems`. Names that are not valid UTF-8
// cannot be named by a text: they are left out, and their bytes go to
// `problems` too. Runs on any thread.
QStringList ListFolder(const QString &folder, bool recursive, ListingProblems *problems = nullptr);

// The paths named on the command line (arguments without the program name).
// When the first argument's extension is ".tmp" it names a list file: the
// paths are its lines, used unchanged, and further arguments are ignored;
// blank lines name nothing. `error` receives a message when the list file
// cannot be read (no paths then). Lines that are not valid UTF-8 are left
// out, and their bytes go to `unnamable` when given.
QStringList CommandLinePaths(const QStringList &arguments, QString *error,
                             QByteArrayList *unnamable = nullptr);
