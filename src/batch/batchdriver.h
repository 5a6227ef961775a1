#pragma once

#include "batch/batchview.h"
#include "conversion/conversionqueue.h"
#include "conversion/conversionrun.h"
#include "conversion/outputnaming.h"
#include "conversion/probequeue.h"
#include "conversion/taskrecord.h"
#include "conversion/watchfolder.h"
#include "remote/hostpool.h"

#include <QHash>
#include <QObject>
#include <QStringList>

#include <memory>
#include <optional>

class SignalPipe;

// A path the batch leaves out, and why.
struct Skipped
{
    QString path;
    QString reason;
};

// A batch as checked against the files, folders and profiles: what to
// convert, where to, and how.
struct BatchRequest
{
    QString profileName;
    QString outputFolder; // with a trailing separator
    bool rename = false;
    int jobs = 1;
    std::optional<QString> start;
    std::optional<QString> end;
    OutputPlace place = OutputPlace::Folder;
    QStringList files;
    QHash<QString, QString> foundUnder; // a file listed from a folder -> that folder
    QList<Skipped> skippedFolders;      // folders a listing could not take
    QStringList missing;                // as named, printable
    QStringList unnamable;              // paths whose names are not valid UTF-8, printable
    QString watchFolder;                // empty: no watch
    bool recursive = false;             // with a watch: its subfolders too
    int settleMs = WatchFolder::DefaultSettleMs;
    QList<HostLine> hosts;              // empty: the tasks run on this machine
    QString sshConfig;
    bool skipExisting = false;          // a task whose checked output is there already is not converted
    BatchOptions afterwards;            // not smaller, dates, the original, done-commands
};

// Runs a batch of the batch mode, plain or watched, on one task list and one
// conversion queue. Each file is read (probed) and, as soon as its row is
// there, converts, while the others are still being read. A plain batch ends
// once every file it lists is over; a watched one converts what settles in
// its folder, each file as it comes, until a signal ends it, and keeps a
// journal of the files it is done with. Either way a first SIGINT or SIGTERM
// stops the engines as Stop does and a second kills them; Ctrl+Z holds the
// engines and the program. The summary is written the same way for both.
class BatchDriver final : public QObject
{
    Q_OBJECT
public:
    BatchDriver(BatchRequest request, QString params, QString outputExt, const QString &enginePath,
                BatchInteractive &interactive, SignalPipe &signalPipe);
    ~BatchDriver() override;
    Q_DISABLE_COPY_MOVE(BatchDriver)

    // Runs the batch to its end; returns the exit status.
    int run();

private:
    // The tasks run on the request's hosts.
    void useHosts(const QString &enginePath);
    bool watching() const { return m_watch != nullptr; }
    void onTaskAdded(int row);
    // --skip-existing: the task's output in its place is checked; a good one
    // stays and the task is left out, else the task converts.
    void checkExisting(int row, const ltvItemData &task);
    // A plain batch ends once its files are read, its checks done and its run over.
    void finishWhenDone();
    void onListed();
    void onSettled(const WatchedFile &file);
    void onRowChanged(int row);
    void onRunFinished();
    void onSignal();
    void onSuspend();
    void record(const QString &input, const QString &status);
    void finish();
    int summary();

    BatchRequest m_request;
    QString m_params;
    QString m_outputExt;
    BatchInteractive &m_interactive;
    SignalPipe &m_signalPipe;
    NoShell m_shell;
    NoPowerControl m_power;
    TaskListModel m_tasks;
    ProbeQueue m_probes;
    BatchView m_view;
    std::unique_ptr<HostPool> m_hosts; // outlives the run's engines
    ConversionRun m_run;
    ConversionQueue m_queue;
    std::unique_ptr<WatchJournal> m_journal;
    std::unique_ptr<WatchFolder> m_watch;
    QHash<QString, WatchedFile> m_arrivals; // settled files by path, until their rows are over
    QList<Skipped> m_skipped;
    QHash<QPersistentModelIndex, QString> m_present; // rows left out: their outputs were there and good
    int m_checking = 0;                             // outputs of --skip-existing being checked
    QList<bool> m_told; // by row: its end was printed (and journalled)
    int m_expected = 0; // tasks the listing will bring
    bool m_listed = false;
    bool m_runOver = false; // the run ended (a plain batch ends with it)
    bool m_interrupted = false;
    bool m_finished = false;
};
