#pragma once

#include "conversion/engineprocess.h"
#include "conversion/mediastream.h"
#include "conversion/taskrecord.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

// What the engine's report says about an input: its duration and frame size as
// the engine wrote them, and (read in-process only) its streams.
struct ProbeReport
{
    QString length; // e.g. "00:01:23.45"; empty when the report has none
    QString size;   // e.g. " 320x240", with the blank before it; empty without video
    QList<MediaStream> streams; // in file order; empty from the engine's report
};

// The length to list for an input whose container (`format`, as the library
// names it: "matroska,webm", "mpegts") tells `durationSecs` and whose first
// time is `startSecs`: from its first time to its end. A Matroska or FLV file
// tells where it ends, measured from 0, so its first time comes off; other
// containers tell the span itself.
double ListedLengthSecs(const QString &format, double startSecs, double durationSecs);

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

// How long a probe of one file may take before it is given up.
namespace MediaProbe {
constexpr int DefaultTimeoutMs = 30000;
} // namespace MediaProbe

// A new task for `path` as the probe found it: status "OK", the file's name
// without folder and extension as the output name, `outputExt` as the task's
// extension, and the whole input as the range to convert: from "00:00:00.0"
// to the length.
ltvItemData TaskFromProbe(const QString &path, const ProbeReport &report, const QString &outputExt);
