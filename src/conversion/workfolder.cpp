#include "conversion/workfolder.h"

#include "platform/logging.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QRandomGenerator>
#include <QSet>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A folder is made under this name, locked, then renamed to its working
// name: a folder under the working name always holds a token and a lock.
const QString MakingPrefix = QStringLiteral(".vantorix-make-");
constexpr char LockName[] = ".lock";
constexpr char TokenName[] = ".token";
constexpr char TokenMark[] = "vantorix-work";
constexpr int MakeAttempts = 64;
// A token is one line and a name per work file: more is not ours.
constexpr qsizetype MaxTokenBytes = 1 << 20;

// The texts a person reads, translated in this file's own context.
struct Texts
{
    Q_DECLARE_TR_FUNCTIONS(WorkFolder)
};

QString errorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QByteArray nativeName(const QString &name)
{
    return DirHandle::NativeName(name);
}

// The token's first line: a random part and the folder it was made in.
QByteArray tokenLine(const QByteArray &random, const struct stat &folder)
{
    return QByteArray(TokenMark) + ' ' + random + ' ' + QByteArray::number(quint64(folder.st_dev)) + ' '
           + QByteArray::number(quint64(folder.st_ino)) + '\n';
}

QByteArray randomHex(int bytes)
{
    QByteArray raw(bytes, '\0');
    for (char &byte : raw)
        byte = char(QRandomGenerator::system()->bounded(256));
    return raw.toHex();
}

// A work file's place in the folder as the token lists it (percent-encoded,
// a line each): "NAME", or "N/NAME" in the folder of its own a second user
// of a name gets.
QByteArray madePath(const QString &subdir, const QString &name)
{
    return (subdir.isEmpty() ? QByteArray() : nativeName(subdir) + '/') + nativeName(name);
}

// The folders this process holds. A look at one of them never touches its
// lock file: where locks are emulated per process (NFS), closing any
// descriptor of the file would let the lock go.
QMutex heldMutex;
QSet<QPair<dev_t, ino_t>> held;

void setHeld(const struct stat &folder, bool isHeld)
{
    const QMutexLocker locker(&heldMutex);
    if (isHeld)
        held.insert({folder.st_dev, folder.st_ino});
    else
        held.remove({folder.st_dev, folder.st_ino});
}

bool isHeldHere(const struct stat &folder)
{
    const QMutexLocker locker(&heldMutex);
    return held.contains({folder.st_dev, folder.st_ino});
}

// Whether `folder` (`info`) proves to be a work folder of ours: a folder of
// our own, mode 0700, holding a token of ours (0600) made for this very
// folder. Then `made` gets the work files the token lists.
bool provesOurs(const DirHandle &folder, const struct stat &info, QList<QByteArray> *made)
{
    if (!S_ISDIR(info.st_mode) || !DirHandle::IsOurs(info) || (info.st_mode & 07777) != 0700)
        return false;
    const FileDescriptor token = folder.openFile(TokenName, O_RDONLY);
    struct stat tokenInfo{};
    if (!token.isOpen() || ::fstat(token.get(), &tokenInfo) != 0 || (tokenInfo.st_mode & 07777) != 0600
        || tokenInfo.st_size > MaxTokenBytes)
        return false;
    QByteArray content(qsizetype(tokenInfo.st_size), '\0');
    if (::pread(token.get(), content.data(), size_t(content.size()), 0) != content.size())
        return false;
    QList<QByteArray> lines = content.split('\n');
    const QList<QByteArray> first = lines.takeFirst().split(' ');
    if (first.size() != 4 || first[0] != TokenMark || first[1].size() != 32
        || first[2] != QByteArray::number(quint64(info.st_dev)) || first[3] != QByteArray::number(quint64(info.st_ino)))
        return false;
    for (const QByteArray &line : std::as_const(lines)) {
        if (!line.isEmpty())
            *made << QByteArray::fromPercentEncoding(line);
    }
    return true;
}

// Removes what a work folder of ours holds by the names it made: each work
// file and the folder it had of its own, the token and the lock; then the
// folder, only while `name` in `parent` still leads to it. Anything else
// found inside stays, and so does the folder then. True when it went.
bool removeMade(const DirHandle &parent, const QByteArray &name, const DirHandle &folder,
                const QList<QByteArray> &made)
{
    struct stat info{};
    if (!folder.stat(&info))
        return false;
    for (const QByteArray &path : made) {
        const qsizetype slash = path.indexOf('/');
        const QByteArray file = path.mid(slash + 1);
        if (file.isEmpty() || file.contains('/') || file == "." || file == "..")
            continue;
        if (slash < 0) {
            folder.removeFile(file);
            continue;
        }
        const QByteArray subdir = path.left(slash);
        const DirHandle own = folder.folder(subdir);
        if (own.isOpen())
            own.removeFile(file);
        folder.removeFolder(subdir); // only when nothing else is in it
    }
    folder.removeFile(TokenName);
    folder.removeFile(LockName);
    return parent.leadsTo(name, info) && parent.removeFolder(name);
}

