// A long input converted in segments by the batch mode (--segment), and the
// same command run again after the program was killed: only the segments not
// done are converted, and the joined output holds the input's frames.
#include "batchfixture.h"

#include "fakes/clips.h"
#include "fakessh.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <csignal>
#include <functional>
#include <set>

namespace {

class SegmentTest : public RealEngineBatchTest
{
protected:
    QString clip() const { return work(QStringLiteral("in/long clip.avi")); }
    QString output() const { return work(QStringLiteral("out/long clip.mp4")); }

    QString segmentFolder() const
    {
        const QStringList found = QDir(work(QStringLiteral("out")))
                                      .entryList({QStringLiteral(".vantorix-segments-*")}, QDir::Dirs | QDir::Hidden);
        return found.isEmpty() ? QString() : work(QStringLiteral("out/") + found.first());
    }

    // The pieces of the record, and which of them are done.
    std::pair<int, std::set<int>> recorded() const
    {
        const QJsonObject record =
            QJsonDocument::fromJson(contentOf(segmentFolder() + QStringLiteral("/record.json"))).object();
        const QJsonArray pieces = record.value(QStringLiteral("pieces")).toArray();
        std::set<int> done;
        for (int i = 0; i < pieces.size(); ++i)
            if (pieces[i].toObject().value(QStringLiteral("done")).toBool())
                done.insert(i);
        return {int(pieces.size()), done};
    }

    struct Outcome
    {
        int exitCode = -1;
        bool killed = false;
        QString out;
        bool cut = false;         // the input was cut into pieces
        std::set<int> converted;  // the pieces whose engine started
        std::set<QString> hosts;  // where pieces went over SSH
    };

    // Runs the batch (one engine at once); sends it `signal` (kill -9, or
    // Ctrl+C: its tasks are stopped) once `killWhen` holds.
    Outcome convert(const QStringList &extra, const std::function<bool()> &killWhen = {}, int signal = SIGKILL,
                    const QProcessEnvironment &environment = headless()) const
    {
        QProcessEnvironment env = environment;
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("vantorix.engine.info=true"));
        QProcess process;
        start(process, QStringList{"--batch", "-p", Mp4Profile, "-o", "out", "--overwrite", "--segment", "0.05", "-j", "1"}
                           + extra + QStringList{clip()},
              env);
        Outcome outcome;
        if (killWhen) {
            waitFor([&] { return killWhen() || process.state() == QProcess::NotRunning; }, 120000);
            outcome.killed = process.state() == QProcess::Running;
            ::kill(pid_t(process.processId()), signal);
        }
        process.waitForFinished(120000);
        outcome.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        outcome.out = QString::fromUtf8(process.readAllStandardOutput());
        static const QRegularExpression piece(QStringLiteral("piece(\\d{5})\\.nut( -| goes to )"));
        for (const QString &line : QString::fromUtf8(process.readAllStandardError()).split(QLatin1Char('\n'))) {
            // A piece sent to a host over SSH: "task ...piece00002.nut goes to hostb".
            if (line.contains(QStringLiteral(" goes to ")))
                outcome.hosts.insert(line.section(QStringLiteral(" goes to "), 1).trimmed());
            if (!line.contains(QStringLiteral("vantorix.engine: start")) && !line.contains(QStringLiteral(" goes to ")))
                continue;
            outcome.cut = outcome.cut || line.contains(QStringLiteral(" -f segment "));
            const QRegularExpressionMatch match = piece.match(line);
            if (match.hasMatch())
                outcome.converted.insert(match.captured(1).toInt());
        }
        return outcome;
    }

    // The video's frame count (read = "nb_read_packets") or width.
    static QString video(const QString &path, const QString &entry = QStringLiteral("nb_read_packets"))
    {
        QProcess process;
        process.start(QStringLiteral(VANTORIX_FFPROBE),
                      {"-v", "error", "-count_packets", "-select_streams", "v:0", "-show_entries", "stream=" + entry,
                       "-of", "default=noprint_wrappers=1:nokey=1", path});
        process.waitForFinished(30000);
        return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    }
};

std::set<int> upTo(int count, const std::set<int> &without = {})
{
    std::set<int> all;
    for (int i = 0; i < count; ++i)
        if (!without.count(i))
            all.insert(i);
    return all;
}

