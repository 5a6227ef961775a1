// The batch mode (vantorix --batch, a process of its own, no display) measured
// from outside:
// - three 20-second clips with the profile "MP4 H.264 AAC", from the start of
//   the process to its end, against the same engine commands (its
//   conversions, read from /proc while it ran; the batch reads its files
//   in-process) run directly one after another;
// - the peak resident memory of the batch process itself (VmHWM; the engines
//   are processes of their own);
// - with one file, the time from the start of the process to the start of the
//   conversion engine, against one probe of that file run directly.
// - with 1,000 two-second files, the time from the start of the process to the
//   start of the first conversion engine (the batch is stopped there).
// - the peak resident memory of one batch over many two-second files (1,000 by
//   default, VANTORIX_BENCH_MANY sets the number; 0 skips it): what the batch
//   keeps per task must not add up.
// Usage: batchmode_bench PROGRAM_FOLDER [ROUNDS]
#include "benchutil.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <map>
#include <set>

namespace {

constexpr int ClipCount = 3;
constexpr int ClipSeconds = 20;
const QString ClipSize = QStringLiteral("640x360");
const QString ProfileName = QStringLiteral("MP4 H.264 AAC");

qint64 peakKb(qint64 pid)
{
    return statusKb(pid, "VmHWM");
}

struct Observed
{
    double ms = -1;             // start to end of the process; negative when it failed
    double firstConversionMs = -1; // start to the first conversion engine seen
    qint64 peakKb = 0;
    qint64 peakAnonKb = 0; // the highest RssAnon seen
    std::vector<QStringList> commands; // engine commands in the order they started
};

// Runs the batch and watches its children every `pollMs` milliseconds (the
// watching takes CPU time from the engine on two cores: only the start-up
// figure needs it often).
Observed runBatch(const QString &program, const QString &engine, const QStringList &arguments, int pollMs,
                  bool stopAtFirstConversion = false)
{
    Observed observed;
    QProcess process;
    prepareHeadlessBatch(process);
    QElapsedTimer clock;
    clock.start();
    process.start(program, arguments);
    if (!process.waitForStarted(10000))
        return observed;
    const qint64 pid = process.processId();
    std::set<qint64> seen;
    while (!process.waitForFinished(pollMs)) {
        observed.peakKb = std::max(observed.peakKb, peakKb(pid));
        observed.peakAnonKb = std::max(observed.peakAnonKb, statusKb(pid, "RssAnon"));
        for (const qint64 child : childProcesses(pid)) {
            if (seen.count(child))
                continue;
            const QStringList command = commandLine(child);
            // Until its exec the child still shows the batch's command line.
            if (command.isEmpty() || command.first() != engine)
                continue;
            seen.insert(child);
            observed.commands.push_back(command);
            if (observed.firstConversionMs < 0 && isConversion(command))
                observed.firstConversionMs = clock.nsecsElapsed() / 1e6;
        }
        if (stopAtFirstConversion && observed.firstConversionMs >= 0) {
            process.kill(); // its engine goes with it
            process.waitForFinished(-1);
            return observed;
        }
    }
    if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        observed.ms = clock.nsecsElapsed() / 1e6;
    return observed;
}

void emptyFolder(const QString &folder)
{
    QDir dir(folder);
    for (const QString &name : dir.entryList(QDir::Files))
        dir.remove(name);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: batchmode_bench PROGRAM_FOLDER [ROUNDS]\n");
        return 2;
    }
    const OtherLoad otherLoad;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const bool verbose = qEnvironmentVariableIsSet("VANTORIX_BENCH_VERBOSE");

    QTemporaryDir work;
    const QString programFolder = work.filePath(QStringLiteral("program"));
    if (!copyProgramFolder(QString::fromLocal8Bit(argv[1]), programFolder)) {
        std::fprintf(stderr, "could not copy the program folder\n");
        return 1;
    }
    const QString program = QDir(programFolder).filePath(QStringLiteral("vantorix"));
    const QString engine = QDir(programFolder).filePath(QStringLiteral("wmaspi.dll"));
    const QString outFolder = work.filePath(QStringLiteral("out"));
    QDir().mkpath(outFolder);
    const QStringList clips =
        makeClips(engine, work.filePath(QStringLiteral("clips")), ClipCount, ClipSeconds, ClipSize);
    if (clips.isEmpty()) {
        std::fprintf(stderr, "could not make the test clips\n");
        return 1;
    }
    const QStringList options = {"--batch", "--overwrite", "-p", ProfileName, "-o", outFolder};

