#include "conversion/enginecommand.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

#include <algorithm>

QStringList SplitCommandLine(const QString &text)
{
    QStringList result;
    QString current;
    bool inArgument = false;
    bool quoted = false;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('\\')) {
            qsizetype run = 0;
            while (i + run < n && text[i + run] == QLatin1Char('\\'))
                ++run;
            inArgument = true;
            if (i + run < n && text[i + run] == QLatin1Char('"')) {
                current += QString(run / 2, QLatin1Char('\\'));
                if (run % 2 == 1) {
                    current += QLatin1Char('"');
                    i += run; // the quote is taken as a literal
                } else {
                    i += run - 1; // the quote is handled by the next step
                }
            } else {
                current += QString(run, QLatin1Char('\\'));
                i += run - 1;
            }
        } else if (c == QLatin1Char('"')) {
            inArgument = true;
            if (quoted && i + 1 < n && text[i + 1] == QLatin1Char('"')) {
                current += QLatin1Char('"');
                ++i;
            } else {
                quoted = !quoted;
            }
        } else if (!quoted && (c == QLatin1Char(' ') || c == QLatin1Char('\t'))) {
            if (inArgument) {
                result << current;
                current.clear();
                inArgument = false;
            }
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (inArgument)
        result << current;
    return result;
}

namespace {

QString quoted(const QString &path)
{
    return QLatin1Char('"') + path + QLatin1Char('"');
}

} // namespace

EngineCommand ProbeCommand(const QString &input)
{
    return {QStringLiteral(" -i ") + quoted(input), {QStringLiteral("-i"), input}};
}

EngineCommand ConversionCommand(const QString &input, const QString &params,
                                const std::optional<QString> &start,
                                const std::optional<QString> &seconds, const QString &output)
{
    QString middle = params;
    if (start)
        middle += QStringLiteral(" -ss ") + *start;
    if (seconds)
        middle += QStringLiteral(" -t ") + *seconds;

    EngineCommand command;
    command.text = QStringLiteral(" -y -i ") + quoted(input) + middle + QLatin1Char(' ') + quoted(output);
    command.arguments << QStringLiteral("-y") << QStringLiteral("-i") << input;
    command.arguments << SplitCommandLine(middle);
    command.arguments << output;
    return command;
}

bool CopiesVideo(const QString &params)
{
    static const QRegularExpression videoCodec(QStringLiteral("^-(c|codec|vcodec|c:v|codec:v)(:\\d+)?$"));
    const QStringList arguments = SplitCommandLine(params);
    for (qsizetype i = 0; i + 1 < arguments.size(); ++i) {
        if (arguments[i + 1] == QLatin1String("copy") && videoCodec.match(arguments[i]).hasMatch())
            return true;
    }
    return false;
}

namespace {

bool isMatroska(const QString &outputPath)
{
    const QString suffix = QFileInfo(outputPath).suffix().toLower();
    return suffix == QLatin1String("mkv") || suffix == QLatin1String("mka") || suffix == QLatin1String("webm");
}

// Seconds as the engine reads them: a whole number as one, else to the
// millisecond without trailing zeros.
QString secondsText(double seconds)
{
    const qint64 ms = qRound64(seconds * 1000);
    if (ms % 1000 == 0)
        return QString::number(ms / 1000);
    QString text = QString::number(static_cast<double>(ms) / 1000, 'f', 3);
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    return text;
}

} // namespace

bool CopiesIntoMatroska(const QString &params, const QString &outputPath)
{
    return CopiesVideo(params) && isMatroska(outputPath);
}

