#include "conversion/watchfolder.h"

#include "conversion/tasklistops.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileSystemWatcher>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString identity(const WatchedFile &file)
{
    return QStringLiteral("%1\t%2\t%3").arg(file.size).arg(file.modifiedMs).arg(file.path);
}

QByteArray encodedPath(const QString &path)
{
    QByteArray bytes = path.toUtf8();
    bytes.replace('%', "%25").replace('\t', "%09").replace('\n', "%0A").replace('\r', "%0D");
    return bytes;
}

bool isNumber(const char *name)
{
    return *name != '\0' && std::all_of(name, name + std::strlen(name), [](char c) { return c >= '0' && c <= '9'; });
}

// The access mode of a descriptor, from the "flags:" line of its fdinfo
// (octal); -1 when it cannot be read.
int accessMode(int procFd, const QByteArray &pid, const char *fd)
{
    const QByteArray path = pid + "/fdinfo/" + fd;
    const int info = ::openat(procFd, path.constData(), O_RDONLY | O_CLOEXEC);
    if (info < 0)
        return -1;
    char text[512];
    const ssize_t length = ::read(info, text, sizeof text - 1);
    ::close(info);
    if (length <= 0)
        return -1;
    const QByteArray content(text, length);
    const qsizetype at = content.indexOf("flags:");
    if (at < 0)
        return -1;
    bool ok = false;
    const int flags = content.mid(at + 6).split('\n').constFirst().trimmed().toInt(&ok, 8);
    return ok ? (flags & O_ACCMODE) : -1;
}

} // namespace

WatchedFile WatchedFileNow(const QString &path)
{
    WatchedFile file{path, -1, 0};
    const QByteArray name = QFile::encodeName(path);
    struct stat info = {};
    if (::lstat(name.constData(), &info) != 0 || (S_ISLNK(info.st_mode) && !DirHandle::IsOurs(info)))
        return file;
    if (::stat(name.constData(), &info) == 0 && S_ISREG(info.st_mode)) {
        file.size = info.st_size;
        file.modifiedMs = qint64(info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / 1000000;
    }
    return file;
}

QSet<QString> FilesOpenForWriting(const QStringList &files)
{
    QHash<QPair<dev_t, ino_t>, QString> wanted;
    for (const QString &path : files) {
        struct stat info = {};
        if (::stat(QFile::encodeName(path).constData(), &info) == 0)
            wanted.insert({info.st_dev, info.st_ino}, path);
    }
    QSet<QString> held;
    if (wanted.isEmpty())
        return held;
    DIR *proc = ::opendir("/proc");
    if (!proc)
        return held;
    const int procFd = ::dirfd(proc);
    while (const dirent *process = ::readdir(proc)) {
        if (!isNumber(process->d_name))
            continue;
        const QByteArray pid(process->d_name);
        const int fdFolder = ::openat(procFd, (pid + "/fd").constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fdFolder < 0)
            continue; // gone, or not ours to read
        DIR *descriptors = ::fdopendir(fdFolder);
        if (!descriptors) {
            ::close(fdFolder);
            continue;
        }
        while (const dirent *fd = ::readdir(descriptors)) {
            if (!isNumber(fd->d_name))
                continue;
            struct stat info = {};
            if (::fstatat(fdFolder, fd->d_name, &info, 0) != 0)
                continue;
            const auto found = wanted.constFind({info.st_dev, info.st_ino});
            if (found == wanted.cend() || held.contains(*found))
                continue;
            const int mode = accessMode(procFd, pid, fd->d_name);
            if (mode == O_WRONLY || mode == O_RDWR)
                held.insert(*found);
        }
        ::closedir(descriptors);
    }
    ::closedir(proc);
    return held;
}

WatchJournal::WatchJournal(QString path) : m_path(std::move(path))
{
    const QFileInfo info(m_path);
    m_folder = DirHandle::open(info.path());
    m_name = DirHandle::NativeName(info.fileName());
    if (!open(false))
        return;
    QByteArray content;
    char buffer[65536];
    for (ssize_t got; (got = ::pread(m_file.get(), buffer, sizeof buffer, off_t(content.size()))) > 0;)
        content.append(buffer, got);
    const QList<QByteArray> lines = content.split('\n');
    // The part after the last line break is a line cut short: ignored.
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].split('\t');
        if (fields.size() != 4)
            continue;
        bool sizeOk = false, timeOk = false;
        WatchedFile done;
        done.size = fields[0].toLongLong(&sizeOk);
        done.modifiedMs = fields[1].toLongLong(&timeOk);
        done.path = QString::fromUtf8(QByteArray::fromPercentEncoding(fields[3]));
        if (sizeOk && timeOk && !done.path.isEmpty())
            m_done.insert(key(done));
    }
}

