#include "conversion/enginecommand.h"
#include "conversion/qualitysearch.h"

#include <cmath>
#include <functional>

#include <gtest/gtest.h>

namespace {

TEST(SplitCommandLine, SplitsLikeAWindowsCommandLine)
{
    const struct
    {
        QString text;
        QStringList arguments;
    } cases[] = {
        {QString(), {}},
        {QStringLiteral("   "), {}},
        {QStringLiteral(" -vcodec libx264 -b:v 800k"), {"-vcodec", "libx264", "-b:v", "800k"}},
        {QStringLiteral("\t-an  -y "), {"-an", "-y"}},
        {QStringLiteral(" -vf \"scale=640:480, yadif\""), {"-vf", "scale=640:480, yadif"}},
        {QStringLiteral("a\"b c\"d"), {"ab cd"}},
        {QStringLiteral("\"\""), {""}},
        {QStringLiteral("a\\\\b"), {"a\\\\b"}},          // backslashes alone are literal
        {QStringLiteral("a\\\"b"), {"a\"b"}},            // \" is a quote
        {QStringLiteral("\"a\\\\\" b"), {"a\\", "b"}},   // \\" is a backslash and a grouping quote
        {QStringLiteral("\"a\"\"b\" c"), {"a\"b", "c"}}, // "" inside quotes is a quote
        {QStringLiteral("\"open ended"), {"open ended"}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(SplitCommandLine(c.text), c.arguments) << c.text.toStdString();
}

TEST(EngineCommand, ProbeNamesOnlyTheInput)
{
    const EngineCommand probe = ProbeCommand(QStringLiteral("/v/my clip.avi"));
    EXPECT_EQ(probe.text, QStringLiteral(" -i \"/v/my clip.avi\""));
    EXPECT_EQ(probe.arguments, QStringList({"-i", "/v/my clip.avi"}));
}

TEST(EngineCommand, ConversionTextAndArguments)
{
    const QString input = QStringLiteral("/v/a \"quoted\" clip ü.avi");
    const QString output = QStringLiteral("/out/b c.mp4");
    const EngineCommand whole =
        ConversionCommand(input, QStringLiteral(" -vcodec mpeg4 -an "), std::nullopt, std::nullopt, output);
    EXPECT_EQ(whole.text, QStringLiteral(" -y -i \"") + input + QStringLiteral("\" -vcodec mpeg4 -an  \"") +
                              output + QStringLiteral("\""));
    EXPECT_EQ(whole.arguments, QStringList({"-y", "-i", input, "-vcodec", "mpeg4", "-an", output}));

    const EngineCommand part = ConversionCommand(input, QString(), QStringLiteral("00:00:05"),
                                                 QStringLiteral("10"), output);
    EXPECT_EQ(part.text, QStringLiteral(" -y -i \"") + input + QStringLiteral("\" -ss 00:00:05 -t 10 \"") +
                             output + QStringLiteral("\""));
    EXPECT_EQ(part.arguments, QStringList({"-y", "-i", input, "-ss", "00:00:05", "-t", "10", output}));
}

TEST(EngineCommand, TaskCommandCutsWhatTheTaskAsksFor)
{
    const QString input = QStringLiteral("/v/in.mkv");
    const QString encode = QStringLiteral(" -vcodec libx264");
    const QString copy = QStringLiteral(" -vcodec copy -acodec copy");
    const struct
    {
        QString params;
        double length, start, end; // the input's length and the task's range
        QString arguments;         // between "-y" and the output
        QString output = QStringLiteral("/out/o.mp4");
    } cases[] = {
        {encode, 20, 0, 20, "-i /v/in.mkv -vcodec libx264"},
        {encode, 20, 5, 15, "-i /v/in.mkv -vcodec libx264 -ss 00:00:05 -t 10"},
        {encode, 20, 0, 10, "-i /v/in.mkv -vcodec libx264 -t 10"},
        {encode, 20, 5.4, 5.8, "-i /v/in.mkv -vcodec libx264 -ss 00:00:05.4 -t 0.4"},
        {encode, 20, 19, 20, "-i /v/in.mkv -vcodec libx264 -ss 00:00:19 -t 1"},
        {encode, 3, 0, 10, "-i /v/in.mkv -vcodec libx264"},
        {encode, 3.5, 2, 10, "-i /v/in.mkv -vcodec libx264 -ss 00:00:02"},
        {encode, 3.5, 2, 3.5, "-i /v/in.mkv -vcodec libx264 -ss 00:00:02 -t 1.5"},
        {copy, 20, 0, 20, "-i /v/in.mkv -vcodec copy -acodec copy"},
        {copy, 20, 0, 12, "-i /v/in.mkv -vcodec copy -acodec copy -t 12"},
        {copy, 20, 5, 12, "-ss 00:00:05 -i /v/in.mkv -vcodec copy -acodec copy -t 7"},
        {" -c copy", 20, 5, 20, "-ss 00:00:05 -i /v/in.mkv -c copy -t 15"},
        {" -c:v:0 copy -an", 20, 5, 20, "-ss 00:00:05 -i /v/in.mkv -c:v:0 copy -an -t 15"},
        {" -vcodec libx264 -acodec copy", 20, 5, 20, "-i /v/in.mkv -vcodec libx264 -acodec copy -ss 00:00:05 -t 15"},
        // A copy into Matroska has times made for packets without one.
        {copy, 20, 0, 20, "-fflags +genpts -i /v/in.mkv -vcodec copy -acodec copy", "/out/o.mkv"},
        {copy, 20, 5, 12, "-fflags +genpts -ss 00:00:05 -i /v/in.mkv -vcodec copy -acodec copy -t 7", "/out/o.webm"},
        {encode, 20, 5, 12, "-i /v/in.mkv -vcodec libx264 -ss 00:00:05 -t 7", "/out/o.mkv"},
    };
    for (const auto &c : cases) {
        ltvItemData task;
        task.InputFile = input;
        task.LengthSecs = c.length;
        task.OrigStartSecs = 0;
        task.StartSecs = c.start;
        task.StartText = SecondsToTimeText(c.start);
        task.EndSecs = c.end;
        task.ClipLengthSecs = c.end - c.start;
        const EngineCommand command = TaskCommand(task, c.params, c.output);
        const QStringList expected = QStringList{"-y"} + c.arguments.split(' ') + QStringList{c.output};
        EXPECT_EQ(command.arguments, expected) << c.arguments.toStdString();
        EXPECT_EQ(SplitCommandLine(command.text), expected) << c.arguments.toStdString();
    }
}

} // namespace

namespace {

MediaStream stream(int index, MediaStream::Kind kind, const char *codec, bool picture = false, const char *title = "")
{
    MediaStream s;
    s.index = index;
    s.kind = kind;
    s.codec = QString::fromLatin1(codec);
    s.picture = picture;
    s.title = QString::fromUtf8(title);
    return s;
}

} // namespace

// What "-map all" becomes for an input: the engine's arguments, the streams
// the check then expects, and the subtitles the row's tip names.
TEST(EngineCommand, AllStreamsTakeWhatTheOutputCanHold)
{
    using K = MediaStream::Kind;
    const QList<MediaStream> input = {
        stream(0, K::Video, "mjpeg", true), stream(1, K::Video, "h264"), stream(2, K::Video, "h264"),
        stream(3, K::Audio, "ac3", false, "Director's \"cut\" \\"), stream(4, K::Audio, "aac"),
        stream(5, K::Subtitle, "mov_text"), stream(6, K::Subtitle, "hdmv_pgs_subtitle", true),
        stream(7, K::Subtitle, "xsub", true), stream(8, K::Other, "bin_data"),
    };
    const QStringList maps = {"-map", "0:1", "-map", "0:3", "-map", "0:4"};
    const QStringList title = {"-metadata:s:a:0", "title=Director's \"cut\" \\"};
    const struct
    {
        QString output;
        std::optional<QList<MediaStream>> streams;
        QStringList arguments; // after "-y -i IN -vcodec libx264", before the output
        int subtitles;
        QStringList leftOut;
    } cases[] = {
        {"/o/a.mp4", input,
         maps
             + QStringList{"-map", "0:5", "-metadata:s:a:0", "handler_name=Director's \"cut\" \\", "-c:s:0", "mov_text"},
         1,
         {"Subtitle stream 0:6 (hdmv_pgs_subtitle) was left out: MP4 files hold no subtitles drawn as pictures.",
          "Subtitle stream 0:7 (xsub) was left out: MP4 files hold no subtitles drawn as pictures."}},
        {"/o/a.MKV", input,
         maps + QStringList{"-map", "0:5", "-map", "0:6"} + title + QStringList{"-c:s:0", "srt", "-c:s:1", "copy"}, 2,
         {"Subtitle stream 0:7 (xsub) was left out: MKV files hold no subtitles of this kind."}},
        {"/o/a.wmv", input, maps + title, 0,
         {"Subtitle stream 0:5 (mov_text) was left out: WMV files hold no subtitles.",
          "Subtitle stream 0:6 (hdmv_pgs_subtitle) was left out: WMV files hold no subtitles.",
          "Subtitle stream 0:7 (xsub) was left out: WMV files hold no subtitles."}},
        // An input the media library cannot read.
        {"/o/a.mp4", std::nullopt, {"-map", "0:v:0?", "-map", "0:a?"}, 0, {}},
    };
    for (const auto &c : cases) {
        const StreamSelection selection = SelectStreams(c.streams, c.output);
        const QString params = WithStreams(QStringLiteral(" -vcodec libx264 -map all"), selection);
        const EngineCommand command = ConversionCommand(QStringLiteral("in.mkv"), params, {}, {}, c.output);
        EXPECT_EQ(command.arguments,
                  QStringList({"-y", "-i", "in.mkv", "-vcodec", "libx264"}) + c.arguments + QStringList{c.output})
            << command.text.toStdString();
        EXPECT_EQ(selection.audio, c.streams ? 2 : 0);
        EXPECT_EQ(selection.subtitles, c.subtitles);
        EXPECT_EQ(selection.leftOut, c.leftOut);
    }
    // A copy into Matroska turns the mov_text subtitles it takes into SubRip:
    // every one with "-map 0", else the first text one.
    const QList<MediaStream> texts = {stream(0, K::Video, "h264"), stream(1, K::Subtitle, "dvd_subtitle", true),
                                      stream(2, K::Subtitle, "mov_text"), stream(3, K::Subtitle, "mov_text")};
    const struct
    {
        const char *params;
        const char *output;
        const char *added;
    } copies[] = {
        {" -vcodec copy -scodec copy", "/o/a.mkv", " -c:s:0 srt"},
        {" -vcodec copy -scodec copy -map 0", "/o/a.mkv", " -c:s:1 srt -c:s:2 srt"},
        {" -c copy", "/o/a.webm", " -c:s:0 webvtt"},
        {" -vcodec copy -scodec copy", "/o/a.mp4", ""},
        {" -vcodec copy -scodec srt", "/o/a.mkv", ""},
    };
    for (const auto &c : copies) {
        const QString params = QString::fromLatin1(c.params);
        EXPECT_EQ(WithMatroskaSubtitles(params, texts, QString::fromLatin1(c.output)), params + c.added) << c.params;
    }

    // Only the choice's own value is replaced; other maps are the profile's.
    EXPECT_TRUE(KeepsAllStreams(QStringLiteral("-map all -an")));
    for (const char *params : {" -map 0", " -map allx", " -metadata title=-map all", ""})
        EXPECT_FALSE(KeepsAllStreams(QString::fromLatin1(params))) << params;
}

namespace {

// The quality search against measurements of known curves: the CRF it
// picks, the SSIM it predicts there, how many probes it took.
TEST(EngineCommand, TheQualitySearchPicksTheCrfOfTheTargetInAFewProbes)
{
    const CrfScale x264 = *CrfScaleFor(QStringLiteral("libx264"));
    const CrfScale av1 = *CrfScaleFor(QStringLiteral("libsvtav1"));
    // SSIM falling with the CRF as encoders' do: log(1 - SSIM) about linear.
    const auto curve = [](double at, double slope) {
        return [=](double crf) { return 1 - 0.004 * std::exp(slope * (crf - at)); };
    };
    const struct Case
    {
        const char *what;
        CrfScale scale;
        double start;
        std::function<double(double)> ssim;
        double target;
        double expected; // the highest CRF that reaches the target; -1: not known
        int mostProbes;
    } cases[] = {
        {"x264, far from the start", x264, 23, curve(23, 0.11), 0.985, 23 + std::log(0.015 / 0.004) / 0.11, 4},
        {"x264, near the start", x264, 23, curve(23, 0.11), 0.995, 23 + std::log(0.005 / 0.004) / 0.11, 3},
        {"x264, a steep curve", x264, 23, curve(30, 0.3), 0.99, 30 + std::log(0.01 / 0.004) / 0.3, 5},
        // Not exactly the model: a wobble on the curve still ends in time.
        {"x264, a wobbly curve", x264, 23,
         [](double c) { return 1 - 0.003 * std::exp(0.12 * (c - 23)) + 0.0004 * std::sin(3 * c); }, 0.98, -1, 6},
        {"AV1 from the profile's value, whole steps", av1, 30, curve(35, 0.08), 0.98,
         std::floor(35 + std::log(0.02 / 0.004) / 0.08), 5},
        // Out of reach: the best probed, or the lowest quality that still reaches it.
        {"better than the encoder can", x264, 23, curve(23, 0.11), 0.99995, 0, 6},
        {"worse than the encoder's worst", x264, 23, curve(23, 0.11), 0.5, 51, 6},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        CrfSearch search(c.target, c.scale, c.start);
        EXPECT_EQ(search.next(), c.start);
        while (const std::optional<double> crf = search.next()) {
            EXPECT_GE(*crf, c.scale.low);
            EXPECT_LE(*crf, c.scale.high);
            search.measured(*crf, c.ssim(*crf));
        }
        EXPECT_LE(search.probes(), c.mostProbes);
        EXPECT_LE(search.probes(), CrfSearch::MaxProbes);
        const double chosen = search.chosen();
        EXPECT_NEAR(std::round(chosen / c.scale.step) * c.scale.step, chosen, 1e-9) << chosen;
        if (c.expected >= 0) {
            EXPECT_NEAR(chosen, c.expected, c.scale.step * 2.5) << chosen;
        }
        if (c.target < c.ssim(c.scale.low) && c.target > c.ssim(c.scale.high)) {
            // Reachable: the SSIM at the pick is the target's or a little better, as predicted.
            EXPECT_GE(c.ssim(chosen), c.target - 0.001) << chosen;
            EXPECT_LE(c.ssim(chosen), c.target + 0.002) << chosen;
            EXPECT_GE(search.predicted(), c.target);
            EXPECT_NEAR(search.predicted(), c.ssim(chosen), 0.001);
        }
    }

    // The row's option, and the CRF in its place in the command.
    const QString params = QStringLiteral(" -vcodec libx264 -b:v 800k -crf 30 -target_ssim 0.985 -acodec aac");
    EXPECT_EQ(TargetSsim(params), 0.985);
    EXPECT_EQ(TargetSsim(QStringLiteral(" -target_ssim 1.5")), std::nullopt);
    EXPECT_EQ(TargetSsim(QStringLiteral(" -vcodec libx264")), std::nullopt);
    EXPECT_EQ(WithCrf(WithoutTargetSsim(params), 27.3), QStringLiteral(" -vcodec libx264 -acodec aac -crf 27.3"));
    EXPECT_EQ(CrfScaleFor(QStringLiteral("libvpx-vp9")), std::nullopt);
    // Samples spread over the range, a short range whole.
    using Spans = QList<std::pair<double, double>>;
    EXPECT_EQ(SampleSpans(10, 100), Spans({{21.9, 1.2}, {46.9, 1.2}, {71.9, 1.2}, {96.9, 1.2}}));
    EXPECT_EQ(SampleSpans(0, 3), Spans({{0, 3}}));
    EXPECT_EQ(SsimFromReport(QStringLiteral("[Parsed_ssim_1 @ 0x1] SSIM Y:0.982 (17.5) U:0.990 (20.0) "
                                            "V:0.994 (22.2) All:0.985531 (18.39)\n")),
              0.985531);
}

} // namespace
