#pragma once

#include "conversion/taskrecord.h"

#include <QString>

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
ProbeReport ExtractProbeReport(const QString &output, const QString &path);

// Learns an input file's duration and frame size by running the engine with
// only the input named. The window waits for it (a probe takes a fraction of a
// second); an engine that has not ended after TimeoutMs is terminated.
class MediaProbe
{
public:
    static constexpr int DefaultTimeoutMs = 30000;

    explicit MediaProbe(QString enginePath = QString());

    void setEnginePath(const QString &path) { m_enginePath = path; }
    void setTimeoutMs(int ms) { m_timeoutMs = ms; }
    // Receives each chunk of the report as it is read (the hidden memo).
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