    // Three clips: the first batch shows the engine commands.
    emptyFolder(outFolder);
    Observed first = runBatch(program, engine, options + clips, 20);
    std::erase_if(first.commands, isOutputCheck);
    if (first.ms < 0 || first.commands.size() != ClipCount) {
        std::fprintf(stderr, "the batch failed or started %zu engines, not %d\n", first.commands.size(), ClipCount);
        return 1;
    }
    if (verbose)
        for (const QStringList &command : first.commands)
            std::printf("  engine: %s\n", qPrintable(command.join(QLatin1Char(' '))));
    std::vector<double> batch, direct, peaks, anonPeaks, pairRatios;
    const auto runDirectly = [&] {
        emptyFolder(outFolder);
        double total = 0;
        for (const QStringList &command : first.commands) {
            const QStringList direct = directCommand(command, outFolder);
            total += runDirect(direct.first(), direct.mid(1));
        }
        return total;
    };
    for (int round = 0; round < rounds; ++round) {
        // Which goes first alternates, so that neither always meets a warmer machine.
        double total = round % 2 == 0 ? runDirectly() : 0;
        emptyFolder(outFolder);
        const Observed observed = runBatch(program, engine, options + clips, 50);
        if (observed.ms < 0) {
            std::fprintf(stderr, "a batch failed\n");
            return 1;
        }
        if (round % 2 == 1)
            total = runDirectly();
        direct.push_back(total);
        batch.push_back(observed.ms);
        peaks.push_back(observed.peakKb / 1024.0);
        anonPeaks.push_back(observed.peakAnonKb / 1024.0);
        pairRatios.push_back(observed.ms / total);
        if (verbose)
            std::printf("  round %d: batch %.1f ms (peak %.1f MB), direct %.1f ms\n", round + 1, observed.ms,
                        peaks.back(), total);
    }
    std::printf("batch mode, 3 x 20 s clips (%s): %.1f ms, direct engine conversions "
                "%.1f ms (median of %d), ratio %.3f (target <= 1.03); paired median %.3f\n",
                qPrintable(ProfileName), median(batch), median(direct), rounds, median(batch) / median(direct),
                median(pairRatios));
    std::printf("batch mode peak resident memory (VmHWM, the engines not counted): %.1f MB (target <= 25 MB), "
                "of its own (RssAnon, the shared libraries' pages not counted) %.1f MB\n",
                median(peaks), median(anonPeaks));

    // One file: start of the process to the start of the conversion engine,
    // against a probe of the file run directly.
    std::vector<double> toEngine, probe;
    for (int round = 0; round < rounds; ++round) {
        probe.push_back(runDirect(engine, {"-i", clips.first()}));
        emptyFolder(outFolder);
        const Observed observed = runBatch(program, engine, options + QStringList{clips.first()}, 1);
        if (observed.ms < 0 || observed.firstConversionMs < 0) {
            std::fprintf(stderr, "the one-file batch failed\n");
            return 1;
        }
        toEngine.push_back(observed.firstConversionMs);
    }
    std::printf("batch mode start to the first engine start, one file: %.1f ms, a direct probe %.1f ms, "
                "over the probe %.1f ms (target <= 150 ms)\n",
                median(toEngine), median(probe), median(toEngine) - median(probe));

    const int many = qEnvironmentVariableIsSet("VANTORIX_BENCH_MANY")
                         ? qEnvironmentVariableIntValue("VANTORIX_BENCH_MANY")
                         : 1000;
    if (many > 0) {
        // One short clip, copied: the probes and conversions are alike, only
        // their number grows.
        const QString manyFolder = work.filePath(QStringLiteral("many"));
        const QStringList seed = makeClips(engine, work.filePath(QStringLiteral("seed")), 1, 2,
                                           QStringLiteral("160x120"));
        QDir().mkpath(manyFolder);
        bool copied = !seed.isEmpty();
        for (int i = 0; copied && i < many; ++i)
            copied = QFile::copy(seed.first(), QDir(manyFolder).filePath(QStringLiteral("clip%1.avi").arg(i, 4, 10,
                                                                                                          QLatin1Char('0'))));
        if (!copied) {
            std::fprintf(stderr, "could not make the %d clips\n", many);
            return 1;
        }
        emptyFolder(outFolder);
        const QStringList manyOptions = {"--batch", "--overwrite", "-p", QStringLiteral("AVI MPEG-4 MP3"), "-o",
                                         outFolder, manyFolder};
        std::vector<double> toFirst;
        for (int round = 0; round < rounds; ++round) {
            const Observed started = runBatch(program, engine, manyOptions, 5, true);
            if (started.firstConversionMs < 0) {
                std::fprintf(stderr, "the batch of %d files started no conversion\n", many);
                return 1;
            }
            toFirst.push_back(started.firstConversionMs);
            emptyFolder(outFolder);
        }
        std::printf("batch mode over %d two-second files, start to the first conversion engine: %.1f ms "
                    "(median of %d, target <= 3000 ms)\n",
                    many, median(toFirst), rounds);
        const Observed observed = runBatch(program, engine, manyOptions, 200);
        if (observed.ms < 0) {
            std::fprintf(stderr, "the batch of %d files failed\n", many);
            return 1;
        }
        std::printf("batch mode over %d two-second files: %.1f s, peak resident memory (VmHWM) %.1f MB "
                    "(target < 25 MB), of its own (RssAnon) %.1f MB\n",
                    many, observed.ms / 1000, observed.peakKb / 1024.0, observed.peakAnonKb / 1024.0);
        emptyFolder(outFolder);
    }
    otherLoad.print();
    return 0;
}
