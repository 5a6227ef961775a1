#include "conversion/outputnaming.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardItemModel>

namespace {

QString withTrailingSeparator(const QString &folder)
{
    if (folder.endsWith(QLatin1Char('/')) || folder.endsWith(QDir::separator()))
        return folder;
    return folder + QLatin1Char('/');
}

bool sameFile(const QString &a, const QString &b)
{
    const QFileInfo first(a);
    const QFileInfo second(b);
    if (first.exists() && second.exists())
        return first.canonicalFilePath() == second.canonicalFilePath();
    return QDir::cleanPath(first.absoluteFilePath()) == QDir::cleanPath(second.absoluteFilePath());
}

} // namespace

QString OutputNaming::PathKey(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

QString OutputNaming::PathFor(const ltvItemData &task, int row, const QString &outputFolder, const QString &outputExt,
                              bool rename, const QSet<QString> *taken)
{
    const auto isTaken = [taken](const QString &path) { return taken && taken->contains(PathKey(path)); };
    const QString folder = withTrailingSeparator(outputFolder);
    const QString path = folder + task.NewName + outputExt;
    const bool isInput = sameFile(path, task.InputFile);
    if (!isInput && !(rename && QFileInfo::exists(path)) && !isTaken(path))
        return path;

    // Never the input itself, and never a file that must not be overwritten:
    // name_k, then name_k_2, name_k_3, ... until a free name is found. A task
    // added before any profile was loaded has no extension of its own.
    const QString ext = task.NewExt.isEmpty() ? outputExt : task.NewExt;
    const QString indexed = folder + task.NewName + QLatin1Char('_') + QString::number(row + 1);
    QString candidate = indexed + ext;
    for (int n = 2; QFileInfo::exists(candidate) || sameFile(candidate, task.InputFile) || isTaken(candidate); ++n)
        candidate = indexed + QLatin1Char('_') + QString::number(n) + ext;
    return candidate;
}

void OutputNaming::begin(const QString &outputFolder, const QString &outputExt, const QStandardItemModel &tasks)
{
    m_outputFolder = outputFolder;
    m_outputExt = outputExt;
    m_taken.clear();
    m_outputs.clear();
    // No task writes over the input of another: those in the output folder
    // are taken, under the name an output would have there.
    const QString canonicalFolder = QFileInfo(outputFolder).canonicalFilePath();
    if (canonicalFolder.isEmpty())
        return;
    for (int row = 0; row < tasks.rowCount(); ++row) {
        ltvItemData task;
        ReadItemData(tasks, row, CaptionField, task);
        const QFileInfo input(task.InputFile);
        if (QFileInfo(input.absolutePath()).canonicalFilePath() == canonicalFolder)
            m_taken.insert(PathKey(withTrailingSeparator(outputFolder) + input.fileName()));
    }
}

QString OutputNaming::reserve(const ltvItemData &task, int row, bool rename, QString *renameNote)
{
    const QString path = PathFor(task, row, m_outputFolder, m_outputExt, rename, &m_taken);

    // Say so when the name is not the one the task would have had alone.
    const QString own = withTrailingSeparator(m_outputFolder) + task.NewName + m_outputExt;
    const QString alone = PathFor(task, row, m_outputFolder, m_outputExt, rename);
    const auto why = [&](const QString &wanted) -> QString {
        const QString name = QFileInfo(wanted).fileName();
        if (m_outputs.contains(PathKey(wanted)))
            return QStringLiteral("an earlier task of this batch writes ") + name;
        if (m_taken.contains(PathKey(wanted)) && !sameFile(wanted, task.InputFile))
            return name + QStringLiteral(" is the input of another task of this batch");
        return QString();
    };
    QString reason = path == own ? QString() : why(own);
    if (reason.isEmpty() && path != alone)
        reason = why(alone);
    if (renameNote)
        *renameNote = reason.isEmpty() ? QString()
                                       : QStringLiteral("Renamed to %1: %2").arg(QFileInfo(path).fileName(), reason);
    const QString key = PathKey(path);
    m_taken.insert(key);
    m_outputs.insert(key);
    return path;
}
