// Real conversions through the shipped profiles and the real engine, each
// judged by OutputCheck: inputs whose timelines are odd, trims at the edges,
// and outputs damaged on purpose. Prints the table of verdicts.
#include "conversion/conversionrun.h"
#include "conversion/enginecommand.h"
#include "conversion/outputcheck.h"
#include "conversion/outputfile.h"
#include "profiles/parametergrid.h"
#include "profiles/profiles.h"

#include "fakes/clips.h"
#include "fakes/programfolder.h"
#include "fakes/recorders.h"
#include "fakeview.h"
#include "probetask.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <functional>
#include <memory>

namespace {

const QStringList Picture = {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25"};
const QStringList Tone = {"-f", "lavfi", "-i", "sine=frequency=440"};

bool concatenate(const QStringList &parts, const QString &path, qint64 zeros = 0)
{
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    for (const QString &part : parts) {
        QFile in(part);
        if (!in.open(QIODevice::ReadOnly))
            return false;
        out.write(in.readAll());
    }
    out.write(QByteArray(zeros, '\0'));
    return true;
}

// Keeps the first `fraction` of the file, or what stands before `marker`.
bool cut(const QString &path, double fraction, const QByteArray &marker = {})
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    const QByteArray data = file.readAll();
    const qsizetype at = marker.isEmpty() ? qsizetype(data.size() * fraction) : data.lastIndexOf(marker);
    return at > 0 && file.resize(at);
}

struct Input
{
    const char *name;
    const char *file;
    // Where its picture and its sound end as the engine reads it (0: none).
    double picture, sound;
    // Converted whole by every profile; the others by a few.
    bool everyProfile;
    // Makes the file at the path; `scratch` is a folder for parts.
    std::function<bool(const QString &path, const QString &scratch)> make;
};

const Input Inputs[] = {
    {"MKV starting at 30 s", "offset.mkv", 3, 3, true,
     [](const QString &p, const QString &) {
         return runEngine(Picture + Tone + QStringList{"-t", "3", "-c:v", "mpeg4", "-c:a", "mp2", "-output_ts_offset", "30"}, p);
     }},
    {"TS joined, times leap", "joined.ts", 4, 4, true,
     [](const QString &p, const QString &s) {
         const QStringList codecs = {"-t", "2", "-c:v", "mpeg2video", "-c:a", "mp2"};
         return runEngine(Picture + Tone + codecs, s + "/a.ts")
                && runEngine(Picture + Tone + codecs + QStringList{"-output_ts_offset", "1000"}, s + "/b.ts")
                && concatenate({s + "/a.ts", s + "/b.ts"}, p);
     }},
    {"VFR", "vfr.mkv", 4, 4, false,
     [](const QString &p, const QString &) {
         return runEngine({"-f", "lavfi", "-i",
                           "testsrc=size=160x120:rate=25,settb=1/1000,"
                           "setpts=if(lt(N\\,25)\\,N*40\\,if(lt(N\\,35)\\,1000+(N-25)*200\\,3000+(N-35)*40))",
                           "-f", "lavfi", "-i", "sine=frequency=440:duration=4", "-frames:v", "60", "-fps_mode",
                           "passthrough", "-c:v", "mpeg4", "-c:a", "mp2"},
                          p);
     }},
    {"audio longer than video", "alonger.mkv", 2, 4, true,
     [](const QString &p, const QString &) {
         return runEngine({"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=2", "-f", "lavfi", "-i",
                           "sine=frequency=440:duration=4", "-c:v", "mpeg4", "-c:a", "mp2"},
                          p);
     }},
    {"video longer than audio", "vlonger.mkv", 4, 2, true,
     [](const QString &p, const QString &) {
         return runEngine({"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=4", "-f", "lavfi", "-i",
                           "sine=frequency=440:duration=2", "-c:v", "mpeg4", "-c:a", "mp2"},
                          p);
     }},
    {"MPEG-PS, length unknown", "padded.mpg", 3, 3, false,
     [](const QString &p, const QString &s) {
         // The engine finds no time near the end of so much padding.
         return runEngine(Picture + Tone
                              + QStringList{"-t", "3", "-c:v", "mpeg2video", "-b:v", "300k", "-maxrate", "300k",
                                            "-bufsize", "300k", "-c:a", "mp2", "-f", "vob"},
                          s + "/ps.mpg")
                && concatenate({s + "/ps.mpg"}, p, 32 * 1024 * 1024);
     }},
    {"MPEG video, length estimated", "estimated.m1v", 3, 0, false,
     [](const QString &p, const QString &) {
         return runEngine(Picture + QStringList{"-t", "3", "-c:v", "mpeg1video", "-f", "mpeg1video"}, p);
     }},
    {"WMV", "clip.wmv", 3, 3, false,
     [](const QString &p, const QString &) {
         return runEngine(Picture + Tone + QStringList{"-t", "3", "-c:v", "wmv2", "-c:a", "wmav2"}, p);
     }},
    {"0.3 s clip", "short.mp4", 0.3, 0.3, false,
     [](const QString &p, const QString &) {
         return runEngine(Picture + Tone + QStringList{"-t", "0.3", "-c:v", "mpeg4", "-c:a", "aac"}, p);
     }},
    {"AVI without index", "noindex.avi", 3, 3, false,
     [](const QString &p, const QString &) {
         return runEngine(Picture + Tone + QStringList{"-t", "3", "-c:v", "mpeg4", "-c:a", "mp2"}, p)
                && cut(p, 0, "idx1");
     }},
    {"truncated MKV", "truncated.mkv", 2, 2, false,
     [](const QString &p, const QString &) {
         return runEngine(Picture + Tone + QStringList{"-t", "4", "-c:v", "mpeg4", "-c:a", "mp2"}, p) && cut(p, 0.5);
     }},
    {"H.264, key frames 4 s apart", "keys.mp4", 6, 6, false,
     [](const QString &p, const QString &) {
         return runEngine(Picture + Tone
                              + QStringList{"-t", "6", "-c:v", "libx264", "-preset", "ultrafast", "-g", "100",
                                            "-keyint_min", "100", "-sc_threshold", "0", "-c:a", "aac"},
                          p);
     }},
};

enum class Trim { None, PastTheEnd, Short, LastSecond };
const char *const TrimNames[] = {"whole", "past end", "0.4 s", "last second"};

// The task's range as the Output grid sets it; false when the input has too
// little for this trim.
bool applyTrim(ltvItemData &task, Trim trim)
{
    double start = task.StartSecs;
    double end = task.EndSecs;
    switch (trim) {
    case Trim::None:
        return true;
    case Trim::PastTheEnd:
        end = task.LengthSecs + 5;
        break;
    case Trim::Short:
        start = 1.0;
        end = 1.4;
        break;
    case Trim::LastSecond:
        start = task.LengthSecs - 1;
        end = task.LengthSecs;
        break;
    }
    if (task.LengthSecs <= 0 || start < 0 || start >= task.LengthSecs)
        return false;
    task.StartText = SecondsToTimeText(start);
    task.StartSecs = TimeTextToSeconds(task.StartText);
    if (trim == Trim::LastSecond) {
        task.EndSecs = task.LengthSecs;
    } else {
        task.EndText = SecondsToTimeText(end);
        task.EndSecs = TimeTextToSeconds(task.EndText);
    }
    task.ClipLengthSecs = task.EndSecs - task.StartSecs;
    return true;
}

struct Profile
{
    const char *name;
    bool mayBeRefused; // a stream copy: not every codec fits every container
    QString params;
    QString ext;
};

class OutputCheckMatrix : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        folder = new TestProgramFolder(TestProgramFolder::Engine::Real);
        const QString scratch = folder->filePath(QStringLiteral("scratch"));
        QDir().mkpath(scratch);
        QDir().mkpath(folder->filePath(QStringLiteral("in")));
        QDir().mkpath(folder->filePath(QStringLiteral("out")));
        for (const Input &input : Inputs) {
            const QString path = folder->filePath(QStringLiteral("in/") + QString::fromUtf8(input.file));
            if (!input.make(path, scratch))
                std::printf("could not make %s\n", input.name);
        }
        // The parameter strings as the program builds them from the shipped
        // profiles (a working copy: building rewrites the file).
        const QString shipped = ProfilesFolder(QStringLiteral(VANTORIX_PROGRAM_FOLDER));
        QDir().mkpath(ProfilesFolder(folder->path()));
        for (Profile &profile : profiles()) {
            const QString name = QString::fromUtf8(profile.name);
            QFile::copy(shipped + name + ".apf", ProfilesFolder(folder->path()) + name + ".apf");
            const QString path = ProfilePath(folder->path(), name);
            ParameterGrids grids;
            RecordingInteractive interactive;
            LoadProfile(path, grids, interactive, &profile.ext);
            profile.params = BuildParameterString(path, grids, interactive).value_or(QString());
        }
    }

    static void TearDownTestSuite()
    {
        delete folder;
        folder = nullptr;
    }

    static std::vector<Profile> &profiles()
    {
        static std::vector<Profile> list = {
            {"MP4 H.264 AAC", false, {}, {}}, {"MP4 H.265 AAC", false, {}, {}},   {"WebM VP8 Vorbis", false, {}, {}},
            {"MP4 Copy Streams", true, {}, {}}, {"MKV Copy Streams", true, {}, {}}, {"GIF Animation", false, {}, {}},
            {"MP3 Audio", false, {}, {}},     {"Opus Audio", false, {}, {}},      {"WAV Audio", false, {}, {}},
        };
        return list;
    }

    static QString inputPath(const Input &input)
    {
        return folder->filePath(QStringLiteral("in/") + QString::fromUtf8(input.file));
    }

    static std::unique_ptr<QProcess> startEngine(const EngineCommand &command)
    {
        auto engine = std::make_unique<QProcess>();
        engine->setProcessChannelMode(QProcess::MergedChannels);
        engine->start(folder->enginePath(), command.arguments);
        return engine;
    }

    // Runs the engine; empty when it ended well, else the end of what it said.
    static QString runEngineFor(const EngineCommand &command, const QString &output)
    {
        return engineFailure(*startEngine(command), output);
    }

    static QString engineFailure(QProcess &engine, const QString &output)
    {
        engine.waitForFinished(120000);
        const QString said = QString::fromLocal8Bit(engine.readAll());
        WriteFailureScanner scanner;
        scanner.feed(said);
        scanner.finish();
        if (engine.exitStatus() != QProcess::NormalExit || engine.exitCode() != 0 || !scanner.failureLine().isEmpty()
            || QFileInfo(output).size() <= 0)
            return said.right(300).trimmed();
        return QString();
    }

    static QString check(const ltvItemData &task, const QString &params, const QString &output)
    {
        OutputCheck check(folder->enginePath(), task, params, output);
        QSignalSpy done(&check, &OutputCheck::done);
        check.start();
        if (!done.wait(120000))
            return QStringLiteral("<no verdict>");
        return done.first().first().toString();
    }

    static TestProgramFolder *folder;
};