bool WatchJournal::open(bool create)
{
    struct stat info{};
    if (m_file.isOpen() && ::fstat(m_file.get(), &info) == 0 && m_folder.leadsTo(m_name, info))
        return true;
    // Not open yet, or its name leads elsewhere now (removed, or swapped by
    // someone else): the name is looked at afresh.
    m_file.reset();
    if (!m_folder.isOpen())
        m_folder = DirHandle::open(QFileInfo(m_path).path());
    Refusal why = Refusal::Failed;
    if (m_folder.isOpen()) {
        m_file = create ? m_folder.openOrCreateFile(m_name, O_RDWR | O_APPEND, 0644, &why)
                        : m_folder.openFile(m_name, O_RDWR | O_APPEND, &why);
    }
    const QString shown = QDir::toNativeSeparators(m_path);
    switch (why) {
    case Refusal::None:
        m_error.clear();
        return true;
    case Refusal::Missing:
        if (!create)
            return false;
        break;
    case Refusal::Link:
        m_error = QCoreApplication::translate("WatchJournal", "%1 is a link: the watch journal is never written through one. "
                                                              "Remove it, or choose another output folder.").arg(shown);
        return false;
    case Refusal::NotOurs:
        m_error = QCoreApplication::translate("WatchJournal", "%1 belongs to another user: the watch journal is kept only in a "
                                                              "file of your own. Remove it, or choose another output folder.")
                      .arg(shown);
        return false;
    case Refusal::HardLinked:
        m_error = QCoreApplication::translate("WatchJournal", "%1 has a second name (a hard link): the watch journal is kept only "
                                                              "in a file of its own. Remove it, or choose another output folder.")
                      .arg(shown);
        return false;
    case Refusal::NotRegular:
        m_error = QCoreApplication::translate("WatchJournal", "%1 is not a regular file: the watch journal is kept only in a "
                                                              "file of its own. Remove it, or choose another output folder.")
                      .arg(shown);
        return false;
    case Refusal::Exists:
    case Refusal::Failed:
        break;
    }
    m_error = QStringLiteral("%1: %2").arg(shown, QString::fromLocal8Bit(std::strerror(errno)));
    return false;
}

QString WatchJournal::key(const WatchedFile &file)
{
    return identity(file);
}

bool WatchJournal::contains(const WatchedFile &file) const
{
    return m_done.contains(key(file));
}

bool WatchJournal::append(const WatchedFile &file, const QString &status, QString *error)
{
    QByteArray line = QByteArray::number(file.size) + '\t' + QByteArray::number(file.modifiedMs) + '\t'
        + status.toUtf8() + '\t' + encodedPath(file.path) + '\n';
    bool written = open(true);
    if (written) {
        // A line cut short before: it gets one field too many (or an empty
        // path), so that it stays unreadable, and the new line starts on a
        // line of its own.
        char last = '\n';
        const off_t end = ::lseek(m_file.get(), 0, SEEK_END);
        if (end > 0 && ::pread(m_file.get(), &last, 1, end - 1) == 1 && last != '\n')
            line.prepend("\t\n");
        written = ::write(m_file.get(), line.constData(), size_t(line.size())) == line.size() && ::fsync(m_file.get()) == 0;
        if (!written)
            m_error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(m_path),
                                                   QString::fromLocal8Bit(std::strerror(errno)));
    }
    if (!written) {
        if (error)
            *error = m_error;
        return false;
    }
    m_done.insert(key(file));
    return true;
}

WatchFolder::WatchFolder(QString folder, bool recursive, QStringList exts, QObject *parent)
    : QObject(parent)
    , m_folder(std::move(folder))
    , m_recursive(recursive)
    , m_exts(std::move(exts))
    , m_watcher(new QFileSystemWatcher(this))
{
    m_rescan.setInterval(DefaultRescanMs);
    m_soon.setSingleShot(true);
    m_check.setSingleShot(true);
    m_check.setTimerType(Qt::PreciseTimer);
    connect(&m_rescan, &QTimer::timeout, this, &WatchFolder::scan);
    connect(&m_soon, &QTimer::timeout, this, &WatchFolder::scan);
    connect(&m_check, &QTimer::timeout, this, &WatchFolder::checkPending);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] { m_soon.start(0); });
    // A file being settled was written to: its settling starts again.
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, [this](const QString &path) {
        if (!m_pending.contains(path))
            return;
        see(path);
        schedule();
    });
}

WatchFolder::~WatchFolder() = default;

void WatchFolder::start()
{
    if (m_watching)
        return;
    m_watching = true;
    m_rescan.start();
    m_soon.start(0);
}

