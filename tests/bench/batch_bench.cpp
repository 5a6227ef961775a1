// A batch of three 20-second clips converted through the main window (xcb
// platform, on the X display in DISPLAY) with the profile "MP4 H.264 AAC",
// from the press of Start to the end of the batch, against the same engine
// commands run directly one after another. The direct commands are the ones the
// window started, read from /proc while its first batch ran.
// Usage: batch_bench [ROUNDS]
#include "benchutil.h"

#include "app/mainform.h"
#include "conversion/taskrecord.h"
#include "conversion/conversionrun.h"
#include "fakes/recordedservices.h"

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <map>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr int ClipCount = 3;
constexpr int ClipSeconds = 20;
const QString ClipSize = QStringLiteral("640x360");
const QString ProfileName = QStringLiteral("MP4 H.264 AAC");

// The command lines of this process's children that run `engine`, by process id.
class EngineCommands final
{
public:
    explicit EngineCommands(QString engine) : m_engine(std::move(engine))
    {
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { look(); });
    }
    void start() { m_timer.start(); }
    void stop() { m_timer.stop(); }
    // In the order the engines started.
    std::vector<QStringList> commands() const
    {
        std::vector<QStringList> result;
        for (const auto &[pid, command] : m_seen)
            result.push_back(command);
        return result;
    }

private:
    void look()
    {
        const QString self = QString::number(getpid());
        const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        for (const QString &pid : pids) {
            bool number = false;
            const qint64 id = pid.toLongLong(&number);
            if (!number || m_seen.count(id))
                continue;
            QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
            if (!stat.open(QIODevice::ReadOnly))
                continue;
            const QByteArray text = stat.readAll();
            // pid (comm) state ppid ...: the name may hold blanks, the last ')' ends it.
            const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
            if (fields.size() < 2 || fields[1] != self.toLatin1())
                continue;
            QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
            if (!cmdline.open(QIODevice::ReadOnly))
                continue;
            QStringList command;
            const QList<QByteArray> parts = cmdline.readAll().split('\0');
            for (qsizetype i = 0; i + 1 < parts.size(); ++i)
                command << QString::fromLocal8Bit(parts[i]);
            // Until its exec the child still shows this program's command line.
            if (!command.isEmpty() && command.first() == m_engine)
                m_seen[id] = command;
        }
    }

    QString m_engine;
    QTimer m_timer;
    std::map<qint64, QStringList> m_seen;
};

// CPU time this process (the window, not its engines) has used, in milliseconds.
double ownCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval &t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

struct Batch
{
    double ms = -1; // negative when the batch did not convert every file
    double cpuMs = 0;
};

void emptyFolder(const QString &folder)
{
    QDir dir(folder);
    for (const QString &name : dir.entryList(QDir::Files))
        dir.remove(name);
}

// Presses Start (from the event loop, as a click does) and waits for the batch
// to end.
Batch runBatch(TMainForm &window, const QString &outFolder, const RecordingInteractive &interactive,
                EngineCommands *commands)
{
    emptyFolder(outFolder);
    const qsizetype messages = interactive.messages.size();
    QEventLoop loop;
    QElapsedTimer clock;
    double cpuAtStart = 0;
    const QMetaObject::Connection done =
        QObject::connect(&window.run(), &ConversionRun::finished, &loop, &QEventLoop::quit);
    if (commands)
        commands->start();
    QTimer::singleShot(0, &window, [&] {
        cpuAtStart = ownCpuMs();
        clock.start();
        window.imgStartClick();
        if (window.RunState() == ConversionRun::Idle)
            loop.quit();
    });
    loop.exec();
    Batch batch;
    const double ms = clock.nsecsElapsed() / 1e6;
    batch.cpuMs = ownCpuMs() - cpuAtStart;
    if (commands)
        commands->stop();
    QObject::disconnect(done);
    const QStringList said = interactive.messages.mid(messages);
    if (said != QStringList{QStringLiteral("information|Complete|The coversion is completed successfully.")}) {
        std::fprintf(stderr, "the batch ended with: %s\n", qPrintable(said.join(QLatin1String("; "))));
        return batch;
    }
    if (QDir(outFolder).entryList(QDir::Files).size() != ClipCount) {
        std::fprintf(stderr, "the batch did not write %d files\n", ClipCount);
        return batch;
    }
    batch.ms = ms;
    return batch;
}

