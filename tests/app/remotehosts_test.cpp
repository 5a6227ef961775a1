// The batch mode on hosts (--hosts): the hosts file, the worker's stream, and
// whole batches through workers on this machine, reached directly (":") or
// through a stand-in for ssh that plays hosts with faults.
#include "batch/batchmode.h"
#include "batchfixture.h"
#include "fakessh.h"
#include "remote/hostpool.h"
#include "remote/workerprotocol.h"

#include <QDirIterator>

namespace {

TEST(HostListTest, LinesSlotsDuplicatesAndBadLines)
{
    struct Case
    {
        QString text;
        QStringList hosts; // login/slots; empty: an error
    };
    const QList<Case> cases = {
        {"w1\n2/w2\n\n# a comment\n4/root@w3 # more\n:\n", {"w1/0", "w2/2", "root@w3/4", ":/0"}},
        {"2/w1\nw1\n3/w1\n", {"w1/0"}},         // listed twice: one host (without N: --jobs)
        {"2/w1\n3/w1\n", {"w1/3"}},             // the larger number of slots
        {"0/w1\n", {}},                          // no slots
        {"65/w1\n", {}},
        {"w1 w2\n", {}},                         // two on a line
        {"-oProxyCommand=x\n", {}},              // an option, not a host
        {"# nothing\n", {}},
    };
    for (const Case &c : cases) {
        const HostList list = ParseHostList(c.text);
        QStringList hosts;
        for (const HostLine &host : list.hosts)
            hosts << QStringLiteral("%1/%2").arg(host.login).arg(host.slotCount);
        if (c.hosts.isEmpty()) {
            EXPECT_FALSE(list.error.isEmpty()) << qPrintable(c.text);
        } else {
            EXPECT_TRUE(list.error.isEmpty()) << qPrintable(c.text + list.error);
            EXPECT_EQ(hosts, c.hosts) << qPrintable(c.text);
        }
    }
}

TEST(WorkerStreamTest, FramesComeWholeAfterTheGreetingWhateverTheCutsAndDamageIsSeen)
{
    using namespace WorkerProtocol;
    const QByteArray data(3000, '\n');
    const QByteArray stream = QByteArray("Welcome to w1\n") + Greeting + Frame("input", QJsonObject{{"inPlace", true}})
                              + Frame("data", data) + Frame("data-end");
    for (const int cut : {1, 7, 4096}) {
        Reader reader(true);
        QList<Message> messages;
        for (qsizetype at = 0; at < stream.size(); at += cut) {
            reader.feed(stream.mid(at, cut));
            while (const std::optional<Message> message = reader.next())
                messages << *message;
        }
        ASSERT_EQ(messages.size(), 3) << cut;
        EXPECT_TRUE(messages[0].json().value("inPlace").toBool());
        EXPECT_EQ(messages[1].payload, data);
        EXPECT_EQ(messages[2].type, "data-end");
        EXPECT_FALSE(reader.damaged());
    }
    for (const QByteArray &bad : {QByteArray("data x\n"), QByteArray("data 99999999999\n"), QByteArray(100, 'x')}) {
        Reader reader(false);
        reader.feed(bad);
        EXPECT_FALSE(reader.next().has_value());
        EXPECT_TRUE(reader.damaged()) << bad.constData();
    }
    Reader silent(true);
    silent.feed(QByteArray(70 * 1024, 'x'));
    EXPECT_FALSE(silent.next().has_value());
    EXPECT_TRUE(silent.damaged());
}

class RemoteHostsTest : public BatchTest
{
protected:
    void SetUp() override
    {
        BatchTest::SetUp();
        ASSERT_TRUE(WriteFakeSsh(work("bin")));
        QDir().mkpath(work("in/sub"));
        for (const char *name : {"in/a.avi", "in/b.avi", "in/sub/c.avi"})
            ASSERT_TRUE(WriteFakeMedia(work(QString::fromLatin1(name)), "00:00:04"));
    }

    Result runOn(const QString &hosts, const QStringList &options = {})
    {
        QFile file(work("hosts"));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(hosts.toUtf8());
        file.close();
        QProcessEnvironment env = withTemporaryFolder();
        env.insert("PATH", work("bin") + ":" + env.value("PATH"));
        env.insert("FAKE_SSH_ROOT", work("hosts.d"));
        QProcess process;
        start(process, QStringList{"--batch", "--hosts", "hosts", "-p", Mp4Profile, "-o", "out", "-r"} + options
                           + QStringList{"in"}, env);
        return finish(process);
    }