TestProgramFolder *OutputCheckMatrix::folder = nullptr;

// Every cell converts well, so every verdict must be good ("FAILED" is a good
// file reported failed), except cells whose range holds nothing the profile
// writes: those must fail ("GOOD" is an empty file reported good). Stream
// copies the container refuses are shown, not judged.
TEST_F(OutputCheckMatrix, GoodConversionsAreReportedGood)
{
    const std::vector<std::pair<Trim, QStringList>> grid = {
        {Trim::None, {}},
        {Trim::PastTheEnd, {"MP4 H.264 AAC", "MKV Copy Streams", "MP3 Audio"}},
        {Trim::Short, {"MP4 Copy Streams", "WAV Audio"}},
        {Trim::LastSecond, {"MKV Copy Streams", "GIF Animation", "Opus Audio"}},
    };
    struct Cell
    {
        const Input *input;
        Trim trim;
        const Profile *profile; // null: not run
        ltvItemData task;
        bool empty = false;
        EngineCommand command;
        QString output;
        QString engineSaid;
    };
    std::vector<Cell> cells;
    for (const Input &input : Inputs) {
        ASSERT_TRUE(QFileInfo(inputPath(input)).size() > 0) << input.name;
        const ltvItemData probed = probeTask(folder->enginePath(), inputPath(input), QString());
        for (auto [trim, only] : grid) {
            if (only.isEmpty() && !input.everyProfile)
                only = {"MP4 H.264 AAC", "MP4 Copy Streams", "MKV Copy Streams", "GIF Animation", "MP3 Audio"};
            ltvItemData task = probed;
            if (!applyTrim(task, trim))
                continue;
            for (const Profile &profile : profiles()) {
                Cell cell{&input, trim, nullptr, task, false, {}, {}, {}};
                if (only.isEmpty() || only.contains(QString::fromUtf8(profile.name))) {
                    cell.profile = &profile;
                    // A range that holds nothing of what the profile writes has
                    // no good output: whatever the engine leaves must fail. A
                    // copy starts at a key frame before it, so it holds some.
                    const double reach = std::max(WritesVideo(profile.params, profile.ext) ? input.picture : 0,
                                                  WritesAudio(profile.params, profile.ext) ? input.sound : 0);
                    cell.empty = !profile.mayBeRefused && task.StartSecs >= reach;
                    cell.output = folder->filePath(QStringLiteral("out/%1%2").arg(cells.size()).arg(profile.ext));
                    cell.command = TaskCommand(task, profile.params, cell.output);
                }
                cells.push_back(cell);
            }
        }
    }

    // Two engines at a time.
    std::vector<Cell *> queue;
    for (Cell &cell : cells) {
        if (cell.profile)
            queue.push_back(&cell);
    }
    for (size_t i = 0; i < queue.size(); i += 2) {
        std::vector<std::unique_ptr<QProcess>> engines;
        for (size_t k = i; k < std::min(i + 2, queue.size()); ++k) {
            engines.push_back(startEngine(queue[k]->command));
        }
        for (size_t k = 0; k < engines.size(); ++k)
            queue[i + k]->engineSaid = engineFailure(*engines[k], queue[i + k]->output);
    }

    std::printf("%-30s %-12s", "input", "trim");
    for (const Profile &profile : profiles())
        std::printf(" %-8.8s", profile.name);
    for (size_t i = 0; i < cells.size(); ++i) {
        const Cell &cell = cells[i];
        if (i % profiles().size() == 0)
            std::printf("\n%-30s %-12s", cell.input->name, TrimNames[int(cell.trim)]);
        if (!cell.profile) {
            std::printf(" %-8s", "-");
            continue;
        }
        const std::string where = std::string(cell.input->name) + " / " + cell.profile->name + " / "
                                  + TrimNames[int(cell.trim)] + ": " + cell.command.text.toStdString();
        if (!cell.engineSaid.isEmpty()) {
            std::printf(" %-8s", cell.empty ? "empty" : "refused");
            EXPECT_TRUE(cell.profile->mayBeRefused || cell.empty) << where << "\n" << cell.engineSaid.toStdString();
            continue;
        }
        const QString reason = check(cell.task, cell.profile->params, cell.output);
        std::printf(" %-8s", cell.empty ? (reason.isEmpty() ? "GOOD" : "failed") : (reason.isEmpty() ? "good" : "FAILED"));
        EXPECT_EQ(reason.isEmpty(), !cell.empty) << reason.toStdString() << " " << where;
    }
    std::printf("\n");
}

