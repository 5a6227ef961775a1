#include "conversion/segmentplan.h"

#include "conversion/enginecommand.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <sys/stat.h>

namespace {

// The options whose value is the video encoder.
bool namesVideoCodec(const QString &option)
{
    static const QRegularExpression videoCodec(QStringLiteral("^-(c|codec|vcodec|c:v|codec:v)(:0)?$"));
    return videoCodec.match(option).hasMatch();
}

QString videoEncoder(const QStringList &arguments)
{
    QString encoder;
    for (qsizetype i = 0; i + 1 < arguments.size(); ++i)
        if (namesVideoCodec(arguments[i]))
            encoder = arguments[i + 1];
    return encoder;
}

bool joinableEncoder(const QString &encoder)
{
    static const QRegularExpression joinable(QStringLiteral(
        "^(libx264|libx264rgb|h264(_\\w+)?|libx265|hevc(_\\w+)?|libvpx-vp9|vp9(_\\w+)?|libaom-av1|libsvtav1|librav1e|"
        "av1(_\\w+)?|mpeg4|libxvid)$"));
    return joinable.match(encoder).hasMatch();
}

// Options that change which frames the output has, or where it begins.
bool changesFrames(const QStringList &arguments)
{
    static const QStringList options{QStringLiteral("-map"), QStringLiteral("-r"), QStringLiteral("-r:v"),
                                     QStringLiteral("-ss"), QStringLiteral("-t"), QStringLiteral("-to"),
                                     QStringLiteral("-sseof"), QStringLiteral("-pass"), QStringLiteral("-filter_complex"),
                                     QStringLiteral("-lavfi"), QStringLiteral("-vframes"), QStringLiteral("-frames:v"),
                                     QStringLiteral("-fs"), QStringLiteral("-vsync"), QStringLiteral("-fps_mode")};
    static const QRegularExpression frameFilters(
        QStringLiteral("\\b(fps|framerate|select|setpts|minterpolate|tinterlace|telecine|decimate|trim|loop|"
                       "fade|reverse|tpad|framestep|mpdecimate)\\b"));
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (options.contains(arguments[i]))
            return true;
        const bool filter = arguments[i] == QLatin1String("-vf") || arguments[i] == QLatin1String("-filter:v");
        if (filter && i + 1 < arguments.size() && frameFilters.match(arguments[i + 1]).hasMatch())
            return true;
    }
    return false;
}

QString fileIdentity(const QString &path)
{
    const QFileInfo info(path);
    return QStringLiteral("%1 %2").arg(info.size()).arg(info.lastModified().toMSecsSinceEpoch());
}

QByteArray hashOfEnds(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    constexpr qint64 MiB = 1 << 20;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(file.read(MiB));
    if (file.size() > MiB) {
        file.seek(std::max(MiB, file.size() - MiB));
        hash.addData(file.read(MiB));
    }
    return hash.result().toHex();
}

QStringList optionValues(const QStringList &arguments, const QStringList &options)
{
    QStringList kept;
    for (qsizetype i = 0; i + 1 < arguments.size(); ++i)
        if (options.contains(arguments[i]))
            kept << arguments[i] << arguments[i + 1];
    return kept;
}

} // namespace

bool JoinsWithoutConverting(const QString &params, const QString &outputPath)
{
    static const QStringList containers{QStringLiteral("mp4"), QStringLiteral("m4v"), QStringLiteral("mov"),
                                        QStringLiteral("mkv"), QStringLiteral("webm"), QStringLiteral("ts")};
    if (!containers.contains(QFileInfo(outputPath).suffix().toLower()) || CopiesVideo(params))
        return false;
    const QStringList arguments = SplitCommandLine(params);
    if (arguments.contains(QStringLiteral("-vn")))
        return false;
    return joinableEncoder(videoEncoder(arguments)) && !changesFrames(arguments);
}

bool ConvertsInSegments(const ltvItemData &task, const QString &params, const QString &outputPath,
                        double segmentSecs)
{
    if (segmentSecs <= 0 || task.LengthSecs <= segmentSecs || !JoinsWithoutConverting(params, outputPath))
        return false;
    // Only a task that converts its whole input: a range of its own would
    // begin or end between key frames.
    const bool whole = task.StartSecs <= 0 && (task.ClipLengthSecs <= 0 || task.ClipLengthSecs >= task.LengthSecs - 0.001);
    return whole;
}