    // What the hosts' worker folders hold besides their copies of the program.
    QStringList leftOnHosts() const
    {
        QStringList left;
        QDirIterator it(work("hosts.d"), {"runs"}, QDir::Dirs, QDirIterator::Subdirectories);
        while (it.hasNext())
            for (const QString &name : QDir(it.next()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
                left << name;
        return left;
    }
};

TEST_F(RemoteHostsTest, EveryTaskEndsCompleteOnAHostThatWorksAndAFailingHostIsNamedAndLeftOut)
{
    struct Case
    {
        QString hosts;
        QStringList options;
        QString told; // on standard error; empty: no host left out
    };
    const QList<Case> cases = {
        {"2/:\n", {}, {}},
        {"2/good\n", {"--tree"}, {}},
        {"dead\n2/good\n", {}, "leaving out dead: ssh: connect to host dead port 22: Connection refused"},
        {"engineless\nslowgood\n", {}, "leaving out engineless: the engine does not run"},
        {"damaging\nslowgood\n", {}, "leaving out damaging: its output came back damaged"},
    };
    for (const Case &c : cases) {
        QDir(work("out")).removeRecursively();
        QDir().mkpath(work("out"));
        QDir(work("hosts.d")).removeRecursively();
        const Result result = runOn(c.hosts, c.options);
        const QString what = c.hosts + result.out + result.err;
        EXPECT_EQ(result.exitCode, BatchCompleted) << qPrintable(what);
        const bool tree = c.options.contains("--tree");
        for (const QString name : {"a.mp4", "b.mp4", tree ? "sub/c.mp4" : "c.mp4"}) {
            EXPECT_TRUE(contentOf(work("out/") + name).startsWith("VANTORIX-FAKE-MEDIA")) << qPrintable(name + what);
            EXPECT_TRUE(result.out.contains("Complete  " + work("in/")) ) << qPrintable(what);
        }
        EXPECT_EQ(result.err.contains(c.told.isEmpty() ? "leaving out" : c.told), !c.told.isEmpty()) << qPrintable(what);
        EXPECT_EQ(leftOnHosts(), QStringList()) << qPrintable(what);
        EXPECT_EQ(leftInTemporaryFolder(), QStringList()) << qPrintable(what);
    }
}

TEST_F(RemoteHostsTest, OutputsInTheInputFolderNeverReplaceAnInputNorEachOther)
{
    // Two inputs with one stem, and an input that has the output's name.
    QDir().mkpath(work("mixed"));
    for (const char *name : {"mixed/clip.avi", "mixed/clip.mov", "mixed/orig.mp4"})
        ASSERT_TRUE(WriteFakeMedia(work(QString::fromLatin1(name)), "00:00:03"));
    const QByteArray original = contentOf(work("mixed/orig.mp4"));
    QFile file(work("hosts"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("2/good\n");
    file.close();
    QProcessEnvironment env = withTemporaryFolder();
    env.insert("PATH", work("bin") + ":" + env.value("PATH"));
    env.insert("FAKE_SSH_ROOT", work("hosts.d"));
    QProcess process;
    start(process, {"--batch", "--hosts", "hosts", "-p", Mp4Profile, "-o", "mixed", "--overwrite", "mixed"}, env);
    ASSERT_TRUE(process.waitForFinished(60000));
    const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
    EXPECT_EQ(process.exitCode(), BatchCompleted) << qPrintable(out);
    EXPECT_EQ(out.count("Complete  "), 3) << qPrintable(out);
    EXPECT_EQ(contentOf(work("mixed/orig.mp4")), original);
    // Three outputs of their own beside the three inputs.
    EXPECT_EQ(QDir(work("mixed")).entryList({"*.mp4"}, QDir::Files).size(), 4)
        << qPrintable(QDir(work("mixed")).entryList().join(' '));
}

TEST_F(RemoteHostsTest, AnInterruptedOrKilledControllerLeavesNoEngineAndNoWorkFolder)
{
    for (const int signal : {SIGINT, SIGKILL}) {
        QFile::remove(folder.filePath("engine.pid"));
        folder.setScriptFor("a.avi", "pid engine.pid\nwait-for never\nexit 0\n");
        QFile file(work("hosts"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("1/:\n");
        file.close();
        QProcessEnvironment env = withTemporaryFolder();
        env.insert("VANTORIX_FARM_CACHE", work("here"));
        QProcess process;
        start(process, {"--batch", "--hosts", "hosts", "-p", Mp4Profile, "-o", "out", "in/a.avi"}, env);
        const RecordedProcess engine = waitForEngine("engine.pid", process);
        ASSERT_GT(engine.pid, 0) << signal;
        ::kill(static_cast<pid_t>(process.processId()), signal);
        ASSERT_TRUE(process.waitForFinished(30000));
        // (Killed outright, the controller leaves its own work folder, as a
        // local batch does, for its next run to remove.)
        if (signal == SIGINT) {
            EXPECT_EQ(process.exitCode(), BatchInterrupted);
            EXPECT_EQ(QDir(work("out")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
        }
        EXPECT_TRUE(waitFor([&] { return !ProcessAlive(engine.pid); })) << signal;
        EXPECT_TRUE(waitFor([&] { return QDir(work("here/runs")).isEmpty(); })) << signal;
    }
}

TEST_F(RemoteHostsTest, WithoutAHostThatWorksEveryTaskFailsAndNothingIsWritten)
{
    const Result result = runOn("dead1\ndead2\n");
    EXPECT_EQ(result.exitCode, BatchFailed);
    EXPECT_EQ(result.out.count("Failed  "), 3) << qPrintable(result.out);
    EXPECT_TRUE(result.out.contains("no host is left that can convert it")) << qPrintable(result.out);
    EXPECT_EQ(QDir(work("out")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
}

TEST_F(RemoteHostsTest, ABadHostsFileAndASshConfigWithoutHostsAreUsageErrors)
{
    EXPECT_EQ(runOn("0/w1\n").exitCode, BatchUsage);
    EXPECT_EQ(run({"--batch", "--ssh-config", "x", "-o", "out", "in"}).exitCode, BatchUsage);
    EXPECT_EQ(run({"--batch", "--hosts", "missing", "-o", "out", "in"}).exitCode, BatchUsage);
}

} // namespace

namespace {

// Stand-ins for Slurm's commands, sharing their state in $FAKE_SLURM: sbatch
// starts every element of --array=FIRST-LAST at once on this machine (after
// running $FAKE_SLURM/before when there is one, or refusing when
// $FAKE_SLURM/refuse exists); squeue lists the elements still running, or
// fails as an unreachable slurmctld does while $FAKE_SLURM/down exists;
// scancel writes Slurm's line into the element's output and ends it.
const char FakeSbatch[] = R"SH(#!/bin/sh
state="${FAKE_SLURM:?}"
printf '%s\n' "$*" >> "$state/sbatch.args"
if [ -e "$state/refuse" ]; then echo "sbatch: error: Batch job submission failed: Invalid partition name specified" >&2; exit 1; fi
[ -f "$state/before" ] && sh "$state/before"
array="" out="" script=""
for a; do
    case "$a" in
        --array=*) array="${a#--array=}" ;;
        --output=*) out="${a#--output=}" ;;
        -*) ;;
        *) script="$a" ;;
    esac
done
job=$(( $(cat "$state/next" 2>/dev/null || echo 100) + 1 ))
echo "$job" > "$state/next"
range="${array%%\%*}"
mkdir -p "$state/$job"
i="${range%-*}"
while [ "$i" -le "${range#*-}" ]; do
    log="$(printf '%s' "$out" | sed "s/%a/$i/g")"
    printf '%s\n' "$log" > "$state/$job/$i.out"
    ( export SLURM_ARRAY_TASK_ID="$i" SLURMD_NODENAME=node1; exec sh "$script" >> "$log" 2>&1 < /dev/null ) &
    echo $! > "$state/$job/$i"
    i=$((i + 1))
done
echo "$job"
)SH";

const char FakeSqueue[] = R"SH(#!/bin/sh
state="${FAKE_SLURM:?}"
if [ -e "$state/down" ]; then
    echo "slurm_load_jobs error: Unable to contact slurm controller (connect failure)" >&2
    exit 1
fi
for pidfile in "$state"/[0-9]*/[0-9]*; do
    case "$pidfile" in *.out) continue ;; esac
    [ -f "$pidfile" ] || continue
    case "$(ps -o stat= -p "$(cat "$pidfile")" 2>/dev/null)" in ""|Z*) continue ;; esac
    job="${pidfile%/*}"
    echo "${job##*/} ${pidfile##*/} RUNNING node1"
done
)SH";

const char FakeScancel[] = R"SH(#!/bin/sh
state="${FAKE_SLURM:?}"
printf '%s\n' "$*" >> "$state/scancel.args"
for id; do
    case "$id" in *_*) pidfiles="$state/${id%_*}/${id#*_}" ;; *) pidfiles="$(ls "$state/$id"/[0-9]* | grep -v '\.out$')" ;; esac
    for pidfile in $pidfiles; do
        [ -f "$pidfile" ] || continue
        echo "slurmstepd: error: *** JOB $id ON node1 CANCELLED AT 2026-01-01T00:00:00 ***" >> "$(cat "$pidfile.out")"
        kill -TERM "$(cat "$pidfile")" 2>/dev/null
    done
done
exit 0
)SH";