int sweep(const DirHandle &output)
{
    int removed = 0;
    for (const QByteArray &name : output.entries()) {
        if (!name.startsWith(WorkFolder::NamePrefix.toLatin1()) && !name.startsWith(MakingPrefix.toLatin1()))
            continue;
        const DirHandle folder = output.folder(name);
        struct stat info{};
        if (!folder.isOpen() || !folder.stat(&info) || isHeldHere(info))
            continue; // a link or a file under the name: never followed, never ours
        QList<QByteArray> made;
        if (!provesOurs(folder, info, &made)) {
            qCInfo(lcRun) << "left alone, not a work folder of ours:" << name;
            continue;
        }
        // Held while its contents go: a free lock stays free, since its owner
        // is gone and nobody takes a folder over.
        const FileDescriptor lock = folder.openFile(LockName, O_RDWR);
        if (!lock.isOpen() || ::flock(lock.get(), LOCK_EX | LOCK_NB) != 0)
            continue;
        if (removeMade(output, name, folder, made)) {
            qCInfo(lcRun) << "removed the work folder of an ended run:" << name;
            ++removed;
        } else {
            qCInfo(lcRun) << "kept the work folder of an ended run, something else is in it:" << name;
        }
    }
    return removed;
}

QString randomSuffix()
{
    static constexpr char Letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QString suffix;
    for (int i = 0; i < 6; ++i)
        suffix += QLatin1Char(Letters[QRandomGenerator::system()->bounded(int(sizeof Letters) - 1)]);
    return suffix;
}

// The components of a path, without empty ones.
QStringList components(const QString &path)
{
    return QDir::fromNativeSeparators(path).split(QLatin1Char('/'), Qt::SkipEmptyParts);
}

qsizetype workComponent(const QString &path)
{
    const QStringList parts = components(path);
    for (qsizetype i = parts.size() - 1; i >= 0; --i) {
        if (parts[i].startsWith(WorkFolder::NamePrefix))
            return i;
    }
    return -1;
}

} // namespace

std::unique_ptr<WorkFolder> WorkFolder::create(const QString &outputFolder, QString *error)
{
    return create(outputFolder, QString(), error);
}