EngineCommand TaskCommand(const ltvItemData &task, const QString &params, const QString &output)
{
    std::optional<QString> start;
    if (task.StartSecs != task.OrigStartSecs)
        start = task.StartText;
    std::optional<QString> seconds;
    // A range past the input's end takes what the input has: the engine
    // stops at its real end, which a length estimated from the bit rate or
    // read from a damaged file need not be.
    const bool pastTheEnd = task.LengthSecs > 0 && task.StartSecs + task.ClipLengthSecs > task.LengthSecs + 0.0005;
    if (task.ClipLengthSecs != task.LengthSecs && !pastTheEnd)
        seconds = secondsText(task.ClipLengthSecs);
    // Options for the input: a copy into Matroska needs a time on every
    // packet, which some inputs (MPEG-PS, VOB) lack on many.
    QString before;
    if (CopiesIntoMatroska(params, output))
        before += QStringLiteral(" -fflags +genpts");
    if (start && CopiesVideo(params))
        before += QStringLiteral(" -ss ") + *start;
    if (before.isEmpty())
        return ConversionCommand(task.InputFile, params, start, seconds, output);

    // " -y -fflags +genpts -ss START -i "INPUT"PARAMS -t SECONDS "OUTPUT""
    QString middle = params;
    if (seconds)
        middle += QStringLiteral(" -t ") + *seconds;
    EngineCommand command;
    command.text = QStringLiteral(" -y") + before + QStringLiteral(" -i ") + quoted(task.InputFile) + middle
                   + QLatin1Char(' ') + quoted(output);
    command.arguments << QStringLiteral("-y") << SplitCommandLine(before) << QStringLiteral("-i") << task.InputFile;
    command.arguments << SplitCommandLine(middle);
    command.arguments << output;
    return command;
}

