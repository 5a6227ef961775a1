#pragma once

#include "conversion/taskrecord.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class IInteractive;
class QLockFile;

// What a window's batch is set to besides its rows.
struct SavedBatch
{
    QString profile;      // the profile's name as listed
    QString outputFolder; // as typed
};

// One row as kept against a crash.
struct SavedTask
{
    ltvItemData record;   // caption and sub-items; the seconds are derived again
    QString notes;        // TaskListModel::ResultNotesRole
    QString engineOutput; // TaskListModel::EngineOutputRole
    QString temporary;    // TaskListModel::TemporaryOutputRole: where its engine was writing
};

struct SavedTaskList
{
    SavedBatch batch;
    QList<SavedTask> tasks;
};

// The text of a task list file as written whole: the rows of `tasks` and the
// batch, one line of JSON.
QByteArray TaskListText(const TaskListModel &tasks, const SavedBatch &batch);

// A line appended to a task list file for a change: row `row` as it is now
// (it replaces the row at its place, or comes last), or the batch.
QByteArray TaskListRowText(const TaskListModel &tasks, int row);
QByteArray TaskListBatchText(const SavedBatch &batch);

// Reads a task list file's text: the list written whole, then the changes
// appended since, in order. A last line cut short (its end never written) is
// left out. Nothing, with the reason in `error`, when it is not a task list.
std::optional<SavedTaskList> ParseTaskListText(const QByteArray &text, QString *error = nullptr);

// Appends the saved rows whose path is not listed yet; returns how many. A
// row that was being converted comes back waiting (an empty status); every
// other status stays.
int RestoreTasks(TaskListModel &tasks, const SavedTaskList &list);

// Removes what the engines of the list's converting rows left: the work
// folders in their output folders whose run is gone (never one a live run
// holds), and a temporary an earlier version wrote beside the output
// (".NAME.vantorix-part.EXT", named by the row). Nothing else a list names is
// touched. Returns how many went.
int RemoveUnfinishedOutputs(const SavedTaskList &list);

// The user's data folder for the program (QStandardPaths' AppDataLocation),
// where the task lists are kept.
QString DefaultRecoveryFolder();

// Keeps a window's task list in a file of its own in `folder` while the window
// runs, so that a session that ends without closing (a crash, a kill, a power
// cut) can be taken up again by the next start.
//
// Every change of the rows, and batchChanged(), schedules a write, at most
// once a second. Rows that changed in place or were added at the end, and a
// changed batch, are appended to the file as lines of their own; the whole
// list is written (atomically, QSaveFile) after rows were removed, moved or
// sorted, a caption changed, an append failed, or when the appended lines
// have outgrown the list, so that a long batch of a long list writes little. The file is
// named TaskList-<unique>.json, and the window holds the lock file beside it
// (<name>.lock) for as long as it runs, so that no other window offers it. A
// normal close removes both; a window that goes away without closing leaves
// the list behind as a crash does.
//
// At start, each list whose lock can be taken (its owner is gone) is offered,
// newest first, each with a question of its own: several windows lost at once
// are all offered. Yes appends its rows (paths already listed are skipped);
// the batch settings come from the first list taken. Either answer removes
// what its engines left unfinished (RemoveUnfinishedOutputs), and the file:
// what was taken is kept in this window's own file from then on. A
// list that cannot be read is reported once and set aside under
// <name>.damaged, never deleted.
class TaskListRecovery final : public QObject
{
    Q_OBJECT
public:
    static constexpr int MinSaveIntervalMs = 1000;
    // Lines are appended until they are this long, or as long as the list.
    static constexpr qint64 MinAppendedBytes = 64 * 1024;
    static inline const QString Caption = QStringLiteral("Restore Task List");

    using BatchSource = std::function<SavedBatch()>;

    // Takes the window's own file in `folder` (made when missing). Without a
    // usable folder nothing is kept, and the window works as before.
    TaskListRecovery(TaskListModel &tasks, const QString &folder, BatchSource batch, QObject *parent = nullptr);
    ~TaskListRecovery() override;
    Q_DISABLE_COPY_MOVE(TaskListRecovery)

    // Offers the lists left by sessions that did not close (see above), one
    // question at a time, each list's lock held while it is asked about.
    // `done` follows once every one was answered (at once when none is left),
    // with the batch settings of the first list restored, if any.
    using OfferDone = std::function<void(std::optional<SavedBatch>)>;
    void offerLeftLists(IInteractive &interactive, OfferDone done);

    // The batch settings changed: the file follows.
    void batchChanged();

    // The window closed normally: the file goes, and nothing is kept any more.
    void closeNormally();

    // The window's own file (it exists once something was written).
    QString filePath() const { return m_path; }
    bool isKeeping() const { return m_lock != nullptr; }

    // The question asked for a list of `count` rows.
    static QString QuestionText(int count);

private:
    void schedule();
    void rowsChanged(int first, int last);
    void rewriteWhole();
    void save();
    bool writeWhole(const SavedBatch &batch);
    bool append(const SavedBatch &batch);
    void setAside(const QString &path, const QString &reason, IInteractive &interactive);
    void offerNext();

    TaskListModel &m_tasks;
    QString m_folder;
    QString m_path;
    BatchSource m_batch;
    std::unique_ptr<QLockFile> m_lock;
    QTimer m_timer;
    QElapsedTimer m_sinceSave;
    bool m_warned = false;

    // The lists being offered.
    struct Offer
    {
        IInteractive *interactive = nullptr;
        QStringList paths; // newest first
        qsizetype next = 0;
        std::optional<SavedBatch> restored;
        OfferDone done;
    };
    std::optional<Offer> m_offer;

    // What the file lacks since it was last written.
    bool m_wholeDue = true;  // it must be written whole
    QSet<int> m_changedRows; // else these rows are appended
    SavedBatch m_writtenBatch;
    qint64 m_wholeBytes = 0;    // the list as last written whole
    qint64 m_appendedBytes = 0; // appended since
};
