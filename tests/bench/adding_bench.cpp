// Adding a folder of 1,000 two-second clips to the main window (Add Directory,
// offscreen platform) until it is no longer adding, against 1,000 probes of the
// engine run directly one after another (measured once: they take minutes).
// Beside it, how long the event loop went without answering while the files
// were added: the worst lateness of a 10 ms timer.
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

constexpr int FileCount = 1000;
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
    if (!makeClip(engine, clip, 2, QStringLiteral("160x120"))) {
        std::fprintf(stderr, "could not make the test clip\n");
        return 1;
    }
    const QString clips = work.filePath(QStringLiteral("clips"));
    const QStringList files = copyClip(clip, clips, QStringLiteral("clip "), FileCount);
    if (files.size() != FileCount) {
        std::fprintf(stderr, "could not copy the test clip\n");
        return 1;
    }

    RecordedServices recorded;
    TMainForm window(recorded.services(program + QLatin1Char('/')));
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        std::fprintf(stderr, "the window was not shown\n");
        return 1;
    }

    // Once first, not counted: the engine's libraries come into the page cache.
    addFolder(window, clips);

    std::vector<double> viaWindow, lateness;
    std::vector<Added> details;
    for (int round = 0; round < rounds; ++round) {
        const Added added = addFolder(window, clips);
        if (added.rows != FileCount) {
            std::fprintf(stderr, "the window listed %d files of %d\n", added.rows, FileCount);
            return 1;
        }
        viaWindow.push_back(added.ms);
        lateness.push_back(added.worstLatenessMs);
        details.push_back(added);
        if (verbose)
            std::printf("  round %d: window %.1f ms (worst lateness %.1f ms, ending at %.0f ms, GUI thread ran %.1f ms "
                        "of it)\n",
                        round + 1, added.ms, added.worstLatenessMs, added.worstAtMs, added.worstCpuMs);
    }
    const double direct = probeDirectly(engine, files);
    const double windowMedian = median(viaWindow);
    std::printf("adding %d two-second files: Add Directory %.1f ms (median of %d), %d engine probes one after "
                "another %.1f ms, ratio %.4f (target <= 0.05)\n",
                FileCount, windowMedian, rounds, FileCount, direct, windowMedian / direct);
    std::printf("event loop while adding: worst lateness of a 10 ms timer %.1f ms (median of %d, highest %.1f), "
                "target <= 50 ms\n",
                median(lateness), rounds, *std::max_element(lateness.begin(), lateness.end()));
    if (!recorded.interactive.messages.isEmpty())
        std::fprintf(stderr, "note: the window reported: %s\n", qPrintable(recorded.interactive.messages.join(QLatin1String("; "))));
    otherLoad.print();
    return 0;
}
