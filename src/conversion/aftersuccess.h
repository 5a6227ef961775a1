#pragma once

#include <QProcessEnvironment>
#include <QString>

#include <optional>

#include <sys/stat.h>

// What becomes of an input once its output has been checked and committed.
enum class OriginalAction { Keep, Trash, Delete };

// The input of a task as it was when its conversion began: its path and the
// file that path led to. A name is only ever acted on while it still leads to
// that file.
struct OriginalFile
{
    QString path;
    struct stat info{};

    // The file at `path` now, not through a link; nothing when it is not a
    // regular file.
    static std::optional<OriginalFile> Read(const QString &path);
};

// Moves `original` to the desktop's trash, as file managers share it: the
// home trash ($XDG_DATA_HOME/Trash) when the file is on its
// volume, else the volume's own ($topdir/.Trash/UID when an administrator made
// a sticky .Trash there, else $topdir/.Trash-UID). The .trashinfo file is made
// first (never over another), then the file is renamed into files/: a file
// that cannot be renamed there (another volume) stays where it is. Empty on
// success, else why not, as a sentence.
QString MoveToTrash(const OriginalFile &original, const QString &homeTrash = QString());

// Carries out `action` on `original` after its output `output` was committed:
// only while the input's name still leads to the file that was converted, and
// never when it leads to the output itself. Empty when the input was kept as
// asked or the action was done, else why the original was kept, as a sentence.
QString DisposeOriginal(OriginalAction action, const OriginalFile &original, const QString &output,
                        const QString &homeTrash = QString());

// The sentence a row's tip gives for a disposed original ("The original was
// moved to the trash."); empty for Keep.
QString DisposedNote(OriginalAction action);

// Starts `command` (a command line: the program, then its arguments, split
// like the engine's parameters) on its own, with `environment` added to the
// program's; no shell reads it, so file names in the environment are never
// taken as commands. The program is not waited for. Empty on success, else why
// not, as a sentence.
QString RunDoneCommand(const QString &command, const QProcessEnvironment &environment);

// The environment a done-command gets for one task: VANTORIX_INPUT,
// VANTORIX_OUTPUT, VANTORIX_STATUS ("complete", "failed", "stopped",
// "not-smaller") and VANTORIX_ORIGINAL ("kept", "trashed", "deleted").
QProcessEnvironment TaskDoneEnvironment(const QString &input, const QString &output, const QString &rowStatus,
                                        const QString &original);

// The name of the Keep/Trash/Delete choice as stored and typed ("keep",
// "trash", "delete"), and back; nothing for an unknown name.
QString OriginalActionName(OriginalAction action);
std::optional<OriginalAction> OriginalActionFromName(const QString &name);