class SlurmBatchTest : public BatchTest
{
protected:
    void SetUp() override
    {
        BatchTest::SetUp();
        QDir().mkpath(work("bin"));
        QDir().mkpath(work("slurm"));
        for (const auto &[name, text] : {std::pair{"sbatch", FakeSbatch}, {"squeue", FakeSqueue}, {"scancel", FakeScancel}}) {
            QFile file(work("bin/") + QString::fromLatin1(name));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(text);
            file.close();
            file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
        }
        QDir().mkpath(work("in/sub"));
        for (const char *name : {"in/a.avi", "in/b.avi", "in/sub/c.avi"})
            ASSERT_TRUE(WriteFakeMedia(work(QString::fromLatin1(name)), "00:00:04"));
    }

    void startSlurm(QProcess &process, const QStringList &arguments)
    {
        QProcessEnvironment env = withTemporaryFolder();
        env.insert("PATH", work("bin") + ":" + env.value("PATH"));
        env.insert("FAKE_SLURM", work("slurm"));
        start(process, QStringList{"--batch", "--slurm", "-p", Mp4Profile} + arguments, env);
    }

    QString state(const QString &name) const { return contentOf(work("slurm/") + name); }
    bool stateFolderLeft(const QString &output = "out") const
    {
        return QFileInfo::exists(work(output + "/.vantorix-slurm"));
    }
    // The element that converts `input` (its task file names it).
    QString elementOf(const QString &input) const
    {
        QDirIterator it(work("out/.vantorix-slurm"), {"*.task"}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString task = it.next();
            if (contentOf(task).contains(input.toUtf8()))
                return state("next").trimmed() + "_" + QFileInfo(task).completeBaseName();
        }
        return QString();
    }
    void scancel(const QString &element) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("FAKE_SLURM", work("slurm"));
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(work("bin/scancel"), {element});
        process.waitForFinished(10000);
    }
};

