// Every profile that ships in the program folder converts a generated clip
// through the real engine, with the parameter string the program builds: at
// its default values, with another frame size and without audio or video, and
// with every choice of every list picked at least once.
#include "conversion/enginecommand.h"
#include "conversion/inprocessprobe.h"
#include "conversion/qualitysearch.h"
#include "profiles/parametergrid.h"
#include "profiles/profiles.h"

#include "fakes/programfolder.h"
#include "fakes/recorders.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <algorithm>
#include <string_view>
#include <cctype>
#include <cmath>

namespace {

// What each shipped profile promises at its default values, in the order of
// the profile list: by name, ignoring letter case, then the profiles listed
// last in the order of listed-last.txt.
struct Promise
{
    const char *name;
    const char *extension;
    const char *videoCodec; // empty: audio only
    const char *audioCodec; // empty: video only
    int width;  // at the default "Video Size" (or "Width"); the clip is 320x240
    int height;
    // Whether it offers "Video Size" and the two Disable rows (the stream
    // copies and GIF cannot change a picture's size).
    bool sized = true;
    const char *videoTag = ""; // the video stream's codec tag; empty: not checked
};

void PrintTo(const Promise &p, std::ostream *os)
{
    *os << p.name;
}

const Promise Promises[] = {
    {"3GP Mobile", ".3gp", "mpeg4", "aac", 176, 144},
    {"AVI MPEG-4 MP3", ".avi", "mpeg4", "mp3", 320, 240},
    {"FLAC Audio", ".flac", "", "flac", 0, 0},
    {"FLV Flash Video", ".flv", "h264", "aac", 320, 240},
    {"M4A AAC Audio", ".m4a", "", "aac", 0, 0},
    {"MKV H.264", ".mkv", "h264", "aac", 320, 240},
    {"MOV H.264 AAC", ".mov", "h264", "aac", 320, 240},
    {"MP3 Audio", ".mp3", "", "mp3", 0, 0},
    {"MP4 for Phones", ".mp4", "h264", "aac", 320, 240},
    {"MP4 H.264 AAC", ".mp4", "h264", "aac", 320, 240},
    {"MPEG-1 VCD", ".mpg", "mpeg1video", "mp2", 320, 240},
    {"MPEG-2 DVD", ".mpg", "mpeg2video", "ac3", 720, 576},
    {"WAV Audio", ".wav", "", "pcm_s16le", 0, 0},
    {"WebM VP8 Vorbis", ".webm", "vp8", "vorbis", 320, 240},
    {"WebM VP9 Opus", ".webm", "vp9", "opus", 320, 240},
    {"WMV Windows Media", ".wmv", "wmv2", "wmav2", 320, 240},
    // Listed last: the positions above stay those a stored "Profile" names.
    // Tagged hvc1, which players that follow Apple's rules need.
    {"MP4 H.265 AAC", ".mp4", "hevc", "aac", 320, 240, true, "hvc1"},
    {"MKV H.265 AAC", ".mkv", "hevc", "aac", 320, 240},
    {"MP4 AV1 AAC", ".mp4", "av1", "aac", 320, 240},
    {"WebM AV1 Opus", ".webm", "av1", "opus", 320, 240},
    // The clip's own streams, copied.
    {"MP4 Copy Streams", ".mp4", "mpeg4", "mp3", 320, 240, false},
    {"MKV Copy Streams", ".mkv", "mpeg4", "mp3", 320, 240, false},
    {"GIF Animation", ".gif", "gif", "", 480, 360, false},
    {"Opus Audio", ".opus", "", "opus", 0, 0},
};

std::vector<Promise> videoPromises()
{
    std::vector<Promise> result;
    for (const Promise &p : Promises) {
        if (*p.videoCodec && p.sized)
            result.push_back(p);
    }
    return result;
}

Promise promiseNamed(const char *name)
{
    for (const Promise &p : Promises) {
        if (std::string_view(p.name) == name)
            return p;
    }
    return {};
}

struct ToolRun
{
    int exitCode = -1;
    QString output;
};

ToolRun run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    // A guard against a stuck engine, not a measure of speed.
    if (!process.waitForFinished(300000))
        process.kill();
    process.waitForFinished();
    ToolRun result;
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.output = QString::fromLocal8Bit(process.readAll());
    return result;
}

