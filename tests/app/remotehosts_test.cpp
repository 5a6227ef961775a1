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
        Result result;
        EXPECT_TRUE(process.waitForFinished(120000));
        result.exitCode = process.exitCode();
        result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
        result.err = QString::fromLocal8Bit(process.readAllStandardError());
        return result;
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
