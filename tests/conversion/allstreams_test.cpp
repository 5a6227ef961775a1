// An input with two audio languages and two subtitle streams (one text, one
// drawn as pictures) converted through the shipped profiles with "Streams: All
// streams" and the real engine, as a batch runs it: what the output keeps, read
// back with the media library, and what the row's tip says it left out.
#include "conversion/conversionrun.h"
#include "conversion/inprocessprobe.h"
#include "conversion/outputcheck.h"
#include "conversion/qualitysearch.h"
#include "profiles/parametergrid.h"
#include "profiles/profiles.h"

#include "fakes/clips.h"
#include "fakes/programfolder.h"
#include "fakes/recorders.h"
#include "fakeview.h"
#include "probetask.h"

#include <QDir>
#include <QFile>
#include <QDateTime>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>
#include <QtEndian>
#include <gtest/gtest.h>

namespace {

// An MPEG program stream with one DVD subtitle stream of two captions, each a
// 4x2 patch of one colour. The engine copies picture subtitles but cannot draw
// them from text, so the test writes the packets itself.
QByteArray dvdSubtitleStream()
{
    const auto be16 = [](int value) {
        QByteArray bytes(2, '\0');
        qToBigEndian(quint16(value), bytes.data());
        return bytes;
    };
    // A caption: both fields one line of colour 1 to the line's end, then the
    // control sequences that show it (palette, alpha, area 0..3 x 0..1, field
    // offsets) and hide it 100 ticks later.
    const QByteArray lines("\x00\x01\x00\x01", 4);
    const int shows = 4 + lines.size();
    QByteArray show = QByteArray("\x01\x03\x32\x10\x04\xff\xf0\x05\x00\x00\x03\x00\x00\x01\x06", 15) + be16(4)
                      + be16(6) + QByteArray("\xff", 1);
    const int hides = shows + 4 + show.size();
    QByteArray caption = lines + be16(0) + be16(hides) + show + be16(100) + be16(hides) + QByteArray("\x02\xff", 2);
    caption = be16(4 + caption.size()) + be16(shows) + caption;

    QByteArray stream;
    for (const qint64 pts : {qint64(45000), qint64(180000)}) {
        // A pack header with a zero clock, then a private stream 1 packet of
        // sub-stream 0x20 stamped at pts (90 kHz).
        stream += QByteArray("\x00\x00\x01\xba\x44\x00\x04\x00\x04\x01\x01\x89\xc3\xf8", 14);
        const char stamp[] = {char(0x21 | ((pts >> 29) & 0x0e)), char((pts >> 22) & 0xff),
                              char(0x01 | ((pts >> 14) & 0xfe)), char((pts >> 7) & 0xff),
                              char(0x01 | ((pts << 1) & 0xfe))};
        const QByteArray header = QByteArray("\x81\x80\x05", 3) + QByteArray(stamp, sizeof stamp);
        const QByteArray payload = QByteArray("\x20", 1) + caption;
        stream += QByteArray("\x00\x00\x01\xbd", 4) + be16(header.size() + payload.size()) + header + payload;
    }
    return stream + QByteArray("\x00\x00\x01\xb9", 4);
}

// What the test says of a stream: its kind, codec, language and title.
QString described(const MediaStream &stream)
{
    static const char *const kinds[] = {"video", "audio", "subtitle", "other"};
    QStringList parts{QLatin1String(kinds[int(stream.kind)]), stream.codec};
    if (stream.kind != MediaStream::Kind::Video)
        parts << stream.language << stream.title;
    parts.removeAll(QString());
    return parts.join(QLatin1Char(' '));
}

QStringList described(const QList<MediaStream> &streams)
{
    QStringList result;
    for (const MediaStream &stream : streams)
        result << described(stream);
    return result;
}

class AllStreamsTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        folder = new TestProgramFolder(TestProgramFolder::Engine::Real);
        const QString scratch = folder->filePath(QStringLiteral("scratch"));
        QDir().mkpath(scratch);
        QFile srt(scratch + QStringLiteral("/text.srt"));
        srt.open(QIODevice::WriteOnly);
        srt.write("1\n00:00:00,500 --> 00:00:01,500\nHello\n\n2\n00:00:02,000 --> 00:00:02,800\nWorld\n");
        srt.close();
        QFile pictures(scratch + QStringLiteral("/pictures.vob"));
        pictures.open(QIODevice::WriteOnly);
        pictures.write(dvdSubtitleStream());
        pictures.close();
        input = folder->filePath(QStringLiteral("two languages.mkv"));
        runEngine({"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=3", "-f", "lavfi", "-i",
                   "sine=frequency=440:duration=3", "-f", "lavfi", "-i", "sine=frequency=660:duration=3", "-i",
                   srt.fileName(), "-f", "mpeg", "-i", pictures.fileName(), "-map", "0", "-map", "1", "-map", "2",
                   "-map", "3", "-map", "4", "-c:v", "mpeg4", "-c:a", "mp2", "-c:s", "copy",
                   "-metadata:s:a:0", "language=eng", "-metadata:s:a:0", "title=English",
                   "-metadata:s:a:1", "language=deu", "-metadata:s:a:1", "title=Deutsch",
                   "-metadata:s:s:0", "language=eng", "-metadata:s:s:0", "title=Full",
                   "-metadata:s:s:1", "language=fra", "-metadata:s:s:1", "title=Bilder"},
                  input);
        QDir().mkpath(ProfilesFolder(folder->path()));
    }

    static void TearDownTestSuite()
    {
        delete folder;
        folder = nullptr;
    }

    // The parameter string of a shipped profile with its "Streams" row at
    // `streams`, as the program builds it (from a working copy).
    static QString parameters(const QString &profile, const QString &streams, QString *ext)
    {
        return parameters(profile, {{QStringLiteral("Streams"), streams}}, ext);
    }

    // The same with each row named in `choices` at its choice, whichever grid has it.
    static QString parameters(const QString &profile, const QList<QPair<QString, QString>> &choices, QString *ext)
    {
        const QString path = ProfilesFolder(folder->path()) + profile + QStringLiteral(".apf");
        QFile::remove(path);
        QFile::copy(ProfilesFolder(QStringLiteral(VANTORIX_PROGRAM_FOLDER)) + profile + QStringLiteral(".apf"), path);
        ParameterGrids grids;
        RecordingInteractive interactive;
        EXPECT_EQ(LoadProfile(path, grids, interactive, ext), ProfileStatus::Loaded);
        for (const auto &[name, choice] : choices) {
            ParameterGrid *grid = nullptr;
            for (ParameterGrid *g : {&grids.video, &grids.audio, &grids.advanced})
                grid = grid ? grid : (g->findRow(name) >= 0 ? g : nullptr);
            EXPECT_TRUE(grid && grid->pickList(grid->findRow(name)).contains(choice))
                << profile.toStdString() << ": " << name.toStdString();
            if (grid)
                grid->setValue(name, choice);
        }
        return BuildParameterString(path, grids, interactive).value_or(QString());
    }

    // Converts `file` with `params` as a batch does; the row's status and tip
    // and the engine's argument text.
    struct Converted
    {
        QString status;
        QString tip;
        QString command;
        QString output;
    };
    static Converted convert(const QString &file, const QString &params, const QString &ext, const QString &outName,
                             const BatchOptions &options = {}, bool stop = false)
    {
        TaskListModel tasks;
        tasks.appendTask(TaskFromProbe(file, probeAndWait(folder->enginePath(), file), ext));
        FakeView view;
        view.folder = folder->filePath(QStringLiteral("out/") + outName);
        view.ext = ext;
        view.options = options;
        QDir().mkpath(view.folder);
        RecordingInteractive interactive;
        RecordingShell shell;
        RecordingPowerControl power;
        ConversionRun run(tasks, view, interactive, shell, power);
        run.setEnginePath(folder->enginePath());
        Converted result;
        QObject::connect(&run, &ConversionRun::engineStarted, [&](const QString &text) {
            result.command = text;
            if (stop)
                run.requestStop();
        });
        QSignalSpy finished(&run, &ConversionRun::finished);
        run.RunConversion(params);
        EXPECT_TRUE(finished.wait(120000));
        result.status = tasks.index(0, 3).data().toString();
        result.tip = tasks.statusTip(0);
        result.output = view.folder + QLatin1Char('/') + QFileInfo(file).completeBaseName() + ext;
        return result;
    }

    static TestProgramFolder *folder;
    static QString input;
};