// Outputs damaged on purpose: each must be reported failed.
TEST_F(OutputCheckMatrix, DamagedOutputsAreReportedFailed)
{
    const auto profile = [](const char *name) {
        for (const Profile &p : profiles()) {
            if (QString::fromUtf8(p.name) == QLatin1String(name))
                return p;
        }
        return Profile{};
    };
    const struct
    {
        const char *name;
        int input; // in Inputs
        const char *profile;
        double start, end; // the task's range; end 0: the whole input
        // Writes the damaged output with the engine and the task's command.
        std::function<bool(const ltvItemData &, const Profile &, const QString &)> damage;
    } cases[] = {
        {"H.264 MP4 cut in half", 11, "MP4 H.264 AAC", 0, 0,
         [](const ltvItemData &t, const Profile &p, const QString &out) {
             return runEngineFor(TaskCommand(t, p.params, out), out).isEmpty() && cut(out, 0.5);
         }},
        {"MKV copy cut in half", 11, "MKV Copy Streams", 0, 0,
         [](const ltvItemData &t, const Profile &p, const QString &out) {
             return runEngineFor(TaskCommand(t, p.params, out), out).isEmpty() && cut(out, 0.5);
         }},
        {"MP3 cut in half", 3, "MP3 Audio", 0, 0,
         [](const ltvItemData &t, const Profile &p, const QString &out) {
             return runEngineFor(TaskCommand(t, p.params, out), out).isEmpty() && cut(out, 0.5);
         }},
        {"MP3 without audio frames, input length unknown", 5, "MP3 Audio", 0, 0,
         [](const ltvItemData &t, const Profile &p, const QString &out) {
             runEngineFor(ConversionCommand(t.InputFile, p.params + " -t 0", std::nullopt, std::nullopt, out), out);
             return QFileInfo(out).size() > 0;
         }},
        {"WAV without samples", 0, "WAV Audio", 0, 0,
         [](const ltvItemData &t, const Profile &p, const QString &out) {
             runEngineFor(ConversionCommand(t.InputFile, p.params + " -t 0", std::nullopt, std::nullopt, out), out);
             return QFileInfo(out).size() > 0;
         }},
        {"copy cut after the input (no picture until a key frame)", 11, "MP4 Copy Streams", 1, 5.5,
         [](const ltvItemData &t, const Profile &p, const QString &out) {
             return runEngineFor(ConversionCommand(t.InputFile, p.params, t.StartText, QStringLiteral("4.5"), out), out)
                 .isEmpty();
         }},
        {"H.264 MP4 a second long for four", 4, "MP4 H.264 AAC", 0, 0,
         [](const ltvItemData &t, const Profile &p, const QString &out) {
             return runEngineFor(ConversionCommand(t.InputFile, p.params, std::nullopt, QStringLiteral("1"), out), out)
                 .isEmpty();
         }},
        {"H.264 MP4 six times as long as its input, whose times leap", 1, "MP4 H.264 AAC", 0, 0,
         [](const ltvItemData &t, const Profile &, const QString &out) {
             return runEngine({"-stream_loop", "5", "-i", t.InputFile, "-c:v", "libx264", "-preset", "ultrafast", "-c:a",
                               "aac"},
                              out);
         }},
        {"H.264 MP4, index first, cut to 40 %, its input's times leap", 1, "MP4 H.264 AAC", 0, 0,
         [](const ltvItemData &t, const Profile &, const QString &out) {
             return runEngine({"-i", t.InputFile, "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac", "-movflags",
                               "+faststart"},
                              out)
                 && cut(out, 0.4);
         }},
        {"H.264 MP4 without its picture", 8, "MP4 H.264 AAC", 0, 0,
         [](const ltvItemData &t, const Profile &p, const QString &out) {
             return runEngineFor(ConversionCommand(t.InputFile, p.params + " -vn", std::nullopt, std::nullopt, out),
                                 out)
                 .isEmpty();
         }},
    };
    int n = 0;
    for (const auto &c : cases) {
        const Profile p = profile(c.profile);
        ltvItemData task = probeTask(folder->enginePath(), inputPath(Inputs[c.input]), p.ext);
        if (c.end > 0) {
            task.StartText = SecondsToTimeText(c.start);
            task.StartSecs = c.start;
            task.EndSecs = c.end;
            task.ClipLengthSecs = c.end - c.start;
        }
        const QString output = folder->filePath(QStringLiteral("out/damaged%1%2").arg(++n).arg(p.ext));
        ASSERT_TRUE(c.damage(task, p, output)) << c.name;
        const QString reason = check(task, p.params, output);
        std::printf("%-55s %s\n", c.name, reason.isEmpty() ? "GOOD" : qPrintable(reason));
        EXPECT_FALSE(reason.isEmpty()) << c.name;
    }
}

