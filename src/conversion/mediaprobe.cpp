#include "conversion/mediaprobe.h"

#include "conversion/enginecommand.h"
#include "conversion/engineprocess.h"
#include "conversion/inprocessprobe.h"

#include <QRegularExpression>

#include <QFileInfo>

namespace {

// The text from `from` up to the first comma outside parentheses and brackets,
// or to the end of the line.
QString topLevelField(const QString &text, qsizetype from, qsizetype *next)
{
    int depth = 0;
    qsizetype i = from;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('(') || c == QLatin1Char('['))
            ++depth;
        else if ((c == QLatin1Char(')') || c == QLatin1Char(']')) && depth > 0)
            --depth;
        else if ((c == QLatin1Char(',') && depth == 0) || c == QLatin1Char('\r') || c == QLatin1Char('\n'))
            break;
    }
    if (next)
        *next = i < text.size() && text[i] == QLatin1Char(',') ? i + 1 : -1;
    return text.mid(from, i - from);
}

// Where the line holding position `at` starts.
qsizetype lineStart(const QString &text, qsizetype at)
{
    while (at > 0 && text[at - 1] != QLatin1Char('\n') && text[at - 1] != QLatin1Char('\r'))
        --at;
    return at;
}

// The first `word` from `from` on that the report itself wrote: the line
// before it must start, after blanks, with `lead` (the whole line up to the
// word being blank when `lead` is empty). Titles and other metadata quote
// anything, "Duration" and "Video:" included, but always after a key.
qsizetype findReportWord(const QString &text, QLatin1String word, QLatin1String lead, qsizetype from)
{
    for (qsizetype at = text.indexOf(word, from); at >= 0; at = text.indexOf(word, at + 1)) {
        const QStringView before = QStringView(text).mid(lineStart(text, at), at - lineStart(text, at)).trimmed();
        if (lead.isEmpty() ? before.isEmpty() : before.startsWith(lead))
            return at;
    }
    return -1;
}

// The report's duration as ListedLengthSecs lists it: the container is named
// on the "Input #0, matroska,webm, from '...'" line of the path (at
// `pathAt`), the first time after "start: " on the Duration line.
QString listedLength(const QString &output, qsizetype pathAt, const QString &durationLine, const QString &duration)
{
    static const QRegularExpression input(QStringLiteral(R"(Input #\d+, (.+), from '$)"));
    static const QRegularExpression start(QStringLiteral(R"(start: (-?[\d.]+))"));
    const qsizetype line = lineStart(output, pathAt);
    const QRegularExpressionMatch format = input.match(output.mid(line, pathAt - line));
    const QRegularExpressionMatch first = start.match(durationLine);
    const double secs = TimeTextToSeconds(duration);
    if (!format.hasMatch() || !first.hasMatch() || secs < 0)
        return duration;
    const double listed = ListedLengthSecs(format.captured(1), first.captured(1).toDouble(), secs);
    return listed == secs ? duration : EngineDurationText(qRound64(listed * 1e6));
}

} // namespace

double ListedLengthSecs(const QString &format, double startSecs, double durationSecs)
{
    const bool toldFromZero = format.split(QLatin1Char(',')).contains(QLatin1String("matroska"));
    return toldFromZero && startSecs > 0 && startSecs < durationSecs ? durationSecs - startSecs : durationSecs;
}

ProbeReport ExtractProbeReport(const QString &output, const QString &path)
{
    ProbeReport report;
    const qsizetype pathAt = path.isEmpty() ? -1 : output.indexOf(path);
    if (pathAt < 0)
        return report;
    qsizetype pos = pathAt + path.size();

    // "  Duration: 00:01:23.45, start: ...": the length never reaches past its line.
    const qsizetype duration = findReportWord(output, QLatin1String("Duration"), QLatin1String(), pos);
    if (duration >= 0) {
        qsizetype lineEnd = duration;
        while (lineEnd < output.size() && output[lineEnd] != QLatin1Char('\n')
               && output[lineEnd] != QLatin1Char('\r'))
            ++lineEnd;
        const QString line = output.mid(duration, lineEnd - duration);
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        const qsizetype comma = colon < 0 ? -1 : line.indexOf(QLatin1Char(','), colon);
        if (comma >= 0) {
            report.length = listedLength(output, pathAt, line, line.mid(colon + 1, comma - colon - 1).trimmed());
            pos = duration + comma + 1;
        }
    }

    // "  Stream #0:0[0x1](und): Video: h264 (High), yuv420p(tv, bt709, progressive),
    //   1920x1080 [SAR 1:1 DAR 16:9], 25 fps" (one line)
    const qsizetype video = findReportWord(output, QLatin1String("Video:"), QLatin1String("Stream #"), pos);
    if (video >= 0) {
        qsizetype next = video + 6;
        for (int skip = 0; skip < 2 && next >= 0; ++skip)
            topLevelField(output, next, &next);
        if (next >= 0) {
            QString size = topLevelField(output, next, nullptr);
            const qsizetype bracket = size.indexOf(QLatin1String(" ["));
            if (bracket >= 0)
                size.truncate(bracket);
            report.size = size;
        }
    }
    return report;
}

EngineProbe::EngineProbe(QString enginePath, QString path, QObject *parent)
    : QObject(parent)
    , m_enginePath(std::move(enginePath))
    , m_path(std::move(path))
{
    m_timeout.setSingleShot(true);
    connect(&m_timeout, &QTimer::timeout, &m_engine, &EngineProcess::kill);
    connect(&m_engine, &EngineProcess::chunkRead, this, &EngineProbe::onChunk);
    connect(&m_engine, &EngineProcess::ended, this, &EngineProbe::finish);
    // Queued: a start that fails at once must not finish inside launch().
    connect(&m_engine, &EngineProcess::failedToStart, this, &EngineProbe::finish, Qt::QueuedConnection);
}

void EngineProbe::launch(int timeoutMs)
{
    m_timeout.start(timeoutMs);
    m_engine.launch(m_enginePath, ProbeCommand(m_path));
}

void EngineProbe::abandon()
{
    m_timeout.stop();
    m_engine.killAndWait();
    m_done = true;
}

void EngineProbe::onChunk(const QString &text)
{
    emit chunkRead(text);
    if (m_output.size() < MaxReportChars)
        m_output += text;
}

void EngineProbe::finish()
{
    if (m_done)
        return;
    m_done = true;
    m_timeout.stop();
    m_report = ExtractProbeReport(m_output, m_path);
    m_output.clear();
    emit done();
}

ltvItemData TaskFromProbe(const QString &path, const ProbeReport &report, const QString &outputExt)
{
    const QString start = QStringLiteral("00:00:00.0");
    ltvItemData task;
    task.InputFile = path;
    task.LengthText = report.length;
    task.SizeText = report.size;
    task.StatusText = QStringLiteral("OK");
    task.NewName = QFileInfo(path).completeBaseName();
    task.NewExt = outputExt;
    task.OrigStartText = start;
    task.OrigEndText = report.length;
    task.ClipLengthText = report.length;
    task.StartText = start;
    task.EndText = report.length;
    return task;
}
