#include "profiles/userfolder.h"

#include <QDir>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace {

QString withSeparator(const QString &folder)
{
    if (folder.isEmpty() || folder.endsWith(QLatin1Char('/')) || folder.endsWith(QDir::separator()))
        return folder;
    return folder + QLatin1Char('/');
}

bool canCreateFileIn(const QString &folder)
{
    if (!QDir(folder).exists())
        return false;
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".vantorix-write-test-XXXXXX")));
    return probe.open(); // removed again when probe goes
}

struct WritableDecisions
{
    QMutex mutex;
    FolderWritableTest test;
    QHash<QString, bool> decided;
};

WritableDecisions &decisions()
{
    static WritableDecisions instance;
    return instance;
}

} // namespace

QString UserConfigFolder()
{
    return withSeparator(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        + QStringLiteral("Vantorix/");
}

bool IsProgramFolderWritable(const QString &programFolder)
{
    const QString key = QDir::cleanPath(QDir(programFolder).absolutePath());
    WritableDecisions &d = decisions();
    const QMutexLocker locker(&d.mutex);
    if (d.test)
        return d.test(withSeparator(programFolder));
    const auto found = d.decided.constFind(key);
    if (found != d.decided.constEnd())
        return *found;
    const bool writable = canCreateFileIn(key);
    d.decided.insert(key, writable);
    return writable;
}

QString UserDataFolder(const QString &programFolder)
{
    return IsProgramFolderWritable(programFolder) ? withSeparator(programFolder) : UserConfigFolder();
}

QString DefaultOutputFolder(const QString &programFolder)
{
    if (IsProgramFolderWritable(programFolder))
        return withSeparator(programFolder);
    const QString videos = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (!videos.isEmpty() && QDir(videos).exists())
        return withSeparator(QDir::toNativeSeparators(videos));
    return withSeparator(QDir::toNativeSeparators(QDir::homePath()));
}

void SetFolderWritableTest(FolderWritableTest test)
{
    WritableDecisions &d = decisions();
    const QMutexLocker locker(&d.mutex);
    d.test = std::move(test);
    d.decided.clear();
}