// Damaged and odd inputs through whole batches (probe, engine, check), each
// with what a user expects to see: the length the list shows, the row's
// status and the first line of its tip.
TEST_F(OutputCheckMatrix, DamagedAndOddInputsEndAsAUserExpects)
{
    const auto paramsOf = [](const char *name) {
        for (const Profile &p : profiles()) {
            if (QString::fromUtf8(p.name) == QLatin1String(name))
                return p.params;
        }
        return QString();
    };
    const QString h264 = paramsOf("MP4 H.264 AAC");
    const QString mkvCopy = paramsOf("MKV Copy Streams");
    const QStringList vob = {"-c:v", "mpeg2video", "-c:a", "mp2", "-f", "vob"};
    const QStringList ts = {"-t", "2", "-c:v", "mpeg2video", "-c:a", "mp2"};
    const struct
    {
        const char *name;
        const char *file;
        QString params;
        double start, end; // the task's range; end 0: the whole input
        double listed;     // the length the list shows
        QString status;
        QString tip; // how the tip's first line begins; empty: no tip
        std::function<bool(const QString &path, const QString &scratch)> make;
    } cases[] = {
        {"MKV cut in half (8 s told)", "cut.mkv", h264, 0, 0, 8.0, RowStatus::Complete,
         "The input ends early (its data stops at 4.0 s of 8.0 s): the output holds all there is.",
         [](const QString &p, const QString &s) {
             return runEngine(Picture + Tone + QStringList{"-t", "8", "-c:v", "mpeg4", "-c:a", "mp2"}, s + "/8s.mkv")
                    && concatenate({s + "/8s.mkv"}, p) && cut(p, 0.5);
         }},
        {"its first 3 s", "cut.mkv", h264, 0, 3, 8.0, RowStatus::Complete, "", nullptr},
        {"TS whose times leap ahead, from 2.5 s", "ahead.ts", h264, 2.5, 4, 4.0, RowStatus::Complete, "",
         [&](const QString &p, const QString &s) {
             return runEngine(Picture + Tone + ts, s + "/a.ts")
                    && runEngine(Picture + Tone + ts + QStringList{"-output_ts_offset", "1000"}, s + "/b.ts")
                    && concatenate({s + "/a.ts", s + "/b.ts"}, p);
         }},
        {"TS whose times go back", "back.ts", h264, 0, 0, 4.0, RowStatus::Complete, "",
         [&](const QString &p, const QString &s) {
             return runEngine(Picture + Tone + ts + QStringList{"-output_ts_offset", "1000"}, s + "/c.ts")
                    && runEngine(Picture + Tone + ts, s + "/d.ts") && concatenate({s + "/c.ts", s + "/d.ts"}, p);
         }},
        {"MKV starting at 30 s, 1-2 s", "offset30.mkv", h264, 1, 2, 3.0, RowStatus::Complete, "",
         [](const QString &p, const QString &) {
             return runEngine(Picture + Tone
                                  + QStringList{"-t", "3", "-c:v", "mpeg4", "-c:a", "mp2", "-output_ts_offset", "30"},
                              p);
         }},
        {"video codec unknown (tag QQQQ)", "unknown.avi", h264, 0, 0, 3.0, RowStatus::Failed,
         "The engine does not know the codec of the input's video or audio stream",
         [](const QString &p, const QString &s) {
             QFile file(s + "/known.avi");
             if (!runEngine(Picture + Tone + QStringList{"-t", "3", "-c:v", "mpeg4", "-c:a", "mp2"}, file.fileName())
                 || !file.open(QIODevice::ReadOnly))
                 return false;
             QFile out(p);
             return out.open(QIODevice::WriteOnly) && out.write(file.readAll().replace("FMP4", "QQQQ")) > 0;
         }},
        {"VOB spliced, times leap", "spliced.vob", h264, 0, 0, 3.0, RowStatus::Complete, "",
         [&](const QString &p, const QString &s) {
             return runEngine(Picture + Tone + QStringList{"-t", "1.5"} + vob, s + "/a.vob")
                    && runEngine(Picture + Tone + QStringList{"-t", "1.5", "-output_ts_offset", "600"} + vob,
                                 s + "/b.vob")
                    && concatenate({s + "/a.vob", s + "/b.vob"}, p);
         }},
        {"mov_text in MP4, copied", "movtext.mp4", mkvCopy, 0, 0, 3.0, RowStatus::Complete, "",
         [&](const QString &p, const QString &s) {
             QFile srt(s + "/s.srt");
             return srt.open(QIODevice::WriteOnly)
                    && srt.write("1\n00:00:00,500 --> 00:00:02,000\nHello\n\n2\n00:00:02,100 --> 00:00:02,900\nWorld\n") > 0
                    && (srt.close(), true)
                    && runEngine(Picture + Tone
                                     + QStringList{"-i", srt.fileName(), "-t", "3", "-map", "0", "-map", "1", "-map", "2",
                                                   "-c:v", "mpeg4", "-c:a", "aac", "-c:s", "mov_text"},
                                 p);
         }},
        {"the same, all streams", "movtext.mp4", mkvCopy + " -map 0", 0, 0, 3.0, RowStatus::Complete, "", nullptr},
        {"the same, 1-2.5 s", "movtext.mp4", mkvCopy, 1, 2.5, 3.0, RowStatus::Complete, "", nullptr},
        {"VOB copied", "clip.vob", mkvCopy, 0, 0, 3.0, RowStatus::Complete, "",
         [&](const QString &p, const QString &) { return runEngine(Picture + Tone + QStringList{"-t", "3"} + vob, p); }},
    };

    const QString scratch = folder->filePath(QStringLiteral("scratch"));
    FakeView view;
    RecordingInteractive interactive;
    RecordingShell shell;
    RecordingPowerControl power;
    std::printf("%-40s %-8s %-9s %s\n", "input", "listed", "status", "tip");
    int n = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString input = folder->filePath(QStringLiteral("in/") + QString::fromUtf8(c.file));
        ASSERT_TRUE(!c.make || c.make(input, scratch));
        view.folder = folder->filePath(QStringLiteral("out/outcome%1").arg(++n));
        QDir().mkpath(view.folder);
        const QString ext = QString::fromUtf8(c.params == h264 ? ".mp4" : ".mkv");
        view.ext = ext;
        ltvItemData task = probeTask(folder->enginePath(), input, ext);
        EXPECT_NEAR(task.LengthSecs, c.listed, 0.1);
        if (c.end > 0) {
            task.StartText = SecondsToTimeText(c.start);
            task.EndText = SecondsToTimeText(c.end);
            task.ClipLengthText = SecondsToTimeText(c.end - c.start);
        }
        TaskListModel tasks;
        tasks.appendTask(task);
        ConversionRun run(tasks, view, interactive, shell, power);
        run.setEnginePath(folder->enginePath());
        QSignalSpy finished(&run, &ConversionRun::finished);
        run.RunConversion(c.params);
        ASSERT_TRUE(finished.count() == 1 || finished.wait(120000));

        const QString status = tasks.index(0, 3).data().toString();
        const QString tip = tasks.statusTip(0);
        std::printf("%-40s %-8.2f %-9s %s\n", c.name, task.LengthSecs, qPrintable(status),
                    qPrintable(tip.section(QLatin1Char('\n'), 0, 0)));
        EXPECT_EQ(status, c.status);
        EXPECT_TRUE(c.tip.isEmpty() ? tip.isEmpty() : tip.startsWith(c.tip)) << tip.toStdString();
        const QString output = view.folder + QLatin1Char('/') + QFileInfo(input).completeBaseName() + ext;
        EXPECT_EQ(QFileInfo::exists(output), c.status == RowStatus::Complete);
        if (c.params.startsWith(mkvCopy) && QFileInfo::exists(output) && QString::fromUtf8(c.file) == "movtext.mp4") {
            EXPECT_EQ(ffprobeValues(output, QStringLiteral("stream=codec_name")), QStringLiteral("mpeg4\naac\nsubrip"));
        }
    }

    // An output without the picture of an input whose video codec is unknown
    // says why it has none.
    const QString unknown = folder->filePath(QStringLiteral("in/unknown.avi"));
    const QString soundOnly = folder->filePath(QStringLiteral("out/sound only.mp4"));
    ASSERT_TRUE(runEngine({"-i", unknown, "-vn", "-c:a", "aac"}, soundOnly));
    EXPECT_EQ(check(probeTask(folder->enginePath(), unknown, QStringLiteral(".mp4")), h264, soundOnly),
              QStringLiteral("The output has no picture: the engine does not know the codec of the input's video "
                             "stream."));
}