double runDirectly(const std::vector<QStringList> &commands, const QString &outFolder)
{
    emptyFolder(outFolder);
    double total = 0;
    for (const QStringList &command : commands) {
        const QStringList direct = directCommand(command, outFolder);
        total += runDirect(direct.first(), direct.mid(1));
    }
    return total;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    const OtherLoad otherLoad;
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const bool verbose = qEnvironmentVariableIsSet("VANTORIX_BENCH_VERBOSE");

    QTemporaryDir work;
    const QString program = work.filePath(QStringLiteral("program"));
    if (!copyProgramFolder(QStringLiteral(VANTORIX_PROGRAM_FOLDER), program, false)) {
        std::fprintf(stderr, "could not copy the program folder\n");
        return 1;
    }
    const QString engine = QDir(program).filePath(QStringLiteral("wmaspi.dll"));
    const QString outFolder = work.filePath(QStringLiteral("out"));
    QDir().mkpath(outFolder);
    const QStringList clips =
        makeClips(engine, work.filePath(QStringLiteral("clips")), ClipCount, ClipSeconds, ClipSize);
    if (clips.isEmpty()) {
        std::fprintf(stderr, "could not make the test clips\n");
        return 1;
    }

    RecordedServices recorded;
    TMainForm window(recorded.services(program + QLatin1Char('/')));
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        std::fprintf(stderr, "the window was not shown (is DISPLAY an X server?)\n");
        return 1;
    }
    auto *profiles = window.findChild<QComboBox *>(QStringLiteral("cmbProfile"));
    auto *output = window.findChild<QLineEdit *>(QStringLiteral("edtOutputdir"));
    if (!profiles || !output || profiles->findText(ProfileName) < 0) {
        std::fprintf(stderr, "no profile \"%s\" to choose\n", qPrintable(ProfileName));
        return 1;
    }
    profiles->setCurrentIndex(profiles->findText(ProfileName));
    output->setText(outFolder + QLatin1Char('/'));
    for (const QString &clip : clips)
        window.AddTaskFile(clip);
    if (!QTest::qWaitFor([&] { return !window.isAdding(); }, 30000) || window.tasks().rowCount() != ClipCount) {
        std::fprintf(stderr, "the window listed %d clips of %d\n", window.tasks().rowCount(), ClipCount);
        return 1;
    }

    // The first batch is not counted: it shows the commands the window starts.
    EngineCommands seen(engine);
    if (runBatch(window, outFolder, recorded.interactive, &seen).ms < 0)
        return 1;
    std::vector<QStringList> commands = seen.commands();
    std::erase_if(commands, isOutputCheck);
    if (commands.size() != ClipCount) {
        std::fprintf(stderr, "saw %zu engine commands, not %d\n", commands.size(), ClipCount);
        return 1;
    }
    if (verbose)
        for (const QStringList &command : commands)
            std::printf("  engine: %s\n", qPrintable(command.join(QLatin1Char(' '))));

    std::vector<double> viaWindow, direct, windowCpu, pairRatios;
    for (int round = 0; round < rounds; ++round) {
        if (round % 2 == 0)
            direct.push_back(runDirectly(commands, outFolder));
        const Batch batch = runBatch(window, outFolder, recorded.interactive, nullptr);
        if (batch.ms < 0)
            return 1;
        viaWindow.push_back(batch.ms);
        windowCpu.push_back(batch.cpuMs);
        if (round % 2 == 1)
            direct.push_back(runDirectly(commands, outFolder));
        pairRatios.push_back(viaWindow.back() / direct.back());
    }
    if (verbose)
        for (int round = 0; round < rounds; ++round)
            std::printf("  round %d: window %.1f ms (its own CPU %.1f ms), direct %.1f ms\n", round + 1,
                        viaWindow[round], windowCpu[round], direct[round]);
    const double windowMedian = median(viaWindow);
    const double directMedian = median(direct);
    std::printf("batch of 3 x 20 s clips (%s): window %.1f ms, direct engine %.1f ms (median of %d), "
                "ratio %.3f (target <= 1.03)\n",
                qPrintable(ProfileName), windowMedian, directMedian, rounds, windowMedian / directMedian);
    std::printf("  same rounds paired: median ratio %.3f; the window's own CPU during a batch %.1f ms (median)\n",
                median(pairRatios), median(windowCpu));
    otherLoad.print();
    return 0;
}
