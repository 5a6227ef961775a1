#pragma once

#include "conversion/taskrecord.h"

#include <QSet>
#include <QString>

class QStandardItemModel;

// Where the outputs of one batch go. Each task's output takes its own name in
// the output folder unless that name must not be used: the task's own input,
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
    // The form in which paths are compared for PathFor's `taken`.
    static QString PathKey(const QString &path);

    // A new batch into `outputFolder` (as typed) with `outputExt`: the inputs of
    // `tasks` that lie in that folder are reserved from the start.
    void begin(const QString &outputFolder, const QString &outputExt, const QStandardItemModel &tasks);

    // Reserves the output of the task of `row` and returns its path. When it is
    // not the name the task would have had alone, `renameNote` says why
    // ("Renamed to NAME: ..."); else it is cleared.
    QString reserve(const ltvItemData &task, int row, bool rename, QString *renameNote);

    QString outputFolder() const { return m_outputFolder; }
    QString outputExt() const { return m_outputExt; }

private:
    QString m_outputFolder;
    QString m_outputExt;
    QSet<QString> m_taken;   // the batch's inputs in its output folder, and the outputs so far
    QSet<QString> m_outputs; // the outputs so far
};
