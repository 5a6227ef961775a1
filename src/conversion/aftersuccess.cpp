#include "conversion/aftersuccess.h"

#include "conversion/enginecommand.h"
#include "conversion/taskrecord.h"
#include "platform/dirhandle.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QUrl>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {

struct Texts
{
    Q_DECLARE_TR_FUNCTIONS(AfterSuccess)
};

QString errorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The folder `name` in `parent`, made (0700) when missing; never through a
// link, and only a folder of ours.
DirHandle ownFolder(const DirHandle &parent, const QByteArray &name)
{
    if (!parent.isOpen() || !parent.makeFolder(name, 0700, true))
        return {};
    DirHandle folder = parent.folder(name);
    struct stat info{};
    if (!folder.isOpen() || !folder.stat(&info) || !DirHandle::IsOurs(info))
        return {};
    return folder;
}

// Where a file of the volume `device` goes to the trash, and how its
// .trashinfo names it: absolute in the home trash, relative to the volume's
// top folder in the volume's own.
struct TrashPlace
{
    DirHandle trash;
    QString topFolder; // empty: the home trash
};

TrashPlace trashFor(const OriginalFile &original, const QString &homeTrash)
{
    const QString home = homeTrash.isEmpty()
        ? QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Trash")
        : homeTrash;
    const QFileInfo homeInfo(home);
    QDir().mkpath(homeInfo.absolutePath());
    struct stat dataHome{};
    if (::stat(QFile::encodeName(homeInfo.absolutePath()).constData(), &dataHome) == 0
        && dataHome.st_dev == original.info.st_dev)
        return {ownFolder(DirHandle::open(homeInfo.absolutePath()), QFile::encodeName(homeInfo.fileName())), {}};

    const QString top = QStorageInfo(QFileInfo(original.path).absolutePath()).rootPath();
    const DirHandle topFolder = DirHandle::open(top);
    const QByteArray uid = QByteArray::number(::getuid());
    // An administrator's shared trash: a real folder with the sticky bit.
    struct stat shared{};
    if (topFolder.statAt(".Trash", &shared) && S_ISDIR(shared.st_mode) && (shared.st_mode & S_ISVTX))
        return {ownFolder(topFolder.folder(".Trash"), uid), top};
    return {ownFolder(topFolder, ".Trash-" + uid), top};
}

QString trashInfo(const QString &path, const QString &topFolder)
{
    QString named = QFileInfo(path).absoluteFilePath();
    if (!topFolder.isEmpty())
        named = QDir(topFolder).relativeFilePath(named);
    return QStringLiteral("[Trash Info]\nPath=%1\nDeletionDate=%2\n")
        .arg(QString::fromLatin1(QUrl::toPercentEncoding(named, "/")),
             QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss")));
}

} // namespace

std::optional<OriginalFile> OriginalFile::Read(const QString &path)
{
    OriginalFile file{path, {}};
    if (::lstat(QFile::encodeName(path).constData(), &file.info) != 0 || !S_ISREG(file.info.st_mode))
        return std::nullopt;
    return file;
}

QString MoveToTrash(const OriginalFile &original, const QString &homeTrash)
{
    const QFileInfo file(original.path);
    const DirHandle folder = DirHandle::open(file.absolutePath());
    const QByteArray name = DirHandle::NativeName(file.fileName());
    if (!folder.isOpen() || !folder.leadsTo(name, original.info))
        return Texts::tr("its name no longer leads to the file that was converted.");
    const TrashPlace place = trashFor(original, homeTrash);
    const DirHandle files = ownFolder(place.trash, "files");
    const DirHandle info = ownFolder(place.trash, "info");
    if (!files.isOpen() || !info.isOpen())
        return Texts::tr("there is no trash of yours on its volume.");

    // A name that neither the trash's files nor its records use yet.
    const QString base = file.completeBaseName();
    const QString suffix = file.suffix().isEmpty() ? QString() : QLatin1Char('.') + file.suffix();
    for (int n = 1; n < 10000; ++n) {
        const QString candidate = n == 1 ? file.fileName() : QStringLiteral("%1.%2%3").arg(base).arg(n).arg(suffix);
        const QByteArray trashed = DirHandle::NativeName(candidate);
        const QByteArray record = trashed + ".trashinfo";
        struct stat taken{};
        if (files.statAt(trashed, &taken))
            continue;
        Refusal why = Refusal::None;
        const FileDescriptor written = info.createFile(record, O_WRONLY, 0600, &why);
        if (why == Refusal::Exists)
            continue;
        const QByteArray text = trashInfo(original.path, place.topFolder).toUtf8();
        if (!written.isOpen() || ::write(written.get(), text.constData(), text.size()) != text.size()) {
            const QString reason = errorText(errno);
            info.removeFile(record);
            return Texts::tr("its trash record could not be written: %1.").arg(reason);
        }
        // The name is checked once more just before it moves.
        if (!folder.leadsTo(name, original.info) || !folder.rename(name, files, trashed)) {
            const QString reason = errorText(errno);
            info.removeFile(record);
            return Texts::tr("it could not be moved to the trash: %1.").arg(reason);
        }
        return QString();
    }
    return Texts::tr("the trash has no free name for it.");
}