TEST_F(SlurmBatchTest, TheTasksGoToOneArrayWithTheGivenOptionsAndEndCheckedAndCommittedWhereALocalBatchPutsThem)
{
    // Two inputs with one stem, and an input with the output's name in the output folder.
    QDir().mkpath(work("mixed"));
    for (const char *name : {"mixed/clip.avi", "mixed/clip.mov", "mixed/orig.mp4"})
        ASSERT_TRUE(WriteFakeMedia(work(QString::fromLatin1(name)), "00:00:03"));
    const QByteArray original = contentOf(work("mixed/orig.mp4"));
    struct Case
    {
        QStringList arguments;
        QString output;
        QStringList outputs;
        QString array; // in sbatch's arguments
    };
    const QList<Case> cases = {
        {{"-o", "out", "-r", "--tree", "-j", "2", "in", "--", "--partition=video", "--time=5"},
         "out", {"a.mp4", "b.mp4", "sub/c.mp4"}, "--array=0-2%2 "},
        {{"-o", "mixed", "--overwrite", "mixed"}, "mixed", {"clip.mp4", "clip_2.mp4"}, "--array=0-2 "},
    };
    for (const Case &c : cases) {
        QFile::remove(work("slurm/sbatch.args"));
        const int checks = folder.checkCount();
        QProcess process;
        startSlurm(process, c.arguments);
        const Result result = finish(process);
        // Each output was read back here before it got its name.
        EXPECT_GE(folder.checkCount() - checks, 3);
        const QString what = c.arguments.join(' ') + "\n" + result.out + result.err;
        EXPECT_EQ(result.exitCode, BatchCompleted) << qPrintable(what);
        EXPECT_EQ(result.out.count("Complete  "), 3) << qPrintable(what);
        for (const QString &name : c.outputs)
            EXPECT_TRUE(contentOf(work(c.output + "/" + name)).startsWith("VANTORIX-FAKE-MEDIA")) << qPrintable(name + what);
        EXPECT_FALSE(stateFolderLeft(c.output)) << qPrintable(what);
        const QString sbatch = state("sbatch.args");
        EXPECT_TRUE(sbatch.contains(c.array)) << qPrintable(sbatch);
        EXPECT_EQ(sbatch.count("--array="), 1) << qPrintable(sbatch);
        EXPECT_EQ(sbatch.contains("--partition=video --time=5 "), c.arguments.contains("--")) << qPrintable(sbatch);
        EXPECT_EQ(leftInTemporaryFolder(), QStringList()) << qPrintable(what);
    }
    EXPECT_EQ(contentOf(work("mixed/orig.mp4")), original);
    // Three outputs of their own beside the three inputs.
    EXPECT_EQ(QDir(work("mixed")).entryList({"*.mp4"}, QDir::Files).size(), 4)
        << qPrintable(QDir(work("mixed")).entryList().join(' '));
}