SegmentIdentity IdentityOf(const QString &input, const QString &params, double segmentSecs, const QString &enginePath)
{
    SegmentIdentity identity;
    identity.input = QFileInfo(input).absoluteFilePath();
    struct stat facts{};
    if (::stat(QFile::encodeName(input).constData(), &facts) == 0) {
        identity.inputSize = facts.st_size;
        identity.inputMtimeNs = qint64(facts.st_mtim.tv_sec) * 1000000000 + facts.st_mtim.tv_nsec;
    }
    identity.inputEnds = hashOfEnds(input);
    identity.params = params;
    identity.segmentSecs = segmentSecs;
    identity.engine = fileIdentity(enginePath);
    return identity;
}

QByteArray SegmentRecord::toJson() const
{
    QJsonArray pieceArray;
    for (const SegmentPiece &piece : pieces)
        pieceArray.append(QJsonObject{{QStringLiteral("file"), piece.file},
                                      {QStringLiteral("start"), piece.startSecs},
                                      {QStringLiteral("secs"), piece.secs},
                                      {QStringLiteral("frames"), piece.frames},
                                      {QStringLiteral("done"), piece.done},
                                      {QStringLiteral("doneSize"), piece.doneSize}});
    const QJsonObject object{
        {QStringLiteral("input"), identity.input},
        {QStringLiteral("inputSize"), identity.inputSize},
        {QStringLiteral("inputMtimeNs"), QString::number(identity.inputMtimeNs)},
        {QStringLiteral("inputEnds"), QString::fromLatin1(identity.inputEnds)},
        {QStringLiteral("params"), identity.params},
        {QStringLiteral("segmentSecs"), identity.segmentSecs},
        {QStringLiteral("engine"), identity.engine},
        {QStringLiteral("cut"), cut},
        {QStringLiteral("inputFrames"), inputFrames},
        {QStringLiteral("inputSecs"), inputSecs},
        {QStringLiteral("inputAudio"), inputAudio},
        {QStringLiteral("audioLead"), audioLead},
        {QStringLiteral("audioTail"), audioTail},
        {QStringLiteral("pieces"), pieceArray},
        {QStringLiteral("audioDone"), audioDone},
        {QStringLiteral("audioSize"), audioSize},
    };
    return QJsonDocument(object).toJson();
}

std::optional<SegmentRecord> SegmentRecord::FromJson(const QByteArray &json)
{
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    SegmentRecord record;
    record.identity.input = object.value(QStringLiteral("input")).toString();
    record.identity.inputSize = object.value(QStringLiteral("inputSize")).toInteger(-1);
    record.identity.inputMtimeNs = object.value(QStringLiteral("inputMtimeNs")).toString().toLongLong();
    record.identity.inputEnds = object.value(QStringLiteral("inputEnds")).toString().toLatin1();
    record.identity.params = object.value(QStringLiteral("params")).toString();
    record.identity.segmentSecs = object.value(QStringLiteral("segmentSecs")).toDouble();
    record.identity.engine = object.value(QStringLiteral("engine")).toString();
    record.cut = object.value(QStringLiteral("cut")).toBool();
    record.inputFrames = object.value(QStringLiteral("inputFrames")).toInteger(-1);
    record.inputSecs = object.value(QStringLiteral("inputSecs")).toDouble();
    record.inputAudio = object.value(QStringLiteral("inputAudio")).toBool();
    record.audioLead = object.value(QStringLiteral("audioLead")).toDouble();
    record.audioTail = object.value(QStringLiteral("audioTail")).toDouble();
    record.audioDone = object.value(QStringLiteral("audioDone")).toBool();
    record.audioSize = object.value(QStringLiteral("audioSize")).toInteger(-1);
    for (const QJsonValue &value : object.value(QStringLiteral("pieces")).toArray()) {
        const QJsonObject piece = value.toObject();
        const QString file = piece.value(QStringLiteral("file")).toString();
        // Only plain names of the folder's own.
        if (file.isEmpty() || file.contains(QLatin1Char('/')) || file.startsWith(QLatin1Char('.')))
            return std::nullopt;
        record.pieces.append(SegmentPiece{file, piece.value(QStringLiteral("start")).toDouble(),
                                          piece.value(QStringLiteral("secs")).toDouble(),
                                          piece.value(QStringLiteral("frames")).toInteger(-1),
                                          piece.value(QStringLiteral("done")).toBool(),
                                          piece.value(QStringLiteral("doneSize")).toInteger(-1)});
    }
    return record;
}

