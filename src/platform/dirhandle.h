#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <utility>

#include <sys/stat.h>
#include <sys/types.h>

// A descriptor that is closed when its holder goes.
class FileDescriptor final
{
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(FileDescriptor &&other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    FileDescriptor &operator=(FileDescriptor &&other) noexcept
    {
        if (this != &other)
            reset(std::exchange(other.m_fd, -1));
        return *this;
    }
    Q_DISABLE_COPY(FileDescriptor)

    int get() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }
    void reset(int fd = -1);

private:
    int m_fd = -1;
};

// Why a name in a folder did not open as a file of ours.
enum class Refusal {
    None,
    Missing,    // nothing under the name
    Exists,     // something under a name that was to be made
    Link,       // a symbolic link: never followed
    NotRegular, // a folder, a pipe, a device...
    NotOurs,    // another user's file
    HardLinked, // a file with more than one name
    Failed,     // the system refused (errno tells)
};

// A folder opened once and from then on reached only through its descriptor:
// the way to every file the program opens, makes, renames or removes in a
// folder other users may write (an output folder, a watched folder). A name
// is looked up once, in this folder, never through a link: a name swapped
// meanwhile by someone else leads nowhere, and a planted link is refused.
// A file opened here is checked after it is open (fstat): a regular file of
// ours with one name, else it is closed unread and unwritten.
class DirHandle final
{
public:
    DirHandle() = default;
    DirHandle(DirHandle &&) noexcept = default;
    DirHandle &operator=(DirHandle &&) noexcept = default;
    Q_DISABLE_COPY(DirHandle)

    // The folder at `path` as the user named it (links along the path are
    // the user's own and are followed); empty: the current folder.
    static DirHandle open(const QString &path);
    // The folder `name` in this one; never through a link (ELOOP/ENOTDIR).
    DirHandle folder(const QByteArray &name) const;

    bool isOpen() const { return m_fd.isOpen(); }
    int fd() const { return m_fd.get(); }

    // Opens the file `name` with `flags` (O_RDONLY, O_RDWR | O_APPEND, ...)
    // if it is a regular file of ours with one name; O_NOFOLLOW, O_NOCTTY,
    // O_NONBLOCK and O_CLOEXEC are added, so a link, a pipe or a terminal
    // planted there is neither followed nor waited for. Closed, with the
    // reason in `why`, when not.
    FileDescriptor openFile(const QByteArray &name, int flags, Refusal *why = nullptr) const;
    // Makes the file `name` with `mode` and opens it: only when nothing,
    // not even a link, stands under the name (O_EXCL).
    FileDescriptor createFile(const QByteArray &name, int flags, mode_t mode, Refusal *why = nullptr) const;
    // Opens the file `name` as openFile does, making it first when nothing
    // stands there.
    FileDescriptor openOrCreateFile(const QByteArray &name, int flags, mode_t mode, Refusal *why = nullptr) const;

    // mkdirat; a folder already there counts when `existing` is true.
    bool makeFolder(const QByteArray &name, mode_t mode, bool existing = false) const;
    // Gives the entry `name` the name `toName` in `to` (renameat): one step
    // that replaces whatever entry stood there and never writes through it.
    bool rename(const QByteArray &name, const DirHandle &to, const QByteArray &toName) const;
    // Renames within this folder only when nothing stands at `toName`.
    bool renameNoReplace(const QByteArray &name, const QByteArray &toName) const;
    // unlinkat: a link goes as a link; a folder only when empty.
    bool removeFile(const QByteArray &name) const;
    bool removeFolder(const QByteArray &name) const;

    // The names in the folder, without "." and "..".
    QList<QByteArray> entries() const;
    // fstat of the folder; lstat of `name` in it.
    bool stat(struct stat *info) const;
    bool statAt(const QByteArray &name, struct stat *info) const;
    // Whether `name` names the file `info` describes (a name may have been
    // swapped since it was opened).
    bool leadsTo(const QByteArray &name, const struct stat &info) const;

    static bool SameFile(const struct stat &a, const struct stat &b);
    // Owned by the user this process runs as.
    static bool IsOurs(const struct stat &info);
    // The file name as bytes for the calls above.
    static QByteArray NativeName(const QString &name);

private:
    explicit DirHandle(int fd) : m_fd(fd) {}
    FileDescriptor checked(int fd, Refusal *why) const;

    FileDescriptor m_fd;
};
