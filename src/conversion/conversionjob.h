#pragma once

#include "conversion/engineprocess.h"
#include "conversion/mediaprobe.h"
#include "conversion/outputfile.h"
#include "conversion/taskrecord.h"

#include <QObject>
#include <QTimer>

#include <memory>
#include <optional>

class InProcessProbe;
class QualitySearch;
class OutputCheck;
class WorkFolder;

// One task of a batch that runs: its engine, the file the engine writes while
// it works, and the check of that file. The job goes through its phases in
// order and announces each change:
//
//   Waiting -> Starting -> Converting <-> Paused -> Checking -> Committed
//                                   \-> Failed, Stopped (from any phase)
//                                   \-> NotSmaller (an output not smaller than its input, when asked)
//
// Checking begins when the engine has ended with success; the check itself
// waits until the job is allowed to check (allowCheck), so that a batch can
// keep its rows' results in order. Only a checked output takes its final name;
// whatever ends the job otherwise removes the work file and leaves the final
// name as it was. Pause, resume, stop and abandon may come in any phase and do
// what applies to it.
class ConversionJob final : public QObject
{
    Q_OBJECT
public:
    enum Phase { Waiting, Starting, Converting, Paused, Checking, Committed, Failed, Stopped, NotSmaller };
    Q_ENUM(Phase)

    // What a failed or stopped job keeps of its engine's output: its last
    // lines, within a bound; a completed job keeps none.
    static constexpr int KeptOutputLines = 2 * TaskListModel::FailureTipLines;
    static constexpr qsizetype KeptOutputChars = 4096;
    // How long the probe of an output may take.
    static constexpr int CheckTimeoutMs = MediaProbe::DefaultTimeoutMs;
    // The watchdog of a converting engine: it is stopped, and the job fails,
    // when its output time has not moved on for this long (a pause does not
    // count), or when that time passes the task's listed length by half
    // again and a minute (ListedOutputSecs).
    static constexpr int DefaultStallMs = 10 * 60 * 1000;
    static constexpr double OverrunFactor = 1.5;
    static constexpr double OverrunSecs = 60;

    // What the job converts: the task of `row` with the batch's parameter
    // string, to `finalPath`, with the engine at `enginePath`. The engine
    // writes in the batch's `workFolder`; without one the job fails with
    // `noWorkFolder` as its reason.
    struct Order
    {
        int row = 0;
        ltvItemData task;
        QString params;
        QString finalPath;
        QString enginePath;
        std::shared_ptr<WorkFolder> workFolder;
        QString noWorkFolder;
        // An output not smaller than its input is discarded (NotSmaller),
        // and the engine stops once its output reaches the input's size.
        bool notBigger = false;
        // The output takes the input's container tags and modification time.
        bool keepDates = true;
        // The watchdog's limit for an engine whose output time stands still.
        int stallMs = DefaultStallMs;
        // Makes the task's engine; none: the engine runs on this machine.
        TaskEngineFactory makeEngine;
        // An input longer than this is converted in segments of about this
        // length, up to segmentSlots at once, when its format allows
        // (ConvertsInSegments); 0: never.
        double segmentSecs = 0;
        int segmentSlots = 1;
    };

    explicit ConversionJob(Order order, QObject *parent = nullptr);
    // No engine outlives its job, and no work file is left behind.
    ~ConversionJob() override;
    Q_DISABLE_COPY_MOVE(ConversionJob)

    int row() const { return m_order.row; }
    const ltvItemData &task() const { return m_order.task; }
    QString finalPath() const { return m_order.finalPath; }
    // Where the engine writes until the output is checked; empty once it is gone.
    QString workPath() const { return m_workPath; }
    Phase phase() const { return m_phase; }
    bool isOver() const
    {
        return m_phase == Committed || m_phase == Failed || m_phase == Stopped || m_phase == NotSmaller;
    }
    // The engine works (or is suspended).
    bool engineRunning() const { return m_engine != nullptr; }
    // Its engine was launched and does not run yet.
    bool launching() const { return m_phase == Starting && m_engine != nullptr; }
    // The job still needs an engine slot of its batch: its check has not begun.
    bool holdsEngineSlot() const { return !isOver() && !m_checkStarted; }
    // How far the engine got in its clip, in seconds.
    double currentSecs() const { return m_currentSecs; }
    // The job failed because its engine could not be started.
    bool startFailed() const { return m_startFailed; }

