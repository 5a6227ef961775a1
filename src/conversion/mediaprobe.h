#pragma once

#include "conversion/engineprocess.h"
#include "conversion/taskrecord.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

// What the engine's report says about an input: its duration and frame size as
// the engine wrote them.
struct ProbeReport
{
    QString length; // e.g. "00:01:23.45"; empty when the report has none
    QString size;   // e.g. " 320x240", with the blank before it; empty without video
};

// Reads the duration and the frame size from the engine's report on `path`.
// Both are searched only after the first occurrence of the path. The frame size
// is the third field after "Video:", where commas inside parentheses or
// brackets do not separate fields, cut before " [".
// The length is the text between "Duration: " and the next comma on the same
// line; a Duration line without one gives no length.
ProbeReport ExtractProbeReport(const QString &output, const QString &path);

// One probe of one file: the engine run with only the input named, its report
// gathered chunk by chunk, and the values read from it when the engine ends.
// An engine that cannot be started gives an empty report; one that runs past
// the time limit is killed, and what it wrote until then still counts.
class EngineProbe final : public QObject
{
    Q_OBJECT
public:
    // More of a report than this is not kept: the values stand near its start.
    static constexpr qsizetype MaxReportChars = 1024 * 1024;

    EngineProbe(QString enginePath, QString path, QObject *parent = nullptr);
    Q_DISABLE_COPY_MOVE(EngineProbe)

    // Starts the engine and returns at once; done() follows on this thread.
    void launch(int timeoutMs);
    // Starts the engine and waits for its end (done() is emitted before this
    // returns).
    void runAndWait(int timeoutMs);
    // Kills a running engine and waits until it is gone; done() never follows.
    void abandon();

    QString path() const { return m_path; }
    bool isDone() const { return m_done; }
    const ProbeReport &report() const { return m_report; }

signals:
    void chunkRead(const QString &text);
    void done();

private:
    void onChunk(const QString &text);
    void finish();

    QString m_enginePath;
    QString m_path;
    EngineProcess m_engine;
    QTimer m_timeout;
    QString m_output;
    ProbeReport m_report;
    bool m_done = false;
};

// Learns an input file's duration and frame size, as the engine's report on it
// gives them, and waits for the answer (ProbeQueue probes without waiting):
// read in-process by the media library (ProbeInProcess) when it can tell, else
// by running the engine with only the input named. A probe still running after
// the time limit is given up: its engine killed, its worker told to stop.
class MediaProbe final
{
public:
    static constexpr int DefaultTimeoutMs = 30000;

    explicit MediaProbe(QString enginePath = QString());

    void setEnginePath(const QString &path) { m_enginePath = path; }
    void setTimeoutMs(int ms) { m_timeoutMs = ms; }
    // Receives each chunk of the engine's report as it is read (the hidden memo);
    // a file read in-process gives none.
    void setMemo(std::function<void(const QString &)> memo) { m_memo = std::move(memo); }

    // Probes `path` (the full path as it stands in the row's caption). Every
    // probe starts from empty results, so a failed probe never yields another
    // file's values.
    void ProbeFile(const QString &path);

    QString ProbeLength;
    QString ProbeSize;
    QString ProbeStart;
    QString ProbeEnd;

private:
    QString m_enginePath;
    int m_timeoutMs = DefaultTimeoutMs;
    std::function<void(const QString &)> m_memo;
};

// A new task for `path` as the probe found it: status "OK", the file's name
// without folder and extension as the output name, `outputExt` as the task's
// extension, and the whole input as the range to convert.
ltvItemData TaskFromProbe(const QString &path, const MediaProbe &probe, const QString &outputExt);
// The same from the report itself: the range starts at "00:00:00.0" and ends
// at the length.
ltvItemData TaskFromProbe(const QString &path, const ProbeReport &report, const QString &outputExt);
