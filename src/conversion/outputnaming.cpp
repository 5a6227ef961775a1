#include "conversion/outputnaming.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

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

QString OutputSpot::folder() const
{
    return sub.isEmpty() ? base : withTrailingSeparator(base) + sub;
}

QString OutputNaming::PathKey(const QString &path)
{
    // The deepest folder that exists, as the system resolves it, then the
    // names below it that do not exist yet, then the file's own name: a link
    // at the name itself is a name of its own (an output replaces it).
    const QString clean = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    const qsizetype last = clean.lastIndexOf(QLatin1Char('/'));
    if (last < 0)
        return clean;
    QStringList tail{clean.mid(last + 1)};
    QString head = last == 0 ? QStringLiteral("/") : clean.left(last);
    for (;;) {
        const QString canonical = QFileInfo(head).canonicalFilePath();
        if (!canonical.isEmpty()) {
            tail.prepend(canonical == QLatin1String("/") ? QString() : canonical);
            return tail.join(QLatin1Char('/'));
        }
        const qsizetype slash = head.lastIndexOf(QLatin1Char('/'));
        if (slash <= 0)
            return clean;
        tail.prepend(head.mid(slash + 1));
        head = head.left(slash);
    }
}

OutputSpot OutputNaming::SpotFor(const ltvItemData &task, const QString &outputFolder, OutputPlace place)
{
    const QString inputFolder = QFileInfo(task.InputFile).absolutePath();
    if (place == OutputPlace::Beside)
        return {inputFolder, QString()};
    if (place == OutputPlace::Tree && !task.FoundUnder.isEmpty()) {
        const QString relative = QDir(task.FoundUnder).relativeFilePath(inputFolder);
        if (relative != QLatin1String(".") && !relative.startsWith(QLatin1String("..")) && !QDir::isAbsolutePath(relative))
            return {outputFolder, QDir::cleanPath(relative)};
    }
    return {outputFolder, QString()};
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

void OutputNaming::begin(const QString &outputFolder, const QString &outputExt, const TaskListModel &tasks,
                         OutputPlace place)
{
    m_outputFolder = outputFolder;
    m_outputExt = outputExt;
    m_place = place;
    m_taken.clear();
    m_outputs.clear();
    m_kept.clear();
    // No task writes over the input of another: every input is taken, in the
    // form any output path that leads to it has.
    for (int row = 0; row < tasks.rowCount(); ++row) {
        ltvItemData task;
        ReadItemData(tasks, row, CaptionField, task);
        takeInput(task.InputFile);
    }
}

QString OutputNaming::reserve(const ltvItemData &task, int row, bool rename, QString *renameNote)
{
    const QString folder = spotFor(task).folder();
    const QString path = PathFor(task, row, folder, m_outputExt, rename, &m_taken);

    // Say so when the name is not the one the task would have had alone.
    const QString own = withTrailingSeparator(folder) + task.NewName + m_outputExt;
    const QString alone = PathFor(task, row, folder, m_outputExt, rename);
    const auto why = [&](const QString &wanted) -> QString {
        const QString name = QFileInfo(wanted).fileName();
        if (m_outputs.contains(PathKey(wanted)))
            return QCoreApplication::translate("OutputNaming", "an earlier task of this batch writes %1").arg(name);
        if (m_taken.contains(PathKey(wanted)) && !sameFile(wanted, task.InputFile))
            return QCoreApplication::translate("OutputNaming", "%1 is the input of another task of this batch").arg(name);
        return QString();
    };
    QString reason = path == own ? QString() : why(own);
    if (reason.isEmpty() && path != alone)
        reason = why(alone);
    if (renameNote)
        *renameNote = reason.isEmpty() ? QString()
                                       : QCoreApplication::translate("OutputNaming", "Renamed to %1: %2").arg(QFileInfo(path).fileName(), reason);
    const QString key = PathKey(path);
    m_taken.insert(key);
    m_outputs.insert(key);
    return path;
}