struct Probe
{
    QString videoCodec;
    QString audioCodec;
    QString videoTag;
    QString frameRate;
    int width = 0;
    int height = 0;
    double duration = 0;
    int streams = 0;
};

Probe probe(const QString &path)
{
    const ToolRun r = run(QStringLiteral(VANTORIX_FFPROBE),
                      {"-v", "error", "-show_entries", "format=duration:stream=codec_type,codec_name,codec_tag_string,r_frame_rate,width,height",
                       "-of", "json", path});
    const QJsonObject root = QJsonDocument::fromJson(r.output.toUtf8()).object();
    Probe p;
    p.duration = root.value(QStringLiteral("format")).toObject().value(QStringLiteral("duration")).toString().toDouble();
    const QJsonArray streams = root.value(QStringLiteral("streams")).toArray();
    p.streams = static_cast<int>(streams.size());
    for (const QJsonValue &value : streams) {
        const QJsonObject s = value.toObject();
        const QString type = s.value(QStringLiteral("codec_type")).toString();
        if (type == QStringLiteral("video")) {
            p.videoCodec = s.value(QStringLiteral("codec_name")).toString();
            p.videoTag = s.value(QStringLiteral("codec_tag_string")).toString();
            p.frameRate = s.value(QStringLiteral("r_frame_rate")).toString();
            p.width = s.value(QStringLiteral("width")).toInt();
            p.height = s.value(QStringLiteral("height")).toInt();
        } else if (type == QStringLiteral("audio")) {
            p.audioCodec = s.value(QStringLiteral("codec_name")).toString();
        }
    }
    return p;
}

class ShippedProfileTest : public ::testing::TestWithParam<Promise>
{
protected:
    static void SetUpTestSuite()
    {
        clipFolder = new QTemporaryDir;
        clip = clipFolder->filePath(QStringLiteral("clip.avi"));
        // Two seconds of test picture (25 frames a second) with a sine tone,
        // in streams that both MP4 and Matroska can hold as they are.
        const ToolRun r = run(QStringLiteral(VANTORIX_FFMPEG),
                          {"-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                           "testsrc=size=320x240:rate=25", "-f", "lavfi", "-i", "sine=frequency=440", "-t", "2",
                           "-c:v", "mpeg4", "-q:v", "3", "-c:a", "libmp3lame", clip});
        ASSERT_EQ(r.exitCode, 0) << r.output.toStdString();
    }
    static void TearDownTestSuite()
    {
        delete clipFolder;
        clipFolder = nullptr;
    }

    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        ASSERT_TRUE(QFileInfo::exists(clip));
        // A working copy of the shipped profiles: building the parameter
        // string rewrites the profile file.
        const QString shipped = ProfilesFolder(QStringLiteral(VANTORIX_PROGRAM_FOLDER));
        QDir().mkpath(ProfilesFolder(folder.path()));
        for (const QString &name : QDir(shipped).entryList({QStringLiteral("*.apf")}, QDir::Files))
            ASSERT_TRUE(QFile::copy(shipped + name, ProfilesFolder(folder.path()) + name));
        path = ProfilePath(folder.path(), QString::fromUtf8(GetParam().name));
        ASSERT_EQ(LoadProfile(path, grids, interactive, &outputExt), ProfileStatus::Loaded)
            << interactive.messages.join(QLatin1Char('\n')).toStdString();
        ASSERT_TRUE(interactive.messages.isEmpty());
    }

    QString parameterString()
    {
        const auto params = BuildParameterString(path, grids, interactive);
        EXPECT_TRUE(params.has_value()) << interactive.messages.join(QLatin1Char('\n')).toStdString();
        return params.value_or(QString());
    }

    // Converts the clip (or its first `seconds`) with the grids' current
    // values; the output's probe.
    Probe convert(const QString &label, const std::optional<QString> &seconds = std::nullopt)
    {
        const QString output = folder.filePath(label + outputExt);
        // "All streams" names the clip's own, and the streams that fit are
        // copied, as a task's command does; a quality asked for is the
        // search's (a test of its own), so the profile's settings convert.
        const std::optional<ProbeReport> clipReport = ProbeInProcess(clip);
        EXPECT_TRUE(clipReport.has_value());
        const auto streams = clipReport ? std::optional(clipReport->streams) : std::nullopt;
        const QString params =
            WithStreams(WithFittingCopies(WithoutTargetSsim(parameterString()), streams).params,
                        SelectStreams(streams, output));
        const EngineCommand command = ConversionCommand(clip, params, std::nullopt, seconds, output);
        const ToolRun r = run(folder.enginePath(), command.arguments);
        EXPECT_EQ(r.exitCode, 0) << GetParam().name << " " << label.toStdString() << ":"
                                 << command.text.toStdString() << "\n"
                                 << r.output.right(1500).toStdString();
        EXPECT_GT(QFileInfo(output).size(), 0) << command.text.toStdString();
        return probe(output);
    }

    void setChoice(const QString &name, const QString &choice)
    {
        for (ParameterGrid *grid : {&grids.video, &grids.audio, &grids.advanced}) {
            const int row = grid->findRow(name);
            if (row >= 0) {
                ASSERT_TRUE(grid->pickList(row).contains(choice)) << name.toStdString() << ": " << choice.toStdString();
                grid->setValueAt(row, choice);
                return;
            }
        }
        FAIL() << "no row " << name.toStdString();
    }

    static inline QTemporaryDir *clipFolder = nullptr;
    static inline QString clip;
    TestProgramFolder folder{TestProgramFolder::Engine::Real};
    QString path;
    QString outputExt;
    ParameterGrids grids;
    RecordingInteractive interactive;
};