// How a check ends besides the library's verdict: the engine's report for an
// output the library refuses, a stalled output given up after the time
// limit without the engine, and an abandoned check that never answers.
TEST(OutputCheck, RefusedStalledAndAbandonedOutputs)
{
    TestProgramFolder folder;
    ltvItemData task;
    task.InputFile = folder.filePath(QStringLiteral("missing input.avi"));
    task.LengthSecs = task.ClipLengthSecs = 10;
    task.SizeText = QStringLiteral(" 320x240");
    const QString params = QStringLiteral(" -vcodec mpeg4");

    const QString refused = folder.filePath(QStringLiteral("not media.avi"));
    QFile text(refused);
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write(QByteArray(4096, 'x'));
    text.close();
    folder.setScript(QStringLiteral("stderr 0 Input #0, from '%1':\\n  Duration: 00:00:01.00, start: 0.0\\n"
                                    "  Stream #0:0: Video: mpeg4, yuv420p, 320x240, 25 fps\\n\nexit 1\n")
                         .arg(refused));
    const QString stalled = folder.filePath(QStringLiteral("stalled.avi"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(stalled).constData(), 0600), 0);

    const struct
    {
        QString output;
        int timeoutMs;
        bool abandon;
        QString reason; // empty: no answer at all
        int engineCalls;
    } cases[] = {
        {refused, 30000, false, "The output lasts 1.00 s instead of 10.00 s.", 1},
        {stalled, 300, false, "The output could not be checked in time.", 1},
        {refused, 30000, true, QString(), 1},
    };
    for (const auto &c : cases) {
        OutputCheck check(folder.enginePath(), task, params, c.output);
        check.setTimeoutMs(c.timeoutMs);
        QSignalSpy done(&check, &OutputCheck::done);
        check.start();
        if (c.abandon) {
            check.abandon();
            EXPECT_FALSE(done.wait(1000)) << c.output.toStdString();
        } else {
            ASSERT_TRUE(done.wait(30000)) << c.output.toStdString();
            EXPECT_EQ(done.first().first().toString(), c.reason);
            EXPECT_EQ(check.reason(), c.reason);
        }
        EXPECT_EQ(folder.callCount(), c.engineCalls) << c.output.toStdString();
    }
    // Lets the worker stuck on the pipe go.
    for (int i = 0; i < 100; ++i) {
        const int writer = ::open(QFile::encodeName(stalled).constData(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) {
            ::close(writer);
            break;
        }
        QTest::qWait(20);
    }
}

} // namespace
