#pragma once

#include "platform/dirhandle.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QString>

#include <memory>
#include <optional>

#include <time.h>

// A run's private folder for work in progress, inside an output folder.
//
// The engine writes each output in here under the output's own file name (so
// it picks the container from the extension, and the name is never longer
// than the final one), and a checked file is renamed from here to its final
// name: one step on one file system, replacing whatever directory entry stood
// there without writing through it.
//
// The folder is hidden (".vantorix-work-XXXXXX"), made at a random name,
// mode 0700 and checked to be a directory of ours after it is opened, so
// nobody else can place anything inside. Everything in it is reached through
// the folder's descriptor (DirHandle: openat/renameat/unlinkat, never
// following a link), and the paths handed to the engine go through that
// descriptor too, so renaming the folder away and planting a link under its
// name leads nowhere.
//
// A lock (flock on ".lock" inside) is held for as long as the object lives.
// The kernel lets it go when the process ends, however it ends, so the next
// run into the folder, or the task-list recovery, can tell a killed run's
// folder (lock free: removed) from a live one's (lock held: left alone).
//
// What proves a folder ours is ".token" inside (0600): a random token with
// the folder's own device and inode, written when the folder is made, and
// after it the name of every work file handed out. A folder is removed only
// with a token that names it, our owner, mode 0700 and a free lock, and only
// what its token lists goes, by name; a user's folder renamed to look like
// one of ours, or anything else found inside, is left alone.
class WorkFolder final
{
public:
    static inline const QString NamePrefix = QStringLiteral(".vantorix-work-");

    // Makes the run's folder in `outputFolder`, after removing what killed
    // runs left there (SweepAbandoned). Nothing, with the reason as a
    // sentence in `error`, when it cannot be made.
    static std::unique_ptr<WorkFolder> create(const QString &outputFolder, QString *error = nullptr);
    // The same in the folder `subfolders` (names joined by "/") below
    // outputFolder, each made when missing. Every one of them is reached from
    // its parent without following a link, so a link planted in the output
    // folder never leads an output elsewhere: such a name fails the folder.
    static std::unique_ptr<WorkFolder> create(const QString &outputFolder, const QString &subfolders,
                                              QString *error = nullptr);

    // Removes the work folders in `outputFolder` whose lock is free: what
    // runs that were killed left. A folder a live run holds, anything that
    // does not prove to be a work folder of ours (token, owner, mode, lock),
    // and a link are left alone. Returns how many went.
    static int SweepAbandoned(const QString &outputFolder);

    // Whether `path` names a work folder or something inside one: the
    // folder's name starts with NamePrefix. Then OutputFolderOf gives the
    // output folder it is in.
    static bool IsWorkPath(const QString &path);
    static QString OutputFolderOf(const QString &workPath);

    ~WorkFolder();
    Q_DISABLE_COPY_MOVE(WorkFolder)

    // Where the engine writes the output that is to become `finalPath` (a
    // file in this output folder). Two calls for one final name get two work
    // paths while both are in use. The path leads through the folder's
    // descriptor where the system offers one (/proc), else it is the plain
    // path under path().
    QString workPathFor(const QString &finalPath) const;

    // Checks the work file (a regular file of ours, one link, not empty) and
    // renames it to `finalPath`. Empty on success, else why not, as a
    // sentence; the work file stays for discard() then. With `modified`,
    // the file takes that modification time before it takes its name.
    QString commit(const QString &workPath, const QString &finalPath,
                   const std::optional<struct timespec> &modified = std::nullopt);

    // Removes a work file (never following a link) and frees its name.
    void discard(const QString &workPath);

    // The folder itself, for keeping in a task list: IsWorkPath() is true of
    // it, and recovery sweeps the folder it is in.
    QString path() const { return m_path; }
    QString outputFolder() const { return m_outputFolder; }

private:
    struct Slot
    {
        QString name;   // the final file name
        QString subdir; // empty: directly in the folder; else a folder of its own for a second user of the name
    };

    WorkFolder() = default;
    QString enginePath(const Slot &slot) const;
    DirHandle slotFolder(const Slot &slot) const;
    void release(const QString &workPath);

    QString m_outputFolder;
    QString m_path;
    QString m_anchor;     // the folder as reached through its descriptor, or m_path
    QString m_name;       // the folder's name in the output folder
    DirHandle m_output;   // the output folder
    DirHandle m_folder;   // this folder
    FileDescriptor m_lock;  // holds the lock
    FileDescriptor m_token; // the token, appended to with each name handed out
    mutable QList<QByteArray> m_made; // as listed in the token
    mutable QMap<QString, Slot> m_slots; // work path -> where it is, for each name handed out
    mutable int m_subdirs = 0;
};

// The work folders of one batch: one for each folder its outputs go to, made
// on first use and let go together.
class WorkFolders final
{
public:
    WorkFolders() = default;
    Q_DISABLE_COPY_MOVE(WorkFolders)

    // The work folder for outputs in `subfolders` below `outputFolder`
    // (WorkFolder::create); nothing, with the reason in `error`, when it
    // cannot be made. A folder that failed is not tried again in the batch.
    std::shared_ptr<WorkFolder> folderFor(const QString &outputFolder, const QString &subfolders, QString *error);
    // Lets every folder go (each goes once its last job has let it go too).
    void clear() { m_folders.clear(); }
    int count() const { return int(m_folders.size()); }

private:
    struct Made
    {
        std::shared_ptr<WorkFolder> folder;
        QString error;
    };
    QHash<QString, Made> m_folders; // by outputFolder and subfolders
};