TEST_F(SegmentTest, ResumesAfterAKillWithTheSegmentsNotDoneAndJoinsTheInputsFrames)
{
    // A 12-second clip with a key frame about every half second: pieces of about 3 s.
    ASSERT_TRUE(makeClip(clip(), 12, QStringLiteral("640x480")));
    const QString sourceFrames = video(clip());
    ASSERT_EQ(sourceFrames, QStringLiteral("300"));

    // Uninterrupted: every piece converted once; the folder goes with the commit.
    Outcome whole = convert({});
    ASSERT_EQ(whole.exitCode, 0) << qPrintable(whole.out);
    EXPECT_TRUE(whole.cut);
    ASSERT_GE(whole.converted.size(), 4u);
    EXPECT_EQ(whole.converted, upTo(int(whole.converted.size())));
    EXPECT_EQ(video(output()), sourceFrames);
    EXPECT_EQ(segmentFolder(), QString());
    ASSERT_TRUE(QFile::remove(output()));

    const auto doneAtLeast = [this](int count) {
        return [this, count] { return !segmentFolder().isEmpty() && int(recorded().second.size()) >= count; };
    };
    struct Case
    {
        const char *name;
        std::function<bool()> killWhen;
        QStringList changed;       // options of the second run
        bool removeFirstSegment;   // the file of segment 0 is gone before it
        int signal = SIGKILL;
    };
    const Case cases[] = {
        {"killed between segments", doneAtLeast(1), {}, false},
        {"killed inside a segment",
         [this, doneAtLeast] {
             if (!doneAtLeast(1)())
                 return false;
             const int next = int(recorded().second.size());
             return QFileInfo(segmentFolder() + QStringLiteral("/segment%1.mp4").arg(next, 5, 10, QLatin1Char('0')))
                        .size()
                    > 0;
         },
         {},
         false},
        {"a setting changed", doneAtLeast(2), {"--set", "Video Size=320x240"}, false},
        {"a segment file missing", doneAtLeast(2), {}, true},
        {"stopped by Ctrl+C", doneAtLeast(1), {}, false, SIGINT},
    };
    for (const Case &c : cases) {
        const Outcome killed = convert({}, c.killWhen, c.signal);
        ASSERT_TRUE(killed.killed) << c.name;
        EXPECT_FALSE(QFileInfo::exists(output())) << c.name;
        const auto [pieces, done] = recorded();
        ASSERT_FALSE(done.empty()) << c.name;
        if (c.removeFirstSegment) {
            ASSERT_TRUE(QFile::remove(segmentFolder() + QStringLiteral("/segment00000.mp4"))) << c.name;
        }

        const Outcome resumed = convert(c.changed);
        ASSERT_EQ(resumed.exitCode, 0) << c.name << qPrintable(resumed.out);
        if (!c.changed.isEmpty()) {
            // Made with other settings: all of it again, from the cut on.
            EXPECT_TRUE(resumed.cut) << c.name;
            EXPECT_EQ(resumed.converted, upTo(pieces)) << c.name;
            EXPECT_FALSE(resumed.out.contains(QStringLiteral("Resumed at"))) << c.name;
            EXPECT_EQ(video(output(), QStringLiteral("width")), QStringLiteral("320"));
        } else {
            std::set<int> kept = done;
            if (c.removeFirstSegment)
                kept.erase(0);
            // A piece goes once its segment is done: one to convert again is cut again.
            EXPECT_EQ(resumed.cut, c.removeFirstSegment) << c.name;
            EXPECT_EQ(resumed.converted, upTo(pieces, kept)) << c.name;
            // The row tells it: "Resumed at 50 %: 2 of 4 segments had been converted before."
            EXPECT_TRUE(resumed.out.contains(QStringLiteral(" %: %1 of %2 segments had been converted before.")
                                                 .arg(kept.size())
                                                 .arg(pieces)))
                << c.name << qPrintable(resumed.out);
        }
        EXPECT_EQ(video(output()), sourceFrames) << c.name;
        EXPECT_EQ(segmentFolder(), QString()) << c.name;
        ASSERT_TRUE(QFile::remove(output())) << c.name;
    }

    // On two hosts over SSH (a stand-in that runs here): the pieces spread
    // over both, the sound and the join stay here.
    ASSERT_TRUE(WriteFakeSsh(work(QStringLiteral("bin"))));
    QFile hosts(work(QStringLiteral("hosts")));
    ASSERT_TRUE(hosts.open(QIODevice::WriteOnly));
    hosts.write("2/hosta\n2/hostb\n");
    hosts.close();
    QProcessEnvironment env = headless();
    env.insert(QStringLiteral("PATH"), work(QStringLiteral("bin")) + QLatin1Char(':') + env.value(QStringLiteral("PATH")));
    env.insert(QStringLiteral("FAKE_SSH_ROOT"), work(QStringLiteral("hosts.d")));
    const Outcome spread = convert({"--hosts", "hosts", "-j", "2"}, {}, SIGKILL, env);
    ASSERT_EQ(spread.exitCode, 0) << qPrintable(spread.out);
    EXPECT_EQ(spread.converted, whole.converted);
    EXPECT_EQ(spread.hosts, (std::set<QString>{QStringLiteral("hosta"), QStringLiteral("hostb")}));
    EXPECT_EQ(video(output()), sourceFrames);
    EXPECT_EQ(segmentFolder(), QString());
}

} // namespace
