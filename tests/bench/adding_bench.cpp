// Adding a folder of 100 small clips to the main window (Add Directory, real
// engine, offscreen platform) until it is no longer adding, against 100 probes
// of the engine run directly one after another. Beside it, how long the event
// loop went without answering while the files were added: the worst lateness
// of a 10 ms timer.
// Usage: adding_bench [ROUNDS]
#include "benchutil.h"

#include "app/mainform.h"
#include "conversion/taskrecord.h"
#include "fakes/recordedservices.h"

#include <QApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <ctime>

namespace {

constexpr int FileCount = 100;
constexpr int TickMs = 10;

// CPU time of the calling thread, in milliseconds.
double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

// The longest gap between two ticks of a 10 ms timer, less the 10 ms; with it,
// when it ended and how much of it the GUI thread spent running (the rest it
// waited, or was kept off the cores).
class LatenessProbe final
{
public:
    LatenessProbe()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(TickMs);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
    }
    void start()
    {
        m_worst = 0;
        m_since.start();
        m_clock.start();
        m_cpu = threadCpuMs();
        m_timer.start();
    }
    void stop()
    {
        m_timer.stop();
        tick(); // the gap still open counts too
    }
    double worstMs() const { return m_worst; }
    double worstAtMs() const { return m_worstAt; }
    double worstCpuMs() const { return m_worstCpu; }

private:
    void tick()
    {
        const double gap = m_clock.nsecsElapsed() / 1e6 - TickMs;
        const double cpu = threadCpuMs();
        if (gap > m_worst) {
            m_worst = gap;
            m_worstAt = m_since.nsecsElapsed() / 1e6;
            m_worstCpu = cpu - m_cpu;
        }
        m_cpu = cpu;
        m_clock.restart();
    }

    QTimer m_timer;
    QElapsedTimer m_since;
    QElapsedTimer m_clock;
    double m_cpu = 0;
    double m_worst = 0;
    double m_worstAt = 0;
    double m_worstCpu = 0;
};

struct Added
{
    double ms = 0;
    double worstLatenessMs = 0;
    double worstAtMs = 0;  // since the timer started
    double worstCpuMs = 0; // the GUI thread's CPU time in that gap
    int rows = 0;
};

Added addFolder(TMainForm &window, const QString &folder)
{
    window.tbtnClearClick();
    LatenessProbe lateness;
    QEventLoop loop;
    QElapsedTimer clock;
    const QMetaObject::Connection done =
        QObject::connect(&window, &TMainForm::addingFinished, &loop, &QEventLoop::quit);
    lateness.start();
    // Called from the event loop, as the Add Directory button's handler is.
    QTimer::singleShot(0, &window, [&] {
        clock.start();
        window.AddTaskFolder(folder);
        if (!window.isAdding())
            loop.quit();
    });
    loop.exec();
    Added result;
    result.ms = clock.nsecsElapsed() / 1e6;
    lateness.stop();
    result.worstLatenessMs = lateness.worstMs();
    result.worstAtMs = lateness.worstAtMs();
    result.worstCpuMs = lateness.worstCpuMs();
    result.rows = window.tasks().rowCount();
    QObject::disconnect(done);
    return result;
}

double probeDirectly(const QString &engine, const QStringList &files)
{
    double total = 0;
    for (const QString &file : files)
        total += runDirect(engine, {QStringLiteral("-i"), file});
    return total;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
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
    const QString clip = work.filePath(QStringLiteral("small.avi"));
    if (!makeClip(engine, clip, 1, QStringLiteral("160x120"))) {
        std::fprintf(stderr, "could not make the test clip\n");
        return 1;
    }
    const QString clips = work.filePath(QStringLiteral("clips"));
    const QStringList files = copyClip(clip, clips, QStringLiteral("clip "), FileCount);

    RecordedServices recorded;
    TMainForm window(recorded.services(program + QLatin1Char('/')));
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        std::fprintf(stderr, "the window was not shown\n");
        return 1;
    }

    // Once first, not counted: the engine's libraries come into the page cache.
    addFolder(window, clips);

    std::vector<double> viaWindow, direct, lateness;
    std::vector<Added> details;
    for (int round = 0; round < rounds; ++round) {
        if (round % 2 == 0)
            direct.push_back(probeDirectly(engine, files));
        const Added added = addFolder(window, clips);
        if (added.rows != FileCount) {
            std::fprintf(stderr, "the window listed %d files of %d\n", added.rows, FileCount);
            return 1;
        }
        viaWindow.push_back(added.ms);
        lateness.push_back(added.worstLatenessMs);
        details.push_back(added);
        if (round % 2 == 1)
            direct.push_back(probeDirectly(engine, files));
    }
    if (verbose)
        for (int round = 0; round < rounds; ++round)
            std::printf("  round %d: window %.1f ms (worst lateness %.1f ms, ending at %.0f ms, GUI thread ran %.1f ms "
                        "of it), direct %.1f ms\n",
                        round + 1, viaWindow[round], lateness[round], details[size_t(round)].worstAtMs,
                        details[size_t(round)].worstCpuMs, direct[round]);
    const double windowMedian = median(viaWindow);
    const double directMedian = median(direct);
    std::printf("adding 100 files: Add Directory %.1f ms, 100 direct probes %.1f ms (median of %d), "
                "ratio %.3f (target <= 0.70)\n",
                windowMedian, directMedian, rounds, windowMedian / directMedian);
    std::printf("event loop while adding: worst lateness of a 10 ms timer %.1f ms (median of %d, highest %.1f), "
                "target <= 100 ms\n",
                median(lateness), rounds, *std::max_element(lateness.begin(), lateness.end()));
    if (!recorded.interactive.messages.isEmpty())
        std::fprintf(stderr, "note: the window reported: %s\n", qPrintable(recorded.interactive.messages.join(QLatin1String("; "))));
    otherLoad.print();
    return 0;
}