TestProgramFolder *AllStreamsTest::folder = nullptr;
QString AllStreamsTest::input;

TEST_F(AllStreamsTest, KeepsEveryAudioAndEverySubtitleTheContainerHolds)
{
    const std::optional<MediaFacts> in = ReadMediaFacts(input, 0);
    ASSERT_TRUE(in.has_value());
    ASSERT_EQ(described(in->streams),
              QStringList({"video mpeg4", "audio mp2 eng English", "audio mp2 deu Deutsch", "subtitle subrip eng Full",
                           "subtitle dvd_subtitle fra Bilder"}));

    const QString noPictures = QStringLiteral("Subtitle stream 0:4 (dvd_subtitle, fra) was left out: %1 files hold "
                                              "no subtitles drawn as pictures.");
    struct Case
    {
        const char *profile;
        const char *streams;
        QStringList kept;
        QString tip;
    } cases[] = {
        {"MP4 H.264 AAC", "All streams",
         {"video h264", "audio aac eng English", "audio aac deu Deutsch", "subtitle mov_text eng Full"},
         noPictures.arg("MP4")},
        // QuickTime tags languages its own way: German is "ger" there.
        {"MOV H.264 AAC", "All streams",
         {"video h264", "audio aac eng English", "audio aac ger Deutsch", "subtitle mov_text eng Full"},
         noPictures.arg("MOV")},
        {"MKV H.264", "All streams",
         {"video h264", "audio aac eng English", "audio aac deu Deutsch", "subtitle subrip eng Full",
          "subtitle dvd_subtitle fra Bilder"},
         {}},
        {"WebM VP8 Vorbis", "All streams",
         {"video vp8", "audio vorbis eng English", "audio vorbis deu Deutsch", "subtitle webvtt eng Full"},
         noPictures.arg("WEBM")},
        {"MPEG-2 DVD", "All streams",
         {"other dvd_nav_packet", "video mpeg2video", "audio ac3", "audio ac3", "subtitle dvd_subtitle"},
         QStringLiteral("Subtitle stream 0:3 (subrip, eng) was left out: MPG files hold only DVD picture subtitles.")},
        {"AVI MPEG-4 MP3", "All streams",
         {"video mpeg4", "audio mp3 English", "audio mp3 Deutsch"},
         QStringLiteral("Subtitle stream 0:3 (subrip, eng) was left out: AVI files hold no subtitles.\n"
                        "Subtitle stream 0:4 (dvd_subtitle, fra) was left out: AVI files hold no subtitles.")},
        // The choice a profile has by default, and a stored profile without
        // the row: one video and one audio stream, as always.
        {"MP4 H.264 AAC", "Main video and audio", {"video h264", "audio aac eng"}, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.profile) + " / " + c.streams);
        QString ext;
        const QString params = parameters(QString::fromUtf8(c.profile), QString::fromUtf8(c.streams), &ext);

        TaskListModel tasks;
        tasks.appendTask(TaskFromProbe(input, probeAndWait(folder->enginePath(), input), ext));
        FakeView view;
        view.folder = folder->filePath(QStringLiteral("out/%1").arg(QString::fromUtf8(c.profile)));
        view.ext = ext;
        QDir().mkpath(view.folder);
        RecordingInteractive interactive;
        RecordingShell shell;
        RecordingPowerControl power;
        ConversionRun run(tasks, view, interactive, shell, power);
        run.setEnginePath(folder->enginePath());
        QSignalSpy finished(&run, &ConversionRun::finished);
        run.RunConversion(params);
        ASSERT_TRUE(finished.wait(120000));

        EXPECT_EQ(tasks.index(0, 3).data().toString(), RowStatus::Complete) << tasks.statusTip(0).toStdString();
        EXPECT_EQ(tasks.statusTip(0), c.tip);
        const QString output = view.folder + QStringLiteral("/two languages") + ext;
        const std::optional<MediaFacts> out = ReadMediaFacts(output, 0);
        ASSERT_TRUE(out.has_value());
        EXPECT_EQ(described(out->streams), c.kept);

        // The check holds the output to the streams the profile asked for:
        // one audio stream is too few for "All streams".
        if (!KeepsAllStreams(params)) {
            ltvItemData task;
            ReadItemData(tasks, 0, WholeRowField, task);
            EXPECT_EQ(JudgeOutput(task, params + QStringLiteral(" -map all"), output, in, *out),
                      QStringLiteral("The output has 1 audio streams instead of 2."));
        }
    }
}