std::unique_ptr<WorkFolder> WorkFolder::create(const QString &outputFolder, const QString &subfolders, QString *error)
{
    const auto fail = [&](const QString &why) -> std::unique_ptr<WorkFolder> {
        if (error)
            *error = why;
        return nullptr;
    };
    std::unique_ptr<WorkFolder> folder(new WorkFolder);
    folder->m_outputFolder = outputFolder;
    folder->m_output = DirHandle::open(outputFolder);
    if (!folder->m_output.isOpen())
        return fail(Texts::tr("The output folder %1 cannot be opened: %2.")
                        .arg(QDir::toNativeSeparators(outputFolder), errorText(errno)));
    for (const QString &part : components(subfolders)) {
        const QString parent = folder->m_outputFolder.isEmpty() ? QStringLiteral(".") : folder->m_outputFolder;
        folder->m_outputFolder = (parent.endsWith(QLatin1Char('/')) ? parent : parent + QLatin1Char('/')) + part;
        const QString made = QDir::toNativeSeparators(folder->m_outputFolder);
        const QByteArray name = nativeName(part);
        if (part == QLatin1String(".") || part == QLatin1String(".."))
            return fail(Texts::tr("The output folder %1 is not below %2.").arg(made, QDir::toNativeSeparators(outputFolder)));
        if (!folder->m_output.makeFolder(name, 0777, true))
            return fail(Texts::tr("The output folder %1 cannot be made: %2.").arg(made, errorText(errno)));
        DirHandle next = folder->m_output.folder(name);
        if (!next.isOpen())
            return fail(errno == ELOOP || errno == ENOTDIR
                            ? Texts::tr("%1 is a link or a file, not a folder: no output is written through it.").arg(made)
                            : Texts::tr("The output folder %1 cannot be opened: %2.").arg(made, errorText(errno)));
        folder->m_output = std::move(next);
    }
    const QString shown = QDir::toNativeSeparators(folder->m_outputFolder);
    const DirHandle &output = folder->m_output;
    sweep(output);

    int lastError = 0;
    for (int attempt = 0; attempt < MakeAttempts; ++attempt) {
        const QString suffix = randomSuffix();
        const QByteArray making = nativeName(MakingPrefix + suffix);
        const QByteArray working = nativeName(NamePrefix + suffix);
        if (!output.makeFolder(making, 0700)) {
            lastError = errno;
            if (errno == EEXIST)
                continue;
            break;
        }
        DirHandle made = output.folder(making);
        FileDescriptor token;
        FileDescriptor lock;
        bool ready = false;
        struct stat info{};
        struct stat lockInfo{};
        if (made.isOpen() && made.stat(&info) && S_ISDIR(info.st_mode) && DirHandle::IsOurs(info)
            && ::fchmod(made.fd(), 0700) == 0 && made.stat(&info)) {
            // The token first, the lock next: a folder without both is
            // never taken for one of ours.
            token = made.createFile(TokenName, O_WRONLY | O_APPEND, 0600);
            const QByteArray line = tokenLine(randomHex(16), info);
            lock = made.createFile(LockName, O_RDWR, 0600);
            // Renamed only once locked, and checked after: the working name
            // leads to this folder, and its lock file is the one we hold.
            ready = token.isOpen() && ::fchmod(token.get(), 0600) == 0
                    && ::write(token.get(), line.constData(), size_t(line.size())) == line.size() && lock.isOpen()
                    && ::flock(lock.get(), LOCK_EX | LOCK_NB) == 0 && output.renameNoReplace(making, working)
                    && ::fstat(lock.get(), &lockInfo) == 0 && made.leadsTo(LockName, lockInfo)
                    && output.leadsTo(working, info);
        }
        lastError = errno;
        if (ready) {
            setHeld(info, true);
            folder->m_folder = std::move(made);
            folder->m_lock = std::move(lock);
            folder->m_token = std::move(token);
            folder->m_name = NamePrefix + suffix;
            break;
        }
        // Only what this attempt made goes: the folder it opened may be
        // another one swapped in under the name meanwhile.
        if (token.isOpen())
            made.removeFile(TokenName);
        if (lock.isOpen())
            made.removeFile(LockName);
        if (made.isOpen() && made.stat(&info)) {
            for (const QByteArray &name : {making, working}) {
                if (output.leadsTo(name, info))
                    output.removeFolder(name);
            }
        }
    }
    if (!folder->m_folder.isOpen())
        return fail(Texts::tr("No work folder can be made in %1: %2.").arg(shown, errorText(lastError)));

    folder->m_path = QDir(folder->m_outputFolder.isEmpty() ? QStringLiteral(".") : folder->m_outputFolder)
                         .absoluteFilePath(folder->m_name);
    // The engine reaches the folder through our descriptor where /proc shows
    // it: a name swapped in the output folder meanwhile is not looked at.
    folder->m_anchor = folder->m_path;
    const QString anchor = QStringLiteral("/proc/%1/fd/%2").arg(::getpid()).arg(folder->m_folder.fd());
    struct stat own{};
    struct stat seen{};
    if (folder->m_folder.stat(&own) && ::stat(nativeName(anchor).constData(), &seen) == 0 && DirHandle::SameFile(own, seen))
        folder->m_anchor = anchor;
    return folder;
}

int WorkFolder::SweepAbandoned(const QString &outputFolder)
{
    const DirHandle output = DirHandle::open(outputFolder);
    return output.isOpen() ? sweep(output) : 0;
}

bool WorkFolder::IsWorkPath(const QString &path)
{
    return workComponent(path) >= 0;
}

QString WorkFolder::OutputFolderOf(const QString &workPath)
{
    const qsizetype index = workComponent(workPath);
    if (index < 0)
        return QString();
    const QString joined = components(workPath).mid(0, index).join(QLatin1Char('/'));
    return QDir::fromNativeSeparators(workPath).startsWith(QLatin1Char('/')) ? QLatin1Char('/') + joined : joined;
}

WorkFolder::~WorkFolder()
{
    if (m_folder.isOpen()) {
        removeMade(m_output, nativeName(m_name), m_folder, m_made);
        struct stat info{};
        if (m_folder.stat(&info))
            setHeld(info, false);
    }
    // The lock goes last: until the folder is gone, nobody else removes it.
    m_token.reset();
    m_lock.reset();
}

