#include "conversion/mediaprobe.h"

#include "conversion/enginecommand.h"
#include "conversion/engineprocess.h"

#include <QFileInfo>
#include <QProcess>
#include <QStringDecoder>

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

} // namespace

ProbeReport ExtractProbeReport(const QString &output, const QString &path)
{
    ProbeReport report;
    const qsizetype pathAt = path.isEmpty() ? -1 : output.indexOf(path);
    if (pathAt < 0)
        return report;
    qsizetype pos = pathAt + path.size();

    // "Duration: 00:01:23.45, start: ..."
    const qsizetype duration = output.indexOf(QLatin1String("Duration"), pos);
    if (duration >= 0) {
        const qsizetype colon = output.indexOf(QLatin1Char(':'), duration);
        const qsizetype comma = colon < 0 ? -1 : output.indexOf(QLatin1Char(','), colon);
        const qsizetype lineEnd = colon < 0 ? -1 : output.indexOf(QLatin1Char('\n'), colon);
        if (comma >= 0 && (lineEnd < 0 || comma < lineEnd)) {
            report.length = output.mid(colon + 2, comma - colon - 2);
            pos = comma + 1;
        }
    }

    // "Video: h264 (High), yuv420p(tv, progressive), 1920x1080 [SAR 1:1 DAR 16:9], 25 fps"
    const qsizetype video = output.indexOf(QLatin1String("Video:"), pos);
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

MediaProbe::MediaProbe(QString enginePath)
    : m_enginePath(std::move(enginePath))
{
}

void MediaProbe::ProbeFile(const QString &path)
{
    ProbeLength.clear();
    ProbeSize.clear();
    ProbeStart = QStringLiteral("00:00:00.0");
    ProbeEnd.clear();

    QProcess process;
    ConfigureEngineProcess(process);
    process.start(m_enginePath, ProbeCommand(path).arguments, QIODevice::ReadOnly);
    if (!process.waitForStarted(-1))
        return;
    if (!process.waitForFinished(m_timeoutMs)) {
        process.kill();
        process.waitForFinished(-1);
    }

    // The report is read in chunks of the engine's read size, each shown in the
    // memo; the values come from the whole report.
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString report;
    while (process.bytesAvailable() > 0) {
        const QString chunk = decoder.decode(process.read(EngineProcess::ChunkSize));
        if (m_memo)
            m_memo(chunk);
        report += chunk;
    }

    const ProbeReport values = ExtractProbeReport(report, path);
    ProbeLength = values.length;
    ProbeSize = values.size;
    ProbeEnd = ProbeLength;
}

ltvItemData TaskFromProbe(const QString &path, const MediaProbe &probe, const QString &outputExt)
{
    ltvItemData task;
    task.InputFile = path;
    task.LengthText = probe.ProbeLength;
    task.SizeText = probe.ProbeSize;
    task.StatusText = QStringLiteral("OK");
    task.NewName = QFileInfo(path).completeBaseName();
    task.NewExt = outputExt;
    task.OrigStartText = probe.ProbeStart;
    task.OrigEndText = probe.ProbeEnd;
    task.ClipLengthText = probe.ProbeLength;
    task.StartText = probe.ProbeStart;
    task.EndText = probe.ProbeEnd;
    return task;
}