double SegmentRecord::doneShare() const
{
    double total = 0;
    double done = 0;
    for (const SegmentPiece &piece : pieces) {
        total += piece.secs;
        if (piece.done)
            done += piece.secs;
    }
    return total > 0 ? done / total : 0;
}

QString SegmentRecord::SegmentName(int index, const QString &ext)
{
    return QStringLiteral("segment%1.%2").arg(index, 5, 10, QLatin1Char('0')).arg(ext);
}

std::optional<QList<SegmentPiece>> ParseSegmentList(const QByteArray &csv)
{
    QList<SegmentPiece> pieces;
    for (const QByteArray &line : csv.split('\n')) {
        if (line.trimmed().isEmpty())
            continue;
        const QList<QByteArray> fields = line.trimmed().split(',');
        bool startOk = false;
        bool endOk = false;
        if (fields.size() != 3)
            return std::nullopt;
        const double start = fields[1].toDouble(&startOk);
        const double end = fields[2].toDouble(&endOk);
        const QString file = QString::fromUtf8(fields[0]);
        if (!startOk || !endOk || end < start || file.contains(QLatin1Char('/')) || file.startsWith(QLatin1Char('.')))
            return std::nullopt;
        pieces.append(SegmentPiece{file, start, end - start});
    }
    if (pieces.isEmpty())
        return std::nullopt;
    return pieces;
}

QString SegmentFolderName(const QString &input, const QString &finalPath)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(QFileInfo(input).absoluteFilePath().toUtf8());
    hash.addData(QByteArrayView("\n"));
    hash.addData(QFileInfo(finalPath).fileName().toUtf8());
    return SegmentFolderPrefix + QString::fromLatin1(hash.result().toHex().left(16));
}

QStringList CutArguments(const QString &input, double segmentSecs, const QString &folder)
{
    return {QStringLiteral("-hide_banner"), QStringLiteral("-y"), QStringLiteral("-i"), input,
            QStringLiteral("-map"), QStringLiteral("0:V:0"), QStringLiteral("-c"), QStringLiteral("copy"),
            QStringLiteral("-f"), QStringLiteral("segment"), QStringLiteral("-segment_time"),
            QString::number(segmentSecs, 'f', 3), QStringLiteral("-reset_timestamps"), QStringLiteral("1"),
            QStringLiteral("-segment_format"), QStringLiteral("nut"), QStringLiteral("-segment_list"),
            folder + QStringLiteral("/pieces.csv"), QStringLiteral("-segment_list_type"), QStringLiteral("csv"),
            folder + QStringLiteral("/piece%05d.nut")};
}

QString SegmentParams(const QString &params)
{
    // Every frame as it comes: a piece must keep its count.
    return params + QStringLiteral(" -an -sn -dn -fps_mode passthrough");
}

QString AudioParams(const QString &params)
{
    return params + QStringLiteral(" -vn");
}

QStringList JoinArguments(const QString &listPath, const QString &audioPath, const QString &params,
                          const QString &output)
{
    QStringList arguments{QStringLiteral("-hide_banner"), QStringLiteral("-y"), QStringLiteral("-f"),
                          QStringLiteral("concat"), QStringLiteral("-safe"), QStringLiteral("0"),
                          QStringLiteral("-i"), listPath};
    if (!audioPath.isEmpty())
        arguments << QStringLiteral("-i") << audioPath;
    arguments << QStringLiteral("-map") << QStringLiteral("0:v");
    if (!audioPath.isEmpty())
        arguments << QStringLiteral("-map") << QStringLiteral("1");
    arguments << QStringLiteral("-c") << QStringLiteral("copy");
    const QStringList given = SplitCommandLine(params);
    // The tags come with the streams that are not video (from the input), or
    // not at all when the task drops them.
    const QStringList metadata = optionValues(given, {QStringLiteral("-map_metadata")});
    if (!metadata.isEmpty())
        arguments << metadata;
    else if (!audioPath.isEmpty())
        arguments << QStringLiteral("-map_metadata") << QStringLiteral("1");
    arguments << optionValues(given, {QStringLiteral("-f"), QStringLiteral("-movflags"), QStringLiteral("-tag:v"),
                                      QStringLiteral("-vtag"), QStringLiteral("-brand")});
    arguments << output;
    return arguments;
}

QByteArray ConcatList(const QStringList &files)
{
    QByteArray list("ffconcat version 1.0\n");
    for (QString file : files) {
        file.replace(QLatin1Char('\''), QLatin1String("'\\''"));
        list += "file '" + file.toUtf8() + "'\n";
    }
    return list;
}