QString DisposeOriginal(OriginalAction action, const OriginalFile &original, const QString &output,
                        const QString &homeTrash)
{
    if (action == OriginalAction::Keep)
        return QString();
    struct stat written{};
    QString why;
    if (::stat(QFile::encodeName(output).constData(), &written) == 0 && DirHandle::SameFile(written, original.info)) {
        why = Texts::tr("it is the output itself.");
    } else if (action == OriginalAction::Trash) {
        why = MoveToTrash(original, homeTrash);
    } else {
        const QFileInfo file(original.path);
        const DirHandle folder = DirHandle::open(file.absolutePath());
        const QByteArray name = DirHandle::NativeName(file.fileName());
        if (!folder.isOpen() || !folder.leadsTo(name, original.info))
            why = Texts::tr("its name no longer leads to the file that was converted.");
        else if (!folder.removeFile(name))
            why = Texts::tr("it could not be deleted: %1.").arg(errorText(errno));
    }
    return why.isEmpty() ? QString() : Texts::tr("The original was kept: %1").arg(why);
}

QString DisposedNote(OriginalAction action)
{
    switch (action) {
    case OriginalAction::Trash: return Texts::tr("The original was moved to the trash.");
    case OriginalAction::Delete: return Texts::tr("The original was deleted.");
    case OriginalAction::Keep: break;
    }
    return QString();
}

QString RunDoneCommand(const QString &command, const QProcessEnvironment &environment)
{
    QStringList arguments = SplitCommandLine(command);
    if (arguments.isEmpty())
        return QString();
    QProcess process;
    process.setProgram(arguments.takeFirst());
    process.setArguments(arguments);
    QProcessEnvironment all = QProcessEnvironment::systemEnvironment();
    all.insert(environment);
    process.setProcessEnvironment(all);
    process.setStandardInputFile(QProcess::nullDevice());
    if (!process.startDetached())
        return Texts::tr("The command \"%1\" could not be started.").arg(process.program());
    return QString();
}

QProcessEnvironment TaskDoneEnvironment(const QString &input, const QString &output, const QString &rowStatus,
                                        const QString &original)
{
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("VANTORIX_INPUT"), input);
    environment.insert(QStringLiteral("VANTORIX_OUTPUT"), output);
    const QString status = rowStatus == RowStatus::Complete ? QStringLiteral("complete")
        : rowStatus == RowStatus::Failed                    ? QStringLiteral("failed")
        : rowStatus == RowStatus::NotSmaller                ? QStringLiteral("not-smaller")
                                                            : QStringLiteral("stopped");
    environment.insert(QStringLiteral("VANTORIX_STATUS"), status);
    environment.insert(QStringLiteral("VANTORIX_ORIGINAL"), original);
    return environment;
}

QString OriginalActionName(OriginalAction action)
{
    switch (action) {
    case OriginalAction::Trash: return QStringLiteral("trash");
    case OriginalAction::Delete: return QStringLiteral("delete");
    case OriginalAction::Keep: break;
    }
    return QStringLiteral("keep");
}

std::optional<OriginalAction> OriginalActionFromName(const QString &name)
{
    for (OriginalAction action : {OriginalAction::Keep, OriginalAction::Trash, OriginalAction::Delete})
        if (name.compare(OriginalActionName(action), Qt::CaseInsensitive) == 0)
            return action;
    return std::nullopt;
}