std::string promiseName(const ::testing::TestParamInfo<Promise> &info)
{
    std::string name;
    for (const char *c = info.param.name; *c; ++c)
        name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
    return name;
}

TEST(ShippedProfiles, AreTheOnesTheseTestsKnow)
{
    QStringList expected;
    for (const Promise &p : Promises)
        expected << QString::fromUtf8(p.name);
    EXPECT_EQ(ProfileList(QStringLiteral(VANTORIX_PROGRAM_FOLDER)), expected);
    EXPECT_GE(expected.size(), 12);
}

using ShippedProfile = ShippedProfileTest;

TEST_P(ShippedProfile, ConvertsAtItsDefaults)
{
    const Promise &promise = GetParam();
    EXPECT_EQ(outputExt, QString::fromUtf8(promise.extension));
    const Probe p = convert(QStringLiteral("default"));
    EXPECT_EQ(p.videoCodec, QString::fromUtf8(promise.videoCodec));
    EXPECT_EQ(p.audioCodec, QString::fromUtf8(promise.audioCodec));
    EXPECT_EQ(p.width, promise.width);
    EXPECT_EQ(p.height, promise.height);
    EXPECT_NEAR(p.duration, 2.0, 0.3);
    if (*promise.videoTag) {
        EXPECT_EQ(p.videoTag, QString::fromUtf8(promise.videoTag));
    }
}