    // The result once the job is over: the row status, why (failed outputs)
    // or what a good output left out of its input, and the end of the
    // engine's output (failed and stopped jobs).
    QString status() const;
    QString reason() const { return m_reason; }
    QString keptOutput() const { return m_kept; }

    // Starts the engine (Starting, then Converting once it runs). When it
    // cannot be started the job is Failed and finished() follows. A profile
    // that keeps all streams has the input's streams read first (by the
    // media library, on a worker), and its engine starts once they are known.
    void start();
    // The output may be checked once the engine has ended (at once when it has).
    void allowCheck();
    // Suspends a converting engine; Paused.
    void pause();
    // Continues a paused engine; Converting.
    void resume();
    // Ends the job without an output: a working engine (continued first when
    // paused) is asked to end and killed when it does not; a job that waits
    // is Stopped at once. A check that has begun is let finish: an output
    // found good is kept. Either way the job is Stopped, its reason telling
    // what became of the output.
    void stop();
    // Ends the job at once, without a word: the engine is killed and reaped,
    // the check dropped, the work file removed; Stopped unless already over.
    // Nothing is emitted.
    void abandon();

    // The engine output kept for a row: its last lines, within the bound.
    static QString KeptOutput(const QString &output);

signals:
    void phaseChanged(ConversionJob::Phase phase);
    // The engine was started with this argument text.
    void engineStarted(const QString &commandText);
    // One read of the engine's output.
    void chunkRead(const QString &text);
    // A read that may carry progress (from the third on): currentSecs() may have moved.
    void progressed();
    // The job is over: its row status, the reason of a failure, what is kept
    // of the engine's output.
    void finished(const QString &status, const QString &reason, const QString &keptOutput);

private:
    void setPhase(Phase phase);
    void onStreamsRead();
    void launchEngine(const QString &params);
    void dropStreamProbe();
    // Seeks the CRF that gives the SSIM `params` asks for, then launches the
    // engine with it.
    void searchQuality(const QString &params, double target);
    void dropSearch();
    void onChunk(const QString &text);
    void onEngineEnded(int exitCode, bool crashed);
    void onEngineFailedToStart(const QString &error);
    void watch(const QString &failure);
    // The engine's words with the work file named by the output's own path.
    QString withOutputPath(QString text) const;
    void beginCheck();
    void onChecked();
    void end(Phase phase, const QString &reason, bool keepOutput);

    // The work file: where the engine writes, and how a good one takes its
    // final name.
    QString workPathFor(const QString &finalPath) const;
    QString commitWorkFile();
    void discardWorkFile();

    // The output check.
    void launchCheck();
    QString checkResult() const;
    void dropCheck();

    Order m_order;
    Phase m_phase = Waiting;
    InProcessProbe *m_streamProbe = nullptr; // a child while the input's streams are read
    QualitySearch *m_search = nullptr;       // a child while the quality asked for is sought
    QString m_quality;                       // what the search chose, for the row's tip
    bool m_pauseWanted = false;              // a pause came while they were read
    QStringList m_leftOut;                   // what the output does not keep of its input
    QString m_checkParams;                   // what the check holds the output to, when not the order's
    QString m_copied;                        // which streams were copied as they were
    qint64 m_inputSize = -1;                 // when an output must be smaller
    TaskEngine *m_engine = nullptr; // a child while it works
    QString m_workPath;
    QString m_segmentFolder; // where segments are kept until the output is committed
    QString m_output; // the engine's output, its end only
    WriteFailureScanner m_writeFailure;
    int m_chunkCount = 0;
    double m_currentSecs = 0;
    bool m_stopRequested = false;
    bool m_stoppedInCheck = false;
    QTimer m_stallTimer;               // runs while the engine converts
    std::optional<double> m_listedSecs; // how long the output should be (ListedOutputSecs)
    QString m_watchdogReason;          // why the watchdog stopped the engine
    QString m_engineOutputPath;        // the work file as the engine names it
    bool m_inputEndedEarly = false;    // the engine said so
    bool m_checkAllowed = false;
    bool m_checkStarted = false;
    bool m_startFailed = false;
    OutputCheck *m_check = nullptr; // a child while the output is checked
    QString m_reason;
    QString m_kept;
};
