#pragma once

#include "conversion/segmentplan.h"
#include "conversion/taskengine.h"

#include <QList>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

// The engine of a task converted in segments, seen by its job as one engine:
// the input's video is cut at its key frames into pieces, each piece is
// converted by its own engine (up to `parallel` at once, each made by the run's
// engine factory, so pieces may go to other hosts), the sound and what else
// is not video is converted once over the whole input, and all of it is
// joined into the command's output without converting again.
//
// Everything is kept in a private folder (`folder`) with a record
// (SegmentRecord): a run that was cut off - killed, stopped, the window
// closed - converts only the segments not done when the same task comes
// again. A segment counts as done only once checked (its frame count and
// length against its piece's); a record made for another input, other
// options or another engine is started afresh, and a segment whose file is
// missing or fails its check again is converted again. The joined output
// must hold the input's frames (the count equal, the length within one
// frame, the sound in step); else the engine ends with failureReason().
//
// Progress comes as the engine's own does ("time=" in each read): the
// converted share of the input's length. Pause, resume, stop and kill act on
// every engine at work. Nothing here blocks: the files are read on workers.
class SegmentedEngine final : public TaskEngine
{
    Q_OBJECT
public:
    struct Setup
    {
        ltvItemData task;
        QString params;        // the task's engine options
        QString folder;        // the private folder (made when missing)
        double segmentSecs = 0;
        int parallel = 1;      // engines at once
        TaskEngineFactory makeEngine; // none: each on this machine
    };

    explicit SegmentedEngine(Setup setup, QObject *parent = nullptr);
    ~SegmentedEngine() override;
    Q_DISABLE_COPY_MOVE(SegmentedEngine)

    void launch(const QString &enginePath, const EngineCommand &command) override;
    void TerminateEngine() override;
    void kill() override;
    void suspendEngine() override;
    void resumeEngine() override;
    void killAndWait() override;
    bool isRunning() const override;
    QString failureReason() const override { return m_failure; }
    QString note() const override { return m_note; }

    // Removes a task's private folder once its output is committed: only the
    // files its record names and what this engine writes there, then the
    // folder itself when nothing else is left. Never follows a link.
    static void RemoveFolder(const QString &folder);

private:
    struct Running;
    void prepare();
    void onPrepared(const SegmentRecord &record, const QString &failure);
    void cut();
    void onCut();
    void schedule();
    void launchSegment(int index);
    void launchAudio();
    void run(TaskEngine *engine, int index, const EngineCommand &command,
             const std::function<void(const QString &)> &onChunk);
    void onStepEnded(Running *step, int exitCode, bool crashed);
    void readPieces();
    void checkJoined();
    void checkSegment(int index);
    void onSegmentChecked(int index, const QString &failure);
    void join();
    void onJoined(const QString &failure);
    void fail(const QString &reason);
    void finish(int exitCode);
    void saveRecord();
    void progress();
    void emitChunk(const QString &text);
    TaskEngine *makeEngine(bool local, const QString &input, double secs);
    template<typename Result>
    void onWorker(std::function<Result()> work, std::function<void(const Result &)> done);

    Setup m_setup;
    QString m_enginePath;
    QString m_output;
    QString m_ext;
    SegmentRecord m_record;
    QList<Running *> m_running;
    QList<double> m_pieceSecs; // how far each running piece got
    int m_checking = 0;        // segment checks under way
    bool m_audioRunning = false;
    bool m_paused = false;
    bool m_stopping = false;
    bool m_over = false;
    bool m_busy = false;       // preparing, cutting or joining
    QString m_failure;
    QString m_note;
    // The converted share as the engine's time, ahead of each read: the time
    // of a step's own engine (the cut's reaches the end at once) never counts.
    QString m_progressPrefix = QStringLiteral("[time=00:00:00.00 ] ");
    std::shared_ptr<std::atomic_bool> m_abort = std::make_shared<std::atomic_bool>(false);
};
