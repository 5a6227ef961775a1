// Measures what the program adds to the engine's own work:
//  - batch overhead: a 20-second clip converted through RunConversion against
//    the same engine command run directly;
//  - probe cost: 50 files added through ProbeQueue (the probe the window runs
//    on added files) against 50 direct engine runs.
// Both sides run alternately in one process; medians of several rounds.
#include "benchutil.h"

#include "conversion/conversionrun.h"
#include "conversion/engineprocess.h"
#include "conversion/inprocessprobe.h"
#include "conversion/mediaprobe.h"
#include "conversion/probequeue.h"
#include "platform/interactive.h"
#include "platform/powercontrol.h"
#include "platform/shell.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

class NullView final : public ConversionView
{
public:
    explicit NullView(QString folder) : m_folder(std::move(folder)) {}
    void setConvertingFile(const QString &) override {}
    void setElapsedText(const QString &) override {}
    void setRemainingText(const QString &) override {}
    void setCurrentProgress(int, const QString &) override {}
    void setTotalProgress(int, const QString &) override {}
    void showProgressPanel(bool) override {}
    void setMemoText(const QString &) override {}
    void setTimerEnabled(bool) override {}
    void batchEnded(const QList<int> &) override {}
    QString outputFolder() const override { return m_folder; }
    QString outputExt() const override { return QStringLiteral(".mp4"); }
    BatchOptions batchOptions() const override { return {}; }
    void closeMainWindow() override {}
    void requestPowerOffConfirmation(std::function<void(bool)> answered) override { answered(false); }

private:
    QString m_folder;
};

class Silent final : public IInteractive, public IShell, public IPowerControl
{
public:
    void showMessage(MessageKind, const QString &, const QString &, std::function<void()> closed) override
    {
        if (closed)
            closed();
    }
    void ask(const QString &, const QString &, DefaultAnswer, std::function<void(bool)> answered) override
    {
        if (answered)
            answered(false);
    }
    bool openPath(const QString &) override { return true; }
    bool openAddress(const QString &) override { return true; }
    bool canPowerOff() override { return false; }
    void powerOff() override {}
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const OtherLoad otherLoad;
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    QTemporaryDir dir;
    const QString engine = QStringLiteral(VANTORIX_FFMPEG);
    const QString clip = dir.filePath(QStringLiteral("clip20.avi"));
    const QString outFolder = dir.filePath(QStringLiteral("out"));
    QDir().mkpath(outFolder);
    runDirect(engine, {"-y", "-f", "lavfi", "-i", "testsrc=size=640x360:rate=25", "-f", "lavfi", "-i",
                       "sine=frequency=440", "-t", "20", "-c:v", "mpeg4", "-c:a", "mp2", clip});
    if (!QFile::exists(clip)) {
        std::fprintf(stderr, "could not make the test clip\n");
        return 1;
    }

    // Batch overhead.
    const QString params = QStringLiteral(" -vcodec libx264 -preset faster -acodec aac");
    TaskListModel tasks;
    {
        FileProbe probe(engine, clip);
        QEventLoop loop;
        QObject::connect(&probe, &FileProbe::done, &loop, &QEventLoop::quit, Qt::QueuedConnection);
        probe.launch(MediaProbe::DefaultTimeoutMs);
        loop.exec();
        tasks.appendTask(TaskFromProbe(clip, probe.report(), QStringLiteral(".mp4")));
    }
    NullView view(outFolder);
    Silent silent;
    ConversionRun run(tasks, view, silent, silent, silent);
    run.setEnginePath(engine);
    const QStringList directArguments =
        ConversionCommand(clip, params, std::nullopt, std::nullopt, outFolder + QStringLiteral("/direct.mp4"))
            .arguments;

    std::vector<double> viaRun, direct;
    for (int i = 0; i < rounds; ++i) {
        if (i % 2 == 0)
            direct.push_back(runDirect(engine, directArguments));
        QEventLoop loop;
        QObject::connect(&run, &ConversionRun::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
        QElapsedTimer clock;
        clock.start();
        run.RunConversion(params);
        loop.exec();
        viaRun.push_back(clock.nsecsElapsed() / 1e6);
        QObject::disconnect(&run, &ConversionRun::finished, &loop, nullptr);
        if (i % 2 == 1)
            direct.push_back(runDirect(engine, directArguments));
    }
    if (qEnvironmentVariableIsSet("VANTORIX_BENCH_VERBOSE"))
        for (int i = 0; i < rounds; ++i)
            std::printf("  round %d: run %.1f ms, direct %.1f ms\n", i + 1, viaRun[i], direct[i]);
    const double runMedian = median(viaRun);
    const double directMedian = median(direct);
    std::printf("batch overhead: RunConversion %.1f ms, direct engine %.1f ms (median of %d), ratio %.3f (target <= 1.03)\n",
                runMedian, directMedian, rounds, runMedian / directMedian);

    // Probe cost.
    QStringList files;
    const QString small = dir.filePath(QStringLiteral("small.avi"));
    runDirect(engine, {"-y", "-f", "lavfi", "-i", "testsrc=size=160x120:rate=25", "-t", "1", "-c:v", "mpeg4", small});
    for (int i = 0; i < 50; ++i) {
        const QString copy = dir.filePath(QStringLiteral("file %1.avi").arg(i));
        QFile::copy(small, copy);
        files << copy;
    }
    std::vector<double> viaProbe, directProbe;
    for (int r = 0; r < rounds; ++r) {
        QElapsedTimer clock;
        clock.start();
        double plain = 0;
        if (r % 2 == 0)
            for (const QString &file : files)
                plain += runDirect(engine, {"-i", file});
        TaskListModel added;
        ProbeQueue queue(added);
        queue.setEnginePath(engine);
        QEventLoop loop;
        QObject::connect(&queue, &ProbeQueue::idle, &loop, &QEventLoop::quit, Qt::QueuedConnection);
        clock.restart();
        for (const QString &file : files)
            queue.enqueue(file, QStringLiteral(".mp4"));
        loop.exec();
        viaProbe.push_back(clock.nsecsElapsed() / 1e6);
        if (r % 2 == 1)
            for (const QString &file : files)
                plain += runDirect(engine, {"-i", file});
        directProbe.push_back(plain);
        if (added.rowCount() != files.size() || added.index(0, 1).data().toString().isEmpty())
            std::fprintf(stderr, "warning: the probe learnt nothing\n");
    }
    const double probeMedian = median(viaProbe);
    const double directProbeMedian = median(directProbe);
    std::printf("probe cost: 50 files through ProbeQueue %.1f ms, 50 direct engine runs %.1f ms (median of %d), ratio %.3f (target <= 1.10)\n",
                probeMedian, directProbeMedian, rounds, probeMedian / directProbeMedian);
    otherLoad.print();
    return 0;
}