TEST_P(ShippedProfile, EveryChoiceConvertsAndNoSwitchRepeats)
{
    const Promise &promise = GetParam();
    // Conversion k picks choice k (modulo its count) of every list; the
    // Disable rows stay at "No" so that a stream is left.
    struct ListRow
    {
        ParameterGrid *grid;
        int row;
    };
    std::vector<ListRow> rows;
    int conversions = 1;
    for (ParameterGrid *grid : {&grids.video, &grids.audio, &grids.advanced}) {
        for (int row = 0; row < grid->rowCount(); ++row) {
            if (!grid->isPickList(row) || grid->nameAt(row).startsWith(QStringLiteral("Disable")))
                continue;
            rows.push_back({grid, row});
            conversions = std::max(conversions, static_cast<int>(grid->pickList(row).size()));
        }
    }
    for (int k = 0; k < conversions; ++k) {
        for (const ListRow &r : rows) {
            const QStringList choices = r.grid->pickList(r.row);
            r.grid->setValueAt(r.row, choices[k % choices.size()]);
        }
        const QString params = parameterString();
        QStringList switches;
        for (const QString &argument : SplitCommandLine(params)) {
            if (argument.startsWith(QLatin1Char('-')))
                switches << argument;
        }
        EXPECT_EQ(switches.removeDuplicates(), 0) << params.toStdString();

        const Probe p = convert(QStringLiteral("choice%1").arg(k), QStringLiteral("0.4"));
        EXPECT_EQ(p.videoCodec.isEmpty(), !*promise.videoCodec) << "choice " << k << ": " << params.toStdString();
        EXPECT_EQ(p.audioCodec.isEmpty(), !*promise.audioCodec) << "choice " << k << ": " << params.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(All, ShippedProfile, ::testing::ValuesIn(Promises), promiseName);

using ShippedVideoProfile = ShippedProfileTest;

TEST_P(ShippedVideoProfile, OffersOriginalAndCustomSizeWithoutAnEngineValue)
{
    for (const char *choice : {"Original Size", "Custom Size"}) {
        setChoice(QStringLiteral("Video Size"), QString::fromUtf8(choice));
        EXPECT_FALSE(SplitCommandLine(parameterString()).contains(QStringLiteral("-s"))) << choice;
    }
    // A custom size typed by the user reaches the engine as it stands.
    grids.video.setValue(QStringLiteral("Video Size"), QStringLiteral("208x160"));
    EXPECT_TRUE(parameterString().contains(QStringLiteral(" -s 208x160")));
}

TEST_P(ShippedVideoProfile, ConvertsToAnotherSizeWithoutAudioAndWithoutVideo)
{
    const Promise &promise = GetParam();
    const int row = grids.video.findRow(QStringLiteral("Video Size"));
    ASSERT_GE(row, 0);
    // The first listed size that is neither the default nor the clip's own.
    const QRegularExpression sizePattern(QStringLiteral("^(\\d+)x(\\d+)$"));
    QString size;
    for (const QString &choice : grids.video.pickList(row)) {
        if (sizePattern.match(choice).hasMatch() && choice != grids.video.valueAt(row) &&
            choice != QStringLiteral("320x240")) {
            size = choice;
            break;
        }
    }
    ASSERT_FALSE(size.isEmpty());
    const auto match = sizePattern.match(size);

    setChoice(QStringLiteral("Video Size"), size);
    setChoice(QStringLiteral("Disable Audio"), QStringLiteral("Yes"));
    Probe p = convert(QStringLiteral("sized"));
    EXPECT_EQ(p.videoCodec, QString::fromUtf8(promise.videoCodec));
    EXPECT_EQ(p.width, match.captured(1).toInt());
    EXPECT_EQ(p.height, match.captured(2).toInt());
    EXPECT_EQ(p.audioCodec, QString());
    EXPECT_NEAR(p.duration, 2.0, 0.3);

    setChoice(QStringLiteral("Disable Audio"), QStringLiteral("No"));
    setChoice(QStringLiteral("Disable Video"), QStringLiteral("Yes"));
    p = convert(QStringLiteral("soundonly"));
    EXPECT_EQ(p.videoCodec, QString());
    EXPECT_EQ(p.audioCodec, QString::fromUtf8(promise.audioCodec));
    EXPECT_NEAR(p.duration, 2.0, 0.3);
}

INSTANTIATE_TEST_SUITE_P(All, ShippedVideoProfile, ::testing::ValuesIn(videoPromises()), promiseName);

using ShippedGifProfile = ShippedProfileTest;

TEST_P(ShippedGifProfile, TakesItsWidthAndFrameRateFromTheLists)
{
    setChoice(QStringLiteral("Width"), QStringLiteral("240 pixels"));
    setChoice(QStringLiteral("Frame Rate"), QStringLiteral("5 fps"));
    Probe p = convert(QStringLiteral("small"));
    EXPECT_EQ(p.videoCodec, QStringLiteral("gif"));
    EXPECT_EQ(p.width, 240);
    EXPECT_EQ(p.height, 180);
    EXPECT_EQ(p.frameRate, QStringLiteral("5/1"));
    EXPECT_EQ(p.streams, 1);

    setChoice(QStringLiteral("Width"), QStringLiteral("Original"));
    p = convert(QStringLiteral("original"));
    EXPECT_EQ(p.width, 320);
    EXPECT_EQ(p.height, 240);
    EXPECT_NEAR(p.duration, 2.0, 0.3);
}

INSTANTIATE_TEST_SUITE_P(Gif, ShippedGifProfile, ::testing::Values(promiseNamed("GIF Animation")), promiseName);

} // namespace
