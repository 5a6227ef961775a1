#pragma once

#include "platform/dirhandle.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>

class QFileSystemWatcher;

// A file of a watched folder as it was seen: its path, size and time of last
// change (milliseconds since the epoch). A file written again is another one.
struct WatchedFile
{
    QString path;
    qint64 size = 0;
    qint64 modifiedMs = 0;

    bool operator==(const WatchedFile &) const = default;
};

// The file as it is now on disk; size -1 when it is not there, or when it is
// reached through a link another user made: in a folder others may write, a
// link planted there would have this user's own files converted into an
// output folder others can read.
WatchedFile WatchedFileNow(const QString &path);

// Of `files`, those some process holds open for writing, found in /proc: each
// process's descriptors that lead to one of the files, and their access mode
// in /proc/<pid>/fdinfo. Processes that cannot be read are passed over.
QSet<QString> FilesOpenForWriting(const QStringList &files);

// What a watched folder has done, kept in the output folder so that a watch
// started again converts only what it has not: one line per file converted or
// failed, "size<TAB>modified<TAB>status<TAB>path", the path with "%", tab and
// line breaks percent-encoded. Each line is appended with a single write and
// flushed to the disk before the call returns; a last line without its line
// break (a write cut short) is ignored, and stays ignored when the next line
// is appended on a line of its own.
//
// The output folder may be one others can write, so the journal is reached
// only through the folder's descriptor and only as a regular file of ours
// with one name (DirHandle): a link, another user's file or a hard link
// planted under its name is refused, neither read nor appended to.
class WatchJournal final
{
public:
    static inline const QString FileName = QStringLiteral(".vantorix-watch.journal");

    // Reads the journal at `path`; a missing file is an empty journal.
    explicit WatchJournal(QString path);

    QString path() const { return m_path; }
    // Why the journal cannot be used, as a sentence; empty when it can.
    QString error() const { return m_error; }
    bool contains(const WatchedFile &file) const;
    int size() const { return static_cast<int>(m_done.size()); }
    // Records the file with its status. False, with the reason, when the line
    // could not be written and flushed (the file then counts as not done).
    bool append(const WatchedFile &file, const QString &status, QString *error = nullptr);

private:
    static QString key(const WatchedFile &file);
    // The journal open and still under its name; made when `create`.
    bool open(bool create);

    QString m_path;
    DirHandle m_folder;
    QByteArray m_name;
    FileDescriptor m_file;
    QString m_error;
    QSet<QString> m_done;
};

// Watches a folder (and with `recursive` its subfolders, links to folders not
// followed, hidden ones left out) for supported files and hands each out once
// it has settled: its size and time of change have stayed the same for the
// settling time and no process holds it open for writing. A file already
// there when watching starts settles like a new one, unless the journal has
// it. The folder's change notices (inotify) start a scan at once; a scan
// every rescan interval finds what file systems without notices bring.
// Everything runs from timers and signals on the caller's thread.
class WatchFolder final : public QObject
{
    Q_OBJECT
public:
    static constexpr int DefaultSettleMs = 10000;
    static constexpr int DefaultRescanMs = 30000;
    // How often a settled file held open for writing is looked at again.
    static constexpr int HeldRecheckMs = 500;
    // Files settling at once that get a change notice of their own; the
    // others are looked at when due.
    static constexpr int MaxWatchedFiles = 1000;

    WatchFolder(QString folder, bool recursive, QStringList exts, QObject *parent = nullptr);
    ~WatchFolder() override;
    Q_DISABLE_COPY_MOVE(WatchFolder)

    void setSettleMs(int ms) { m_settleMs = ms; }
    void setRescanMs(int ms) { m_rescan.setInterval(ms); }
    // Files the journal has are never handed out (may be null).
    void setJournal(WatchJournal *journal) { m_journal = journal; }
    // The end of a file handed out by settled(), recorded in the journal with
    // its status ("complete", "failed", "skipped"). A file that did not
    // complete and is gone at its end (moved away, renamed, deleted, written
    // again) ended because it went: it gets no line, and is handed out again
    // once it is back and has settled. False, with the reason, when the line
    // could not be written.
    bool finish(const WatchedFile &file, const QString &status, QString *error = nullptr);

    QString folder() const { return m_folder; }
    bool isWatching() const { return m_watching; }
    // Scans from the event loop, then on every notice and rescan.
    void start();
    void stop();

signals:
    void settled(const WatchedFile &file);

private:
    struct Pending
    {
        WatchedFile file;
        QElapsedTimer unchanged; // since the file was last seen to change
    };

    void scan();
    void checkPending();
    QStringList listing();
    void see(const QString &path);
    void schedule();

    QString m_folder;
    bool m_recursive;
    QStringList m_exts;
    int m_settleMs = DefaultSettleMs;
    WatchJournal *m_journal = nullptr;
    bool m_watching = false;
    bool m_held = false; // a settled file was held open for writing at the last look
    QFileSystemWatcher *m_watcher;
    QTimer m_rescan;
    QTimer m_soon;  // a scan at once, after a notice
    QTimer m_check; // the next pending file is due
    QHash<QString, Pending> m_pending;
    QSet<QString> m_handedOut; // journal keys of files handed out
};