namespace {

const QRegularExpression &allStreamsPattern()
{
    static const QRegularExpression pattern(QStringLiteral("(?:^|[ \\t])-map[ \\t]+") + QLatin1String(AllStreamsValue)
                                            + QStringLiteral("(?=[ \\t]|$)"));
    return pattern;
}

// One argument as a command-line text that SplitCommandLine gives back whole.
QString quotedArgument(const QString &argument)
{
    QString text = QStringLiteral("\"");
    qsizetype backslashes = 0;
    for (const QChar c : argument) {
        if (c == QLatin1Char('\\')) {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are doubled, and the quote escaped.
        text += QString(c == QLatin1Char('"') ? 2 * backslashes + 1 : backslashes, QLatin1Char('\\'));
        backslashes = 0;
        text += c;
    }
    return text + QString(2 * backslashes, QLatin1Char('\\')) + QLatin1Char('"');
}

// How a container holds subtitles.
enum class SubtitleHome { None, MovText, Matroska, WebVtt, DvdPictures };

SubtitleHome subtitleHome(const QString &suffix)
{
    if (QStringList{"mp4", "m4v", "mov", "3gp", "3g2"}.contains(suffix))
        return SubtitleHome::MovText;
    if (suffix == QLatin1String("mkv"))
        return SubtitleHome::Matroska;
    if (suffix == QLatin1String("webm"))
        return SubtitleHome::WebVtt;
    if (suffix == QLatin1String("mpg") || suffix == QLatin1String("vob"))
        return SubtitleHome::DvdPictures;
    return SubtitleHome::None;
}

// The subtitle encoder for `stream` in a container, "copy" to keep it as it
// is; empty when the container cannot hold it.
QString subtitleCodec(SubtitleHome home, const MediaStream &stream)
{
    static const QStringList matroskaText = {"subrip", "text", "ass", "ssa", "webvtt"};
    static const QStringList matroskaPictures = {"dvd_subtitle", "hdmv_pgs_subtitle", "dvb_subtitle"};
    switch (home) {
    case SubtitleHome::MovText:
        return stream.picture ? QString() : QStringLiteral("mov_text");
    case SubtitleHome::WebVtt:
        return stream.picture ? QString() : QStringLiteral("webvtt");
    case SubtitleHome::Matroska:
        if (stream.picture)
            return matroskaPictures.contains(stream.codec) ? QStringLiteral("copy") : QString();
        return matroskaText.contains(stream.codec) ? QStringLiteral("copy") : QStringLiteral("srt");
    case SubtitleHome::DvdPictures:
        return stream.codec == QLatin1String("dvd_subtitle") ? QStringLiteral("copy") : QString();
    case SubtitleHome::None:
        break;
    }
    return QString();
}

// A QuickTime movie tags a track's language with the bibliographic code of
// ISO 639-2 ("ger"); the terminology code ("deu") of the same language would be
// lost there. The languages whose two codes differ.
QString bibliographicLanguage(const QString &language)
{
    static const QHash<QString, QString> codes = {
        {"sqi", "alb"}, {"hye", "arm"}, {"eus", "baq"}, {"mya", "bur"}, {"zho", "chi"},
        {"ces", "cze"}, {"nld", "dut"}, {"fra", "fre"}, {"kat", "geo"}, {"deu", "ger"},
        {"ell", "gre"}, {"isl", "ice"}, {"mkd", "mac"}, {"mri", "mao"}, {"msa", "may"},
        {"fas", "per"}, {"ron", "rum"}, {"slk", "slo"}, {"bod", "tib"}, {"cym", "wel"},
    };
    return codes.value(language);
}

// The texts a person reads, translated in this file's own context.
struct Texts
{
    Q_DECLARE_TR_FUNCTIONS(EngineCommand)
};

QString leftOutSentence(SubtitleHome home, const QString &container, const MediaStream &stream)
{
    QStringList facts{stream.codec};
    if (!stream.language.isEmpty())
        facts << stream.language;
    const QString what =
        Texts::tr("Subtitle stream 0:%1 (%2) was left out: ").arg(stream.index).arg(facts.join(QStringLiteral(", ")));
    switch (home) {
    case SubtitleHome::None:
        return what + Texts::tr("%1 files hold no subtitles.").arg(container);
    case SubtitleHome::Matroska:
        return what + Texts::tr("%1 files hold no subtitles of this kind.").arg(container);
    case SubtitleHome::DvdPictures:
        return what + Texts::tr("%1 files hold only DVD picture subtitles.").arg(container);
    case SubtitleHome::MovText:
    case SubtitleHome::WebVtt:
        break;
    }
    return what + Texts::tr("%1 files hold no subtitles drawn as pictures.").arg(container);
}

} // namespace

bool KeepsAllStreams(const QString &params)
{
    return allStreamsPattern().match(params).hasMatch();
}

StreamSelection SelectStreams(const std::optional<QList<MediaStream>> &streams, const QString &outputPath)
{
    StreamSelection selection;
    if (!streams) {
        selection.options = QStringLiteral(" -map 0:v:0? -map 0:a?");
        return selection;
    }
    const QString suffix = QFileInfo(outputPath).suffix().toLower();
    const SubtitleHome home = subtitleHome(suffix);
    // Titles are the track names of the QuickTime family. Set for every
    // stream that has one, so that a track name read from such an input
    // becomes a title elsewhere.
    const QString titleKey = home == SubtitleHome::MovText ? QStringLiteral("handler_name") : QStringLiteral("title");
    QString maps;
    QString codecs;
    bool videoTaken = false;
    for (const MediaStream &stream : *streams) {
        QString outputStream; // as "-c:" and "-metadata:s:" name it in the output
        switch (stream.kind) {
        case MediaStream::Kind::Video:
            if (videoTaken || stream.picture)
                continue;
            videoTaken = true;
            outputStream = QStringLiteral("v:0");
            break;
        case MediaStream::Kind::Audio:
            outputStream = QStringLiteral("a:%1").arg(selection.audio++);
            break;
        case MediaStream::Kind::Subtitle: {
            const QString codec = subtitleCodec(home, stream);
            if (codec.isEmpty()) {
                selection.leftOut << leftOutSentence(home, suffix.toUpper(), stream);
                continue;
            }
            outputStream = QStringLiteral("s:%1").arg(selection.subtitles++);
            codecs += QStringLiteral(" -c:%1 %2").arg(outputStream, codec);
            break;
        }
        case MediaStream::Kind::Other:
            continue;
        }
        maps += QStringLiteral(" -map 0:%1").arg(stream.index);
        const QString movLanguage = suffix == QLatin1String("mov") ? bibliographicLanguage(stream.language) : QString();
        if (!movLanguage.isEmpty())
            codecs += QStringLiteral(" -metadata:s:%1 language=%2").arg(outputStream, movLanguage);
        if (!stream.title.isEmpty())
            codecs += QStringLiteral(" -metadata:s:%1 ").arg(outputStream)
                      + quotedArgument(titleKey + QLatin1Char('=') + stream.title);
    }
    selection.options = maps + codecs;
    return selection;
}

QString WithStreams(const QString &params, const StreamSelection &selection)
{
    QString result = params;
    return result.replace(allStreamsPattern(), selection.options);
}

// ---------------------------------------------------------------------------
// Copies of the streams that already fit

namespace {

const QRegularExpression &fittingPattern()
{
    static const QRegularExpression pattern(QStringLiteral("(?:^|[ \\t])") + QLatin1String(FittingOption)
                                            + QStringLiteral("[ \\t]+(\\S+)(?=[ \\t]|$)"));
    return pattern;
}

// The options of a parameter string, the last value of each; flags map to "".
QHash<QString, QString> optionValues(const QString &params)
{
    static const QStringList flags = {"-vn", "-an", "-sn", "-dn", "-bitexact", "-y", "-n"};
    QHash<QString, QString> values;
    const QStringList arguments = SplitCommandLine(params);
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &name = arguments[i];
        if (!name.startsWith(QLatin1Char('-')))
            continue;
        if (flags.contains(name) || i + 1 >= arguments.size()) {
            values.insert(name, QString());
            continue;
        }
        values.insert(name, arguments[++i]);
    }
    return values;
}

QString firstOf(const QHash<QString, QString> &values, const QStringList &names)
{
    // The engine takes the last one given; the grid gives each once.
    for (const QString &name : names) {
        if (values.contains(name))
            return values.value(name);
    }
    return QString();
}

// The codec an encoder of the engine writes, as the media library names it.
QString codecOfEncoder(const QString &encoder)
{
    static const QHash<QString, QString> names = {
        {"libx264", "h264"},          {"libx264rgb", "h264"},   {"h264_vaapi", "h264"},  {"libx265", "hevc"},
        {"hevc_vaapi", "hevc"},       {"libaom-av1", "av1"},    {"libsvtav1", "av1"},    {"librav1e", "av1"},
        {"libvpx", "vp8"},            {"libvpx-vp9", "vp9"},    {"libxvid", "mpeg4"},    {"flv", "flv1"},
        {"libmp3lame", "mp3"},        {"libshine", "mp3"},      {"libopus", "opus"},     {"libvorbis", "vorbis"},
        {"libfdk_aac", "aac"},        {"libopencore_amrnb", "amr_nb"}, {"libtheora", "theora"},
    };
    return names.value(encoder, encoder);
}

// "1500k", "2M", "128000" in bits per second; 0 when it is none of these.
qint64 bitsPerSecond(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d+(?:\\.\\d+)?)([kKmM]?)$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return 0;
    double value = match.captured(1).toDouble();
    const QString unit = match.captured(2).toLower();
    value *= unit == QLatin1String("k") ? 1e3 : unit == QLatin1String("m") ? 1e6 : 1;
    return static_cast<qint64>(value);
}