void WatchFolder::stop()
{
    m_watching = false;
    m_rescan.stop();
    m_soon.stop();
    m_check.stop();
    m_pending.clear();
    if (!m_watcher->directories().isEmpty())
        m_watcher->removePaths(m_watcher->directories());
    if (!m_watcher->files().isEmpty())
        m_watcher->removePaths(m_watcher->files());
}

QStringList WatchFolder::listing()
{
    QStringList folders{m_folder};
    if (m_recursive) {
        // Hidden folders and links to folders are not entered: no loops, and
        // no work in progress of a run.
        QDirIterator below(m_folder, QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (below.hasNext()) {
            const QFileInfo info = below.nextFileInfo();
            if (!info.isSymLink())
                folders << info.filePath();
        }
    }
    const QStringList watched = m_watcher->directories();
    QStringList added;
    for (const QString &folder : std::as_const(folders))
        if (!watched.contains(folder))
            added << folder;
    if (!added.isEmpty())
        m_watcher->addPaths(added);
    QStringList files;
    for (const QString &folder : std::as_const(folders))
        files << ListFolder(folder, false);
    return files;
}

void WatchFolder::scan()
{
    if (!m_watching)
        return;
    const QStringList files = listing();
    const QSet<QString> present(files.cbegin(), files.cend());
    for (auto it = m_pending.begin(); it != m_pending.end();) {
        if (present.contains(it.key())) {
            ++it;
            continue;
        }
        m_watcher->removePath(it.key());
        it = m_pending.erase(it);
    }
    for (const QString &path : files)
        see(path);
    checkPending();
}

bool WatchFolder::finish(const WatchedFile &file, const QString &status, QString *error)
{
    if (status != QLatin1String("complete") && WatchedFileNow(file.path) != file) {
        // Gone at its turn: not a result. Looked for again, in case it is
        // back already.
        m_handedOut.remove(identity(file));
        if (m_watching)
            m_soon.start(0);
        return true;
    }
    return !m_journal || m_journal->append(file, status, error);
}

// A file found by a scan: new or changed ones start settling.
void WatchFolder::see(const QString &path)
{
    const WatchedFile now = WatchedFileNow(path);
    if (now.size < 0 || m_handedOut.contains(identity(now)))
        return;
    if (m_journal && m_journal->contains(now)) {
        m_handedOut.insert(identity(now));
        return;
    }
    const auto found = m_pending.find(path);
    if (found != m_pending.end() && found->file == now)
        return;
    // Watched while it settles, as long as that costs little.
    if (found == m_pending.end() && m_pending.size() < MaxWatchedFiles)
        m_watcher->addPath(path);
    Pending &pending = m_pending[path];
    pending.file = now;
    pending.unchanged.start();
}

void WatchFolder::checkPending()
{
    if (!m_watching)
        return;
    QStringList due;
    for (auto it = m_pending.begin(); it != m_pending.end();) {
        const WatchedFile now = WatchedFileNow(it.key());
        if (now.size < 0) {
            m_watcher->removePath(it.key());
            it = m_pending.erase(it);
            continue;
        }
        if (now != it->file) {
            it->file = now;
            it->unchanged.start();
        } else if (it->unchanged.elapsed() >= m_settleMs) {
            due << it.key();
        }
        ++it;
    }
    const QSet<QString> held = FilesOpenForWriting(due);
    QList<WatchedFile> settledFiles;
    for (const QString &path : std::as_const(due)) {
        if (held.contains(path))
            continue;
        const Pending pending = m_pending.take(path);
        m_watcher->removePath(path);
        m_handedOut.insert(identity(pending.file));
        settledFiles << pending.file;
    }
    std::sort(settledFiles.begin(), settledFiles.end(), [](const WatchedFile &a, const WatchedFile &b) {
        const int folded = a.path.compare(b.path, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a.path < b.path;
    });
    m_held = !held.isEmpty();
    schedule();
    for (const WatchedFile &file : std::as_const(settledFiles)) {
        if (!m_watching)
            break; // stopped by a receiver
        emit settled(file);
    }
}

// The next look at the pending files: when the first of them is due, sooner
// when one was held open for writing.
void WatchFolder::schedule()
{
    if (m_pending.isEmpty()) {
        m_check.stop();
        return;
    }
    qint64 next = m_held ? HeldRecheckMs : m_settleMs;
    for (const Pending &pending : std::as_const(m_pending)) {
        const qint64 left = m_settleMs - pending.unchanged.elapsed();
        if (left > 0) // a due file is here because it is held
            next = std::min(next, left);
    }
    m_check.start(int(next));
}