// "Streams already in the target format: Copy": each stream that already has
// the profile's codec and fits its settings is copied, the rest converted,
// and the row's tip says what was copied.
TEST_F(AllStreamsTest, CopiesTheStreamsThatAlreadyFit)
{
    const QString h264 = folder->filePath(QStringLiteral("h264 aac.mp4"));
    ASSERT_TRUE(runEngine({"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=2", "-f", "lavfi", "-i",
                           "sine=frequency=440:duration=2", "-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac",
                           "-b:a", "96k", "-ar", "44100"},
                          h264));
    const QString copy = QStringLiteral("Streams already in the target format");
    const QString video = QStringLiteral("video (h264, 160x120)");
    const QString audio = QStringLiteral("audio (aac)");
    struct Case
    {
        QString input;
        const char *profile;
        QList<QPair<QString, QString>> choices;
        QStringList copied;   // the copy options the engine gets
        QString tip;
        QStringList kept;
    } cases[] = {
        // A remux: both streams fit.
        {h264, "MP4 H.264 AAC", {{copy, "Copy"}}, {"-c:v copy", "-c:a copy"},
         QStringLiteral("Copied as it was: %1, %2.").arg(video, audio), {"video h264", "audio aac und"}},
        // The default converts what fits too.
        {h264, "MP4 H.264 AAC", {}, {}, QString(), {"video h264", "audio aac und"}},
        // Limits the stream does not meet: its frame size, a lower bit rate.
        {h264, "MP4 H.264 AAC", {{copy, "Copy"}, {"Video Size", "320x240"}, {"Audio Bitrate", "64 kbps"}}, {},
         QString(), {"video h264", "audio aac und"}},
        {h264, "MP4 H.264 AAC", {{copy, "Copy"}, {"Frame Rate", "30"}}, {"-c:a copy"},
         QStringLiteral("Copied as it was: %1.").arg(audio), {"video h264", "audio aac und"}},
        // Another video codec: only the audio is copied.
        {h264, "MKV H.265 AAC", {{copy, "Copy"}}, {"-c:a copy"}, QStringLiteral("Copied as it was: %1.").arg(audio),
         {"video hevc", "audio aac"}},
        // The same codec at a bit rate the input's container does not tell:
        // it might be above the profile's, so it is converted.
        {input, "AVI MPEG-4 MP3", {{copy, "Copy"}, {"Streams", "All streams"}}, {},
         QStringLiteral("Subtitle stream 0:3 (subrip, eng) was left out: AVI files hold no subtitles.\n"
                        "Subtitle stream 0:4 (dvd_subtitle, fra) was left out: AVI files hold no subtitles."),
         {"video mpeg4", "audio mp3 English", "audio mp3 Deutsch"}},
        // "All streams" with the video copied, the rest as the container takes it.
        {input, "MKV H.264", {{copy, "Copy"}, {"Streams", "All streams"}, {"Video Codec", "MPEG-4"}}, {"-c:v copy"},
         QStringLiteral("Copied as it was: video (mpeg4, 160x120)."),
         {"video mpeg4", "audio aac eng English", "audio aac deu Deutsch", "subtitle subrip eng Full",
          "subtitle dvd_subtitle fra Bilder"}},
    };
    int n = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.profile) + " / case " + std::to_string(n));
        QString ext;
        const QString params = parameters(QString::fromUtf8(c.profile), c.choices, &ext);
        const Converted out = convert(c.input, params, ext, QStringLiteral("fit%1").arg(n++));
        EXPECT_EQ(out.status, RowStatus::Complete) << out.tip.toStdString();
        EXPECT_EQ(out.tip, c.tip);
        EXPECT_FALSE(out.command.contains(QLatin1String(FittingOption))) << out.command.toStdString();
        QStringList copies;
        for (const QString &option : {QStringLiteral("-c:v copy"), QStringLiteral("-c:a copy")})
            if (out.command.contains(option))
                copies << option;
        EXPECT_EQ(copies, c.copied) << out.command.toStdString();
        const std::optional<MediaFacts> facts = ReadMediaFacts(out.output, 0);
        ASSERT_TRUE(facts.has_value());
        EXPECT_EQ(described(facts->streams), c.kept);
    }
}