// "25", "30000/1001", "29.97" in frames per second; 0 when none of these.
double framesPerSecond(const QString &text)
{
    const qsizetype slash = text.indexOf(QLatin1Char('/'));
    bool ok = false;
    if (slash < 0) {
        const double rate = text.toDouble(&ok);
        return ok ? rate : 0;
    }
    const double num = text.left(slash).toDouble(&ok);
    bool denOk = false;
    const double den = text.mid(slash + 1).toDouble(&denOk);
    return ok && denOk && den > 0 ? num / den : 0;
}

// Whether a bit rate fits under a limit the profile sets (none: any fits).
bool bitRateFits(qint64 streamRate, const QString &limit)
{
    if (limit.isEmpty())
        return true;
    const qint64 most = bitsPerSecond(limit);
    return most > 0 && streamRate > 0 && streamRate <= most;
}

bool videoFits(const MediaStream &stream, const QHash<QString, QString> &values)
{
    const QString codec = firstOf(values, {"-c:v", "-codec:v", "-vcodec"});
    if (codec.isEmpty() || codec == QLatin1String("copy") || codecOfEncoder(codec) != stream.codec)
        return false;
    if (values.contains(QStringLiteral("-vf")) || values.contains(QStringLiteral("-filter:v"))
        || values.contains(QStringLiteral("-aspect")))
        return false;
    const QString size = values.value(QStringLiteral("-s"));
    if (!size.isEmpty() && size != QStringLiteral("%1x%2").arg(stream.width).arg(stream.height))
        return false;
    const QString rate = values.value(QStringLiteral("-r"));
    if (!rate.isEmpty() && (stream.frameRate <= 0 || qAbs(framesPerSecond(rate) - stream.frameRate) > 0.005))
        return false;
    const QString format = values.value(QStringLiteral("-pix_fmt"));
    if (!format.isEmpty() && format != stream.pixelFormat)
        return false;
    return bitRateFits(stream.bitRate, firstOf(values, {"-b:v", "-vb"}));
}

