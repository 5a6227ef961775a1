#include "conversion/failureexplanation.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHash>
#include <QList>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

namespace {

// The texts a person reads, translated in this file's own context.
struct Texts
{
    Q_DECLARE_TR_FUNCTIONS(FailureExplanation)
};

// A line the engine writes on behalf of one of its parts: "[mp4 @ 0x55..] text".
const QRegularExpression &partLine()
{
    static const QRegularExpression re(QStringLiteral(R"(^\[([\w.,-]+) @ [^\]]*\] (.+)$)"));
    return re;
}

// What the engine's lines say, as patterns over one trimmed line. The order is
// the order of precedence: a full disk makes the engine complain of other things
// too; a missing encoder is named before the stream it could not open.
enum class Failure {
    DiskFull,
    NoTagInContainer,
    OnlySomeCodecs,
    UnknownEncoder,
    EncoderNotOpened,
    UnknownOutputType,
    EngineNotStarted,
    PermissionDenied,
    NoSuchFile,
    NameTooLong,
    UnknownDecoder,
    UnreadableInput,
};

struct Pattern
{
    Failure failure;
    QRegularExpression re;
};

const QList<Pattern> &patterns()
{
    static const QList<Pattern> list = {
        {Failure::DiskFull, QRegularExpression(QStringLiteral("No space left on device"))},
        {Failure::NoTagInContainer,
         QRegularExpression(QStringLiteral(
             R"(^\[([\w.,-]+) @ [^\]]*\] Could not find tag for codec (\S+) in stream #(\d+))"))},
        {Failure::OnlySomeCodecs,
         QRegularExpression(QStringLiteral(R"(^\[[\w.,-]+ @ [^\]]*\] Only (.+) (?:is|are) supported for (\w+)\.?$)"))},
        {Failure::UnknownEncoder, QRegularExpression(QStringLiteral(R"(^Unknown encoder '(.*)'$)"))},
        {Failure::EncoderNotOpened, QRegularExpression(QStringLiteral(R"(Error while opening encoder for output stream)"))},
        {Failure::UnknownOutputType,
         QRegularExpression(QStringLiteral(R"(Unable to find a suitable output format for '(.*)'$)"))},
        // How the process layer reports an engine it could not execute.
        {Failure::EngineNotStarted, QRegularExpression(QStringLiteral(R"(^execv\w*: (.+)$)"))},
        {Failure::PermissionDenied, QRegularExpression(QStringLiteral(R"(^(.+): Permission denied$)"))},
        {Failure::NoSuchFile, QRegularExpression(QStringLiteral(R"(^(.+): No such file or directory$)"))},
        {Failure::NameTooLong, QRegularExpression(QStringLiteral(R"(^(.+): File name too long$)"))},
        {Failure::UnknownDecoder,
         QRegularExpression(QStringLiteral(R"(^Decoder \(codec none\) not found for input stream #(\S+)$|codec none is not supported by this format$)"))},
        {Failure::UnreadableInput, QRegularExpression(QStringLiteral(R"(^(.+): Invalid data found when processing input$)"))},
    };
    return list;
}

// The engine's own short words for "it failed", marked with the lines above.
constexpr QLatin1String FailureSummaries[] = {
    QLatin1String("Conversion failed!"),
    QLatin1String("Could not write header"),
    QLatin1String("Error initializing output stream"),
    QLatin1String("Error writing trailer"),
    QLatin1String("Error closing file"),
};

QStringList outputLines(const QString &output)
{
    static const QRegularExpression breaks(QStringLiteral("[\r\n]"));
    QStringList lines;
    for (const QString &line : output.split(breaks, Qt::SkipEmptyParts)) {
        const QString trimmed = line.trimmed();
        if (!trimmed.isEmpty())
            lines << trimmed;
    }
    return lines;
}

// How people call the file type a muxer writes.
QString containerName(const QString &muxer)
{
    static const QHash<QString, QString> names = {
        {"matroska", "MKV"}, {"webm", "WebM"}, {"ipod", "M4A"}, {"asf", "WMV"}, {"asf_stream", "WMV"},
        {"mpeg", "MPEG"},    {"vcd", "MPEG"},  {"svcd", "MPEG"}, {"dvd", "VOB"}, {"mpegts", "TS"},
    };
    return names.value(muxer, muxer.toUpper());
}

// "video", "audio", ...: the kind of the stream whose codec is `codec`, as the
// engine's stream lines ("Stream #0:0: Video: wmv2 (...)") tell it.
QString streamKind(const QStringList &lines, const QString &codec)
{
    static const QRegularExpression stream(QStringLiteral(R"(Stream #\d+:\d+\S*: (Video|Audio|Subtitle|Data): ([^\s,]+))"));
    for (const QString &line : lines) {
        const QRegularExpressionMatch m = stream.match(line);
        if (m.hasMatch() && m.captured(2) == codec)
            return m.captured(1).toLower();
    }
    return QString();
}

QString noTagSentence(const QStringList &lines, const QRegularExpressionMatch &m)
{
    const QString container = containerName(m.captured(1));
    const QString codec = m.captured(2);
    const QString kind = streamKind(lines, codec);
    const QString stream = kind.isEmpty() ? codec.toUpper() : codec.toUpper() + QLatin1Char(' ') + kind;
    const QRegularExpression copied(QStringLiteral(R"(-> #\d+:%1 \(copy\))").arg(m.captured(3)));
    const bool copying = std::any_of(lines.begin(), lines.end(), [&](const QString &line) {
        return copied.match(line).hasMatch();
    });
    if (!copying) {
        return (kind.isEmpty() ? Texts::tr("%1 cannot be stored in %2: choose another codec or an MKV profile.")
                               : Texts::tr("%1 cannot be stored in %2: choose another %3 codec or an MKV profile."))
            .arg(stream, container, kind);
    }
    if (container == QLatin1String("MKV"))
        return Texts::tr("%1 cannot be copied into %2: choose a converting profile.").arg(stream, container);
    return Texts::tr("%1 cannot be copied into %2: choose a converting %2 profile or the \"MKV Copy Streams\" profile.")
        .arg(stream, container);
}

QString encoderSentence(const QStringList &lines, qsizetype at)
{
    // The encoder says why just before the engine gives up on it; its first
    // line of those tells it, the later ones add hints.
    QRegularExpressionMatch said;
    for (qsizetype i = at - 1; i >= 0; --i) {
        const QRegularExpressionMatch part = partLine().match(lines[i]);
        if (part.hasMatch() && (!said.hasMatch() || part.captured(1) == said.captured(1)))
            said = part;
        else if (said.hasMatch())
            break;
    }
    if (!said.hasMatch())
        return Texts::tr("An encoder could not start: choose another profile or change its parameters.");
    QString why = said.captured(2).trimmed();
    if (why.endsWith(QLatin1Char('.')))
        why.chop(1);
    return Texts::tr("The encoder \"%1\" could not start (%2): choose another profile or change its parameters.")
        .arg(said.captured(1), why);
}

QString sentenceFor(Failure failure, const QStringList &lines, qsizetype at, const QRegularExpressionMatch &m)
{
    switch (failure) {
    case Failure::DiskFull:
        return Texts::tr("The disk is full: free some space or choose another output folder.");
    case Failure::NoTagInContainer:
        return noTagSentence(lines, m);
    case Failure::OnlySomeCodecs:
        return Texts::tr("%1 can hold only %2: choose a converting %1 profile or the \"MKV Copy Streams\" profile.")
            .arg(m.captured(2), m.captured(1));
    case Failure::UnknownEncoder:
        return Texts::tr("The engine has no encoder \"%1\": choose another profile or another codec.").arg(m.captured(1));
    case Failure::EncoderNotOpened:
        return encoderSentence(lines, at);
    case Failure::UnknownOutputType:
        return Texts::tr("The engine cannot write \".%1\" files: choose another output extension.")
            .arg(QFileInfo(m.captured(1)).suffix());
    case Failure::EngineNotStarted:
        return Texts::tr("The engine could not be started: %1.").arg(m.captured(1));
    case Failure::PermissionDenied:
        return Texts::tr("The engine was not allowed to open \"%1\": check the permissions of the file and its folder.")
            .arg(m.captured(1));
    case Failure::NoSuchFile:
        return Texts::tr("\"%1\" does not exist: it may have been moved, renamed or deleted.").arg(m.captured(1));
    case Failure::NameTooLong:
        return Texts::tr("The name \"%1\" is too long for its file system: choose a shorter output name or folder.")
            .arg(QFileInfo(m.captured(1)).fileName());
    case Failure::UnknownDecoder:
        return Texts::tr("The engine does not know the codec of the input's video or audio stream: it cannot be "
                         "converted or copied.");
    case Failure::UnreadableInput:
        return Texts::tr("\"%1\" is damaged or is not a video or audio file the engine can read.").arg(m.captured(1));
    }
    return QString();
}

} // namespace