// What follows a conversion: an output not smaller than its input discarded,
// the original kept, trashed or deleted after a committed output only, the
// done-command told the paths and the status, the input's date and tags kept.
TEST_F(AllStreamsTest, WhatFollowsAConversion)
{
    QString mp3;
    const QString mp3Params = parameters(QStringLiteral("MP3 Audio"), QList<QPair<QString, QString>>{}, &mp3);
    QString wav;
    const QString wavParams = parameters(QStringLiteral("WAV Audio"), QList<QPair<QString, QString>>{}, &wav);
    const QString home = folder->filePath(QStringLiteral("data/Trash"));
    const QString envFile = folder->filePath(QStringLiteral("done.env"));
    // The names reach the command in its environment only: a shell that read
    // them would run what this name holds.
    const QString awkward = QStringLiteral("it's \"odd\" $(touch pwned) ; ü.wav");
    const QString doneCommand =
        QStringLiteral("/bin/sh -c \"env > \\\"$0.part\\\" && mv \\\"$0.part\\\" \\\"$0\\\"\" \"%1\"").arg(envFile);
    struct Case
    {
        const char *what;
        QString name;
        bool toWav;                 // else to MP3, which is smaller
        BatchOptions options;
        bool stop;
        QString status;
        bool outputKept;
        QString original;           // "kept", "trashed", "deleted"
        QString tip;
    } cases[] = {
        {"smaller, kept", "a.wav", false, {}, false, RowStatus::Complete, true, "kept", {}},
        {"not smaller", "b.mp3", true, {.notBigger = true, .original = OriginalAction::Delete}, false,
         RowStatus::NotSmaller, false, "kept", "The output ("},
        {"trashed", awkward, false, {.original = OriginalAction::Trash, .doneCommand = doneCommand, .homeTrash = home},
         false, RowStatus::Complete, true, "trashed", "The original was moved to the trash."},
        {"deleted", "c.wav", false, {.original = OriginalAction::Delete}, false, RowStatus::Complete, true, "deleted",
         "The original was deleted."},
        {"failed", "d.wav", false, {.original = OriginalAction::Delete}, false, RowStatus::Failed, false, "kept", {}},
        {"stopped", "e.wav", false, {.original = OriginalAction::Trash, .homeTrash = home}, true, RowStatus::Stop,
         false, "kept", {}},
    };
    const QDateTime past = QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6), Qt::UTC);
    for (Case &c : cases) {
        SCOPED_TRACE(c.what);
        const QString input = folder->filePath(QStringLiteral("after/") + c.name);
        QDir().mkpath(QFileInfo(input).absolutePath());
        ASSERT_TRUE(runEngine({"-f", "lavfi", "-i", "sine=frequency=440:duration=2", "-ac", "1", "-metadata",
                               "title=A title", "-metadata", "artist=Someone"},
                              input));
        {
            QFile file(input);
            ASSERT_TRUE(file.open(QIODevice::ReadWrite));
            ASSERT_TRUE(file.setFileTime(past, QFileDevice::FileModificationTime));
        }
        // A failure: an encoder the engine lacks.
        const QString params = (c.toWav ? wavParams : mp3Params)
                               + (c.status == RowStatus::Failed ? QStringLiteral(" -acodec none_such") : QString());
        const QString ext = c.toWav ? wav : mp3;
        QFile::remove(envFile);
        const Converted out = convert(input, params, ext, QStringLiteral("after"), c.options, c.stop);
        EXPECT_EQ(out.status, c.status) << out.tip.toStdString();
        EXPECT_TRUE(out.tip.contains(c.tip)) << out.tip.toStdString();
        EXPECT_EQ(QFileInfo::exists(out.output), c.outputKept);
        EXPECT_EQ(QFileInfo::exists(input), c.original == QLatin1String("kept"));
        const QString trashed = home + QStringLiteral("/files/") + c.name;
        EXPECT_EQ(QFileInfo::exists(trashed), c.original == QLatin1String("trashed"));
        if (c.original == QLatin1String("trashed")) {
            QFile info(home + QStringLiteral("/info/") + c.name + QStringLiteral(".trashinfo"));
            ASSERT_TRUE(info.open(QIODevice::ReadOnly));
            const QString text = QString::fromUtf8(info.readAll());
            EXPECT_TRUE(text.startsWith(QStringLiteral("[Trash Info]\nPath=")
                                        + QString::fromLatin1(QUrl::toPercentEncoding(input, "/"))
                                        + QStringLiteral("\nDeletionDate=")))
                << text.toStdString();
        }
        if (c.status == RowStatus::NotSmaller) {
            EXPECT_TRUE(out.command.contains(QStringLiteral(" -fs %1").arg(QFileInfo(input).size())));
        }
        if (c.outputKept) {
            // The input's date and tags.
            EXPECT_EQ(QFileInfo(out.output).lastModified().toUTC(), past);
            QStringList tags = ffprobeValues(out.output, QStringLiteral("format_tags=title,artist"))
                                   .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            tags.sort();
            EXPECT_EQ(tags, QStringList({"A title", "Someone"}));
        }
        if (!c.options.doneCommand.isEmpty()) {
            for (int waited = 0; waited < 100 && !QFileInfo::exists(envFile); ++waited)
                QTest::qWait(100);
            QFile env(envFile);
            ASSERT_TRUE(env.open(QIODevice::ReadOnly));
            const QStringList lines = QString::fromUtf8(env.readAll()).split(QLatin1Char('\n'));
            EXPECT_TRUE(lines.contains(QStringLiteral("VANTORIX_INPUT=") + input));
            EXPECT_TRUE(lines.contains(QStringLiteral("VANTORIX_OUTPUT=") + out.output));
            EXPECT_TRUE(lines.contains(QStringLiteral("VANTORIX_STATUS=complete")));
            EXPECT_TRUE(lines.contains(QStringLiteral("VANTORIX_ORIGINAL=trashed")));
            EXPECT_FALSE(QFileInfo::exists(QStringLiteral("pwned")));
        }
    }
}

