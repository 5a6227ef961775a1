#pragma once

#include "conversion/mediaprobe.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <memory>
#include <optional>

class QThreadPool;

// The duration as the engine writes it in its report: "HH:MM:SS.ss", rounded
// to the nearest hundredth (5000 microseconds added, then cut), or "N/A" when
// the file does not say.
QString EngineDurationText(std::optional<qint64> microseconds);

// Reads what the engine's report would say about `path` (ProbeReport) with the
// media library, in this process: the same demuxers and the same reading of
// stream parameters as the engine, without starting it. Safe to call from any
// thread; prints nothing.
// No value when the library cannot open the file or cannot read the facts the
// report gives (a video stream of unknown size, for instance): the engine's
// own report stays the answer for those files. No value either when the
// deadline passes or *abort becomes true, which stop the library before its
// next read; a read that the kernel holds (a stalled network file, a pipe
// nobody writes to) ends only when the kernel lets it.
std::optional<ProbeReport> ProbeInProcess(const QString &path,
                                          QDeadlineTimer deadline = QDeadlineTimer(QDeadlineTimer::Forever),
                                          const std::atomic_bool *abort = nullptr);

// What reading one stream's packets showed: times in seconds on the file's
// own timeline.
struct StreamFacts
{
    bool present = false;
    QString codec;
    qint64 packets = 0;               // packets of it that could be read
    std::optional<double> startSecs;  // the earliest time of a packet
    std::optional<double> endSecs;    // where the last packet ends
    std::optional<double> lengthSecs() const
    {
        return startSecs && endSecs ? std::optional<double>(*endSecs - *startSecs) : std::nullopt;
    }
};

// What the media library finds in a file beyond the report: the container's
// start and length, all its streams, and for the video stream (a cover picture does not count)
// and the audio stream the engine would take, what their packets hold.
struct MediaFacts
{
    QString format;
    std::optional<double> startSecs;    // the container's
    std::optional<double> durationSecs; // the container's
    bool durationEstimated = false;     // from the bit rate, not from times
    bool timestampJump = false;         // a stream's times leap or go back
    StreamFacts video;
    StreamFacts audio;
    QList<MediaStream> streams;
};

// Reads MediaFacts of `path` in this process: the header, then the packets
// (not decoded) from the start; past `scanBytes` of packets the rest is
// skipped and only the packets near the end are read, for the ends of the
// streams. No value when the library cannot open the file, or the deadline
// passes, or *abort becomes true (as ProbeInProcess).
std::optional<MediaFacts> ReadMediaFacts(const QString &path, qint64 scanBytes,
                                         QDeadlineTimer deadline = QDeadlineTimer(QDeadlineTimer::Forever),
                                         const std::atomic_bool *abort = nullptr);

// One in-process probe of one file, run on a worker thread of `pool` (or of a
// pool of its own module when none is given); done() follows on the caller's
// thread. The result of a worker that ends after the probe was abandoned,
// timed out or destroyed is dropped, whatever the worker's timing.
class InProcessProbe final : public QObject
{
    Q_OBJECT
public:
    enum class Outcome {
        Pending,
        Read,    // report() holds the facts
        Refused, // the library could not tell: ask the engine
        GivenUp, // the time limit passed, or the probe was abandoned
    };

    explicit InProcessProbe(QString path, QThreadPool *pool = nullptr, QObject *parent = nullptr);
    ~InProcessProbe() override;
    Q_DISABLE_COPY_MOVE(InProcessProbe)

    // Starts the worker and returns at once. After `timeoutMs` the library is
    // told to stop and done() follows at once with GivenUp, even when the
    // worker is stuck in a read.
    void launch(int timeoutMs);
    // Tells the library to stop; done() never follows.
    void abandon();

    // Counts the workers of probes given up (timed out or abandoned) that are
    // still running: each holds a thread of its pool. Shared by the probes
    // that are given the same counter.
    void setLingerCounter(std::shared_ptr<std::atomic_int> counter);

    QString path() const { return m_path; }
    Outcome outcome() const { return m_outcome; }
    bool isDone() const { return m_outcome != Outcome::Pending; }
    const ProbeReport &report() const { return m_report; }

    struct Job;

signals:
    void done();

private:
    void deliver(const std::optional<ProbeReport> &report, bool stopped);
    void giveUp();
    void detach();

    QString m_path;
    QThreadPool *m_pool;
    std::shared_ptr<Job> m_job;
    std::shared_ptr<std::atomic_int> m_lingerCounter;
    QTimer m_timeout;
    Outcome m_outcome = Outcome::Pending;
    ProbeReport m_report;
};

// One probe of one file as the program makes it, with the interface of
// EngineProbe: the library in-process first (InProcessProbe), the engine for
// a file the library cannot tell about. A probe given up on by the library
// (past its time limit) is not handed to the engine: what stalls one stalls
// the other. done() follows on the caller's thread; report() is empty for a
// file that neither could read.
class FileProbe final : public QObject
{
    Q_OBJECT
public:
    FileProbe(QString enginePath, QString path, QThreadPool *pool = nullptr, QObject *parent = nullptr);
    Q_DISABLE_COPY_MOVE(FileProbe)

    // See InProcessProbe::setLingerCounter.
    void setLingerCounter(std::shared_ptr<std::atomic_int> counter);
    // Starts the probe and returns at once; each of the two steps has
    // `timeoutMs`.
    void launch(int timeoutMs);
    // Stops the probe (its engine killed and reaped, its worker told to
    // stop); done() never follows.
    void abandon();

    QString path() const { return m_path; }
    bool isDone() const { return m_done; }
    bool askedTheEngine() const { return m_engine != nullptr; }
    const ProbeReport &report() const { return m_report; }

signals:
    void done();

private:
    void onLibraryDone();
    void onEngineDone();
    void finish(const ProbeReport &report);

    QString m_enginePath;
    QString m_path;
    int m_timeoutMs = MediaProbe::DefaultTimeoutMs;
    InProcessProbe m_library;
    EngineProbe *m_engine = nullptr; // a child, once the library has refused
    ProbeReport m_report;
    bool m_done = false;
};