TEST_F(SlurmBatchTest, WhileSlurmGivesNoAnswerNothingIsRemovedAndTheFolderGoesOnceItAnswersAgain)
{
    QFile(work("slurm/down")).open(QIODevice::WriteOnly);
    QProcess process;
    startSlurm(process, {"-o", "out", "-r", "in"});
    // The results come through the shared files: the outputs are committed.
    ASSERT_TRUE(waitFor([&] { return QFileInfo::exists(work("out/c.mp4")) && QFileInfo::exists(work("out/b.mp4"))
                                     && QFileInfo::exists(work("out/a.mp4")); }, 60000));
    ASSERT_TRUE(waitFor([&] { return process.bytesAvailable() > 0 && process.peek(1 << 16).contains("Summary"); }, 30000));
    // Slurm has not said the array is over: its folder stays, the batch waits.
    EXPECT_TRUE(stateFolderLeft());
    EXPECT_EQ(process.state(), QProcess::Running);
    QFile::remove(work("slurm/down"));
    const Result result = finish(process);
    EXPECT_EQ(result.exitCode, BatchCompleted) << qPrintable(result.out + result.err);
    EXPECT_TRUE(result.err.contains("Slurm gives no answer (squeue: slurm_load_jobs error: Unable to contact slurm "
                                    "controller (connect failure)); waiting for it, nothing is removed."))
        << qPrintable(result.err);
    EXPECT_TRUE(result.err.contains("Slurm answers again.")) << qPrintable(result.err);
    EXPECT_FALSE(stateFolderLeft());
}

TEST_F(SlurmBatchTest, AnElementThatEndsWithoutItsResultOrReadsAnotherFileFailsItsTaskWithTheReason)
{
    struct Case
    {
        QString before; // run by sbatch before the elements start
        QString said;   // in the failed task's lines of the summary
    };
    const QList<Case> cases = {
        {QString(), "ended without a result: slurmstepd: error: *** JOB "},                   // cancelled
        {"echo changed >> '" + work("in/b.avi") + "'\n", "is not the controller's file"},  // another file
    };
    for (const Case &c : cases) {
        QDir(work("out")).removeRecursively();
        QDir().mkpath(work("out"));
        QFile::remove(folder.filePath("engine.pid"));
        if (c.before.isEmpty()) {
            folder.setScriptFor("b.avi", "pid engine.pid\nwait-for never\nexit 0\n");
            QFile::remove(work("slurm/before"));
        } else {
            folder.setScriptFor("b.avi", "exit 0\n");
            QFile before(work("slurm/before"));
            ASSERT_TRUE(before.open(QIODevice::WriteOnly));
            before.write(c.before.toUtf8());
        }
        QProcess process;
        startSlurm(process, {"-o", "out", "-r", "in"});
        RecordedProcess engine;
        if (c.before.isEmpty()) {
            engine = waitForEngine("engine.pid", process);
            ASSERT_GT(engine.pid, 0);
            scancel(elementOf(work("in/b.avi")));
        }
        const Result result = finish(process);
        const QString what = result.out + result.err;
        EXPECT_EQ(result.exitCode, BatchFailed) << qPrintable(what);
        EXPECT_EQ(result.out.count("Complete  "), 2) << qPrintable(what);
        const QString failed = result.out.section("Failed  " + work("in/b.avi"), 1).section("Complete", 0, 0);
        EXPECT_TRUE(failed.contains(c.said)) << qPrintable(what);
        EXPECT_FALSE(QFileInfo::exists(work("out/b.mp4"))) << qPrintable(what);
        EXPECT_FALSE(stateFolderLeft()) << qPrintable(what);
        if (engine.pid > 0) {
            EXPECT_TRUE(waitFor([&] { return !ProcessAlive(engine.pid); }));
        }
    }
}