QString ExplainFailure(const QString &engineOutput, const QString &runNotes)
{
    const QStringList lines = outputLines(engineOutput);
    const QString reason = runNotes.section(QLatin1Char('\n'), 0, 0).trimmed();
    // The reason may quote the engine (a failed write): it is read like its lines.
    const QStringList read = reason.isEmpty() ? lines : QStringList(lines) << reason;
    for (const Pattern &pattern : patterns()) {
        for (qsizetype i = 0; i < read.size(); ++i) {
            const QRegularExpressionMatch m = pattern.re.match(read[i]);
            if (m.hasMatch())
                return sentenceFor(pattern.failure, read, i, m);
        }
    }
    // A check of the output says in its own words what is wrong with it.
    return reason;
}

QString FailureHeadline(const QString &engineOutput, const QString &runNotes)
{
    const QString sentence = ExplainFailure(engineOutput, runNotes);
    if (!sentence.isEmpty())
        return sentence;
    // Statistics, metadata and progress lines come after an error as often
    // as before it: the last line that names one is taken.
    static const QRegularExpression error(
        QStringLiteral(R"(error|invalid|failed|cannot|can't|could not|not found|not supported|unsupported|too long|denied|corrupt)"),
        QRegularExpression::CaseInsensitiveOption);
    const QStringList lines = outputLines(engineOutput);
    for (qsizetype i = lines.size() - 1; i >= 0; --i) {
        const bool summary = std::any_of(std::begin(FailureSummaries), std::end(FailureSummaries),
                                         [&](QLatin1String words) { return lines[i].contains(words); });
        if (summary || IsEngineBannerLine(lines[i]) || !error.match(lines[i]).hasMatch())
            continue;
        const QRegularExpressionMatch part = partLine().match(lines[i]);
        return Texts::tr("The engine reported: %1").arg(part.hasMatch() ? part.captured(2).trimmed() : lines[i]);
    }
    return Texts::tr("The engine ended with an error without saying why.");
}

bool NamesFailure(QStringView line)
{
    const QString trimmed = line.trimmed().toString();
    if (trimmed.isEmpty())
        return false;
    for (const QLatin1String summary : FailureSummaries)
        if (trimmed.contains(summary))
            return true;
    return std::any_of(patterns().begin(), patterns().end(),
                       [&](const Pattern &pattern) { return pattern.re.match(trimmed).hasMatch(); });
}

bool IsEngineBannerLine(QStringView line)
{
    static const QRegularExpression banner(QStringLiteral(
        R"(^(?:ffmpeg version |ffprobe version |\s+built with |\s+configuration: |\s+lib\w+\s+\d+\.\s*\d+\.\s*\d+ / ))"));
    return banner.match(line.toString()).hasMatch();
}