QString WorkFolder::workPathFor(const QString &finalPath) const
{
    Slot slot{QFileInfo(finalPath).fileName(), QString()};
    if (slot.name.isEmpty())
        return QString();
    const bool taken = std::any_of(m_slots.cbegin(), m_slots.cend(), [&](const Slot &used) { return used.name == slot.name; });
    if (taken) {
        // A second user of one name gets a folder of its own, so the file
        // keeps the final name and nothing is shared.
        slot.subdir = QString::number(++m_subdirs);
        if (!m_folder.makeFolder(nativeName(slot.subdir), 0700))
            return QString();
    }
    // Listed in the token before the engine may write it, so that a sweep
    // after a crash knows it for ours.
    const QByteArray made = madePath(slot.subdir, slot.name);
    const QByteArray line = made.toPercentEncoding("/") + '\n';
    if (::write(m_token.get(), line.constData(), size_t(line.size())) != line.size())
        return QString();
    m_made << made;
    const QString path = enginePath(slot);
    m_slots.insert(path, slot);
    return path;
}

QString WorkFolder::enginePath(const Slot &slot) const
{
    QString path = m_anchor + QLatin1Char('/');
    if (!slot.subdir.isEmpty())
        path += slot.subdir + QLatin1Char('/');
    return path + slot.name;
}

DirHandle WorkFolder::slotFolder(const Slot &slot) const
{
    return m_folder.folder(slot.subdir.isEmpty() ? QByteArray(".") : nativeName(slot.subdir));
}

QString WorkFolder::commit(const QString &workPath, const QString &finalPath,
                           const std::optional<struct timespec> &modified)
{
    const auto found = m_slots.constFind(workPath);
    if (found == m_slots.cend())
        return Texts::tr("The output was not written in this run's work folder.");
    const Slot slot = *found;
    const QFileInfo final(finalPath);
    const QString finalName = final.fileName();
    if (finalName.isEmpty() || QDir(final.absolutePath()) != QDir(QFileInfo(m_path).absolutePath()))
        return Texts::tr("%1 is not in the output folder %2.")
            .arg(QDir::toNativeSeparators(finalPath), QDir::toNativeSeparators(m_outputFolder));

    const DirHandle dir = slotFolder(slot);
    if (!dir.isOpen())
        return Texts::tr("The engine's work folder is gone: %1.").arg(errorText(errno));
    const QByteArray name = nativeName(slot.name);
    Refusal why = Refusal::None;
    const FileDescriptor file = dir.openFile(name, O_RDONLY, &why);
    struct stat info{};
    QString reason;
    if (why == Refusal::Missing)
        reason = Texts::tr("The engine wrote no output.");
    else if (why == Refusal::Link)
        reason = Texts::tr("The output is a link, not a file.");
    else if (why == Refusal::NotRegular)
        reason = Texts::tr("The output is not a regular file.");
    else if (why == Refusal::NotOurs || why == Refusal::HardLinked)
        reason = Texts::tr("The output is not the engine's own file.");
    else if (!file.isOpen() || ::fstat(file.get(), &info) != 0)
        reason = Texts::tr("The output cannot be read: %1.").arg(errorText(errno));
    else if (info.st_size == 0)
        reason = Texts::tr("The output is empty.");
    // The input's date: the file is ours, so its times are ours to set.
    else if (modified && ::futimens(file.get(), std::array<struct timespec, 2>{{{0, UTIME_OMIT}, *modified}}.data()) != 0)
        reason = Texts::tr("The output's date could not be set: %1.").arg(errorText(errno));
    // rename(2) swaps the directory entry in one step: whatever stood under
    // the final name (a file, a hard or symbolic link) is replaced, and its
    // data, or a link's target, is left alone.
    else if (!dir.rename(name, m_output, nativeName(finalName)))
        reason = Texts::tr("The output could not be saved as %1: %2.").arg(finalName, errorText(errno));
    if (reason.isEmpty())
        release(workPath);
    return reason;
}

void WorkFolder::discard(const QString &workPath)
{
    const auto found = m_slots.constFind(workPath);
    if (found == m_slots.cend())
        return;
    const DirHandle dir = slotFolder(*found);
    if (dir.isOpen())
        dir.removeFile(nativeName(found->name));
    release(workPath);
}

void WorkFolder::release(const QString &workPath)
{
    const Slot slot = m_slots.take(workPath);
    if (!slot.subdir.isEmpty())
        m_folder.removeFolder(nativeName(slot.subdir));
}

std::shared_ptr<WorkFolder> WorkFolders::folderFor(const QString &outputFolder, const QString &subfolders,
                                                   QString *error)
{
    const QString key = outputFolder + QLatin1Char('\n') + subfolders;
    auto found = m_folders.find(key);
    if (found == m_folders.end()) {
        Made made;
        made.folder = WorkFolder::create(outputFolder, subfolders, &made.error);
        found = m_folders.insert(key, made);
    }
    if (error)
        *error = found->error;
    return found->folder;
}