TEST_F(SlurmBatchTest, AStoppedBatchCancelsItsElementsAndAKilledOnesFolderGoesWithTheNextRun)
{
    folder.setScriptFor("a.avi", "pid engine.pid\nwait-for never\nexit 0\n");
    for (const int signal : {SIGINT, SIGKILL}) {
        QFile::remove(folder.filePath("engine.pid"));
        QFile::remove(work("slurm/scancel.args"));
        QProcess process;
        startSlurm(process, {"-o", "out", "in/a.avi"});
        const RecordedProcess engine = waitForEngine("engine.pid", process);
        ASSERT_GT(engine.pid, 0) << signal;
        const QString element = elementOf(work("in/a.avi"));
        ::kill(static_cast<pid_t>(process.processId()), signal);
        ASSERT_TRUE(process.waitForFinished(60000));
        if (signal == SIGINT) {
            EXPECT_EQ(process.exitCode(), BatchInterrupted);
            EXPECT_EQ(state("scancel.args"), element + "\n");
            EXPECT_TRUE(waitFor([&] { return !ProcessAlive(engine.pid); }));
            EXPECT_FALSE(stateFolderLeft());
            continue;
        }
        // Killed outright: the element goes on; its folder waits for a later
        // run, which cancels the array once the controller is long gone.
        ASSERT_TRUE(stateFolderLeft());
        QDirIterator it(work("out/.vantorix-slurm"), {"alive", "owner"}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            ASSERT_TRUE(file.open(QIODevice::ReadWrite));
            file.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime);
        }
        folder.setScriptFor("a.avi", "exit 0\n");
        QProcess next;
        startSlurm(next, {"-o", "out", "in/b.avi"});
        const Result result = finish(next);
        EXPECT_EQ(result.exitCode, BatchCompleted) << qPrintable(result.out + result.err);
        EXPECT_TRUE(waitFor([&] { return state("scancel.args") == element.section('_', 0, 0) + "\n"; }))
            << qPrintable(state("scancel.args"));
        EXPECT_TRUE(waitFor([&] { return !ProcessAlive(engine.pid); }));
        EXPECT_FALSE(stateFolderLeft()) << qPrintable(result.out + result.err);
    }
}

TEST_F(SlurmBatchTest, ARefusedArrayFailsEveryTaskWithSbatchsWordsAndSlurmWithHostsIsBadUsage)
{
    QFile(work("slurm/refuse")).open(QIODevice::WriteOnly);
    QProcess process;
    startSlurm(process, {"-o", "out", "-r", "in", "--", "--partition=nowhere"});
    const Result result = finish(process);
    EXPECT_EQ(result.exitCode, BatchFailed);
    EXPECT_EQ(result.out.count("sbatch refused the job array: sbatch: error: Batch job submission failed: Invalid "
                               "partition name specified"), 6) << qPrintable(result.out); // its row and its summary line
    EXPECT_FALSE(stateFolderLeft());
    EXPECT_EQ(QDir(work("out")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    EXPECT_EQ(run({"--batch", "--slurm", "--hosts", "hosts", "-o", "out", "in"}).exitCode, BatchUsage);
    EXPECT_EQ(run({"--batch", "--slurm", "-o", "missing", "in"}).exitCode, BatchUsage);
}

} // namespace
