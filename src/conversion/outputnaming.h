#pragma once

#include "conversion/taskrecord.h"

#include <QSet>
#include <QString>

class TaskListModel;

// Where the outputs of a batch go: all into the output folder, into the output
// folder keeping the folder tree each input was found in, or each beside its
// input. The numbers are those kept in Preferences.ini.
enum class OutputPlace { Folder = 0, Tree = 1, Beside = 2 };

// A folder an output goes to: `sub` (folder names joined by "/", maybe
// empty) below `base`, made as needed.
struct OutputSpot
{
    QString base;
    QString sub;
    QString folder() const;
};

// Where the outputs of one batch go. Each task's output takes its own name in
// its folder (OutputPlace) unless that name must not be used: the task's own input,
// an existing file when renaming was chosen, the input of another task of the
// batch, or an output an earlier task of the batch already reserved. The
// folder and the extension are taken once, when the batch begins.
class OutputNaming final
{
public:
    // The path a task's output goes to: the folder, the new name and the output
    // extension, with an index suffix when that file must not be overwritten.
    // The indexed name takes the task's own extension, or `outputExt` when the
    // task has none. A path in `taken` (keys made by PathKey) counts as one that
    // must not be overwritten, whatever `rename` says.
    static QString PathFor(const ltvItemData &task, int row, const QString &outputFolder, const QString &outputExt,
                           bool rename, const QSet<QString> *taken = nullptr);
    // The form in which paths are compared for PathFor's `taken`: the same
    // for two paths to one place however its existing folders are reached.
    static QString PathKey(const QString &path);

    // The folder of a task's output. Tree: below outputFolder as the input's
    // folder is below the folder it was found under (the output folder itself
    // for a file added on its own); Beside: the input's own folder.
    static OutputSpot SpotFor(const ltvItemData &task, const QString &outputFolder, OutputPlace place);

    // A new batch into `outputFolder` (as typed) with `outputExt`: the inputs of
    // `tasks` are reserved from the start, wherever an output may go.
    void begin(const QString &outputFolder, const QString &outputExt, const TaskListModel &tasks,
               OutputPlace place = OutputPlace::Folder);

    // An input that joins the batch, or is about to: no output takes its path.
    // (The key most often is the path itself: then it shares its characters.)
    void takeInput(const QString &input)
    {
        const QString key = PathKey(input);
        m_taken.insert(key == input ? input : key);
    }
    // A file no output takes until it is let go (unless it is taken anyway).
    void keep(const QString &path)
    {
        const QString key = PathKey(path);
        if (!m_taken.contains(key)) {
            m_taken.insert(key);
            m_kept.insert(key);
        }
    }
    void letGo(const QString &path)
    {
        const QString key = PathKey(path);
        if (m_kept.remove(key))
            m_taken.remove(key);
    }
    // Where the output of a task of this batch goes (its folder may not exist yet).
    OutputSpot spotFor(const ltvItemData &task) const { return SpotFor(task, m_outputFolder, m_place); }

    // Reserves the output of the task of `row` and returns its path. When it is
    // not the name the task would have had alone, `renameNote` says why
    // ("Renamed to NAME: ..."); else it is cleared.
    QString reserve(const ltvItemData &task, int row, bool rename, QString *renameNote);

    QString outputFolder() const { return m_outputFolder; }
    QString outputExt() const { return m_outputExt; }

private:
    QString m_outputFolder;
    QString m_outputExt;
    OutputPlace m_place = OutputPlace::Folder;
    QSet<QString> m_taken;   // the batch's inputs in its output folder, and the outputs so far
    QSet<QString> m_outputs; // the outputs so far
    QSet<QString> m_kept;    // files kept from being written over, in m_taken while kept
};