// "Quality: SSIM": the CRF is picked from samples of the input before the
// conversion, and the whole output comes out near the SSIM asked for.
TEST_F(AllStreamsTest, TheQualityAskedForPicksTheCrfFromSamples)
{
    const QString clip = folder->filePath(QStringLiteral("moving.mp4"));
    ASSERT_TRUE(runEngine({"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25:duration=12", "-c:v", "libx264",
                           "-crf", "12", "-pix_fmt", "yuv420p"},
                          clip));
    const struct
    {
        const char *profile;
        const char *target;
    } cases[] = {{"MP4 H.264 AAC", "0.98"}, {"MKV H.265 AAC", "0.99"}};
    int n = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.profile);
        QString ext;
        const QString params = parameters(QString::fromUtf8(c.profile),
                                          QList<QPair<QString, QString>>{{"Quality: SSIM", c.target}}, &ext);
        EXPECT_TRUE(params.contains(QStringLiteral(" -target_ssim %1").arg(c.target))) << params.toStdString();
        const Converted out = convert(clip, params, ext, QStringLiteral("quality%1").arg(n++));
        ASSERT_EQ(out.status, RowStatus::Complete) << out.tip.toStdString();
        const QRegularExpressionMatch tip =
            QRegularExpression(QStringLiteral("^Quality: CRF ([0-9.]+) chosen for SSIM %1 or more \\(predicted "
                                              "([0-9.]+); probes: [1-6]\\)\\.$")
                                   .arg(QRegularExpression::escape(QString::fromLatin1(c.target))))
                .match(out.tip);
        ASSERT_TRUE(tip.hasMatch()) << out.tip.toStdString();
        // The engine converted with the CRF the tip names, and never saw the row's option.
        EXPECT_TRUE(out.command.contains(QStringLiteral(" -crf %1 ").arg(tip.captured(1)))) << out.command.toStdString();
        EXPECT_FALSE(out.command.contains(QLatin1String(TargetSsimOption)));
        const double target = QString::fromLatin1(c.target).toDouble();
        EXPECT_GE(tip.captured(2).toDouble(), target);
        QProcess measure;
        measure.setProcessChannelMode(QProcess::MergedChannels);
        measure.start(QStringLiteral(VANTORIX_FFMPEG), SsimArguments(out.output, clip));
        ASSERT_TRUE(measure.waitForFinished(60000));
        const std::optional<double> whole = SsimFromReport(QString::fromUtf8(measure.readAll()));
        ASSERT_TRUE(whole.has_value());
        EXPECT_NEAR(*whole, target, 0.004);
    }
}

} // namespace