bool audioFits(const MediaStream &stream, const QHash<QString, QString> &values)
{
    const QString codec = firstOf(values, {"-c:a", "-codec:a", "-acodec"});
    if (codec.isEmpty() || codec == QLatin1String("copy") || codecOfEncoder(codec) != stream.codec)
        return false;
    if (values.contains(QStringLiteral("-af")) || values.contains(QStringLiteral("-filter:a")))
        return false;
    const QString rate = values.value(QStringLiteral("-ar"));
    if (!rate.isEmpty() && rate != QString::number(stream.sampleRate))
        return false;
    const QString channels = values.value(QStringLiteral("-ac"));
    if (!channels.isEmpty() && channels != QString::number(stream.channels))
        return false;
    return bitRateFits(stream.bitRate, firstOf(values, {"-b:a", "-ab"}));
}

} // namespace

bool CopiesFitting(const QString &params)
{
    const QRegularExpressionMatch match = fittingPattern().match(params);
    return match.hasMatch() && match.captured(1) == QLatin1String("copy");
}

FittingCopies WithFittingCopies(const QString &params, const std::optional<QList<MediaStream>> &streams)
{
    FittingCopies result;
    const bool wanted = CopiesFitting(params);
    result.params = params;
    result.params.remove(fittingPattern());
    if (!wanted || !streams)
        return result;

    const QHash<QString, QString> values = optionValues(result.params);
    const auto video = std::find_if(streams->cbegin(), streams->cend(), [](const MediaStream &s) {
        return s.kind == MediaStream::Kind::Video && !s.picture;
    });
    if (!values.contains(QStringLiteral("-vn")) && video != streams->cend() && videoFits(*video, values)) {
        result.params += QStringLiteral(" -c:v copy");
        result.copied << Texts::tr("video (%1, %2x%3)").arg(video->codec).arg(video->width).arg(video->height);
    }
    if (values.contains(QStringLiteral("-an")))
        return result;
    QList<MediaStream> audio;
    for (const MediaStream &s : *streams) {
        if (s.kind == MediaStream::Kind::Audio)
            audio << s;
    }
    if (audio.isEmpty())
        return result;
    const auto fits = [&values](const MediaStream &s) { return audioFits(s, values); };
    const auto described = [](const MediaStream &s) {
        return Texts::tr("audio 0:%1 (%2, %3 Hz)").arg(s.index).arg(s.codec).arg(s.sampleRate);
    };
    if (KeepsAllStreams(result.params)) {
        // Every audio stream is kept, in file order: each is copied or converted on its own.
        for (qsizetype n = 0; n < audio.size(); ++n) {
            if (!fits(audio[n]))
                continue;
            result.params += QStringLiteral(" -c:a:%1 copy").arg(n);
            result.copied << described(audio[n]);
        }
    } else if (std::all_of(audio.cbegin(), audio.cend(), fits)) {
        // The engine picks one of them: whichever it takes fits.
        result.params += QStringLiteral(" -c:a copy");
        result.copied << Texts::tr("audio (%1)").arg(audio.first().codec);
    }
    return result;
}

QString WithMatroskaSubtitles(const QString &params, const QList<MediaStream> &streams, const QString &outputPath)
{
    static const QRegularExpression subtitleCodec(QStringLiteral("^-(c|codec|scodec|c:s|codec:s)$"));
    const QStringList arguments = SplitCommandLine(params);
    bool copied = false;
    bool everyStream = false;
    for (qsizetype i = 0; i + 1 < arguments.size(); ++i) {
        if (arguments[i + 1] == QLatin1String("copy") && subtitleCodec.match(arguments[i]).hasMatch())
            copied = true;
        if (arguments[i] == QLatin1String("-map") && arguments[i + 1] == QLatin1String("0"))
            everyStream = true;
    }
    if (!copied || !isMatroska(outputPath))
        return params;
    // With "-map 0" the output has every subtitle stream in the input's
    // order; else the engine picks one: the first that is text.
    QList<MediaStream> subtitles;
    for (const MediaStream &stream : streams) {
        if (stream.kind == MediaStream::Kind::Subtitle && (everyStream || subtitles.isEmpty()) && (everyStream || !stream.picture))
            subtitles << stream;
    }
    // WebM holds text as WebVTT only.
    const QString text = QFileInfo(outputPath).suffix().toLower() == QLatin1String("webm") ? QStringLiteral("webvtt")
                                                                                          : QStringLiteral("srt");
    QString result = params;
    for (qsizetype k = 0; k < subtitles.size(); ++k) {
        if (subtitles[k].codec == QLatin1String("mov_text"))
            result += QStringLiteral(" -c:s:%1 %2").arg(k).arg(text);
    }
    return result;
}
