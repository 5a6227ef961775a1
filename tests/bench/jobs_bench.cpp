// Several conversions at once in the batch mode (vantorix --batch, a process
// of its own, no display): four 8-second 960x540 clips with the profile
// "AVI MPEG-4 MP3", wall time from the start of the process to its end with
// -j 2 against -j 1, rounds alternating so that both see the same machine.
// Usage: jobs_bench PROGRAM_FOLDER [ROUNDS]
#include "benchutil.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr int ClipCount = 4;
constexpr int ClipSeconds = 8;
const QString ClipSize = QStringLiteral("960x540");
const QString ProfileName = QStringLiteral("AVI MPEG-4 MP3");

// Milliseconds from the start of the batch to its end; negative when it failed.
double runBatch(const QString &program, const QString &output, const QStringList &clips, int jobs)
{
    QProcess process;
    prepareHeadlessBatch(process);
    QElapsedTimer clock;
    clock.start();
    process.start(program, QStringList{"--batch", "-p", ProfileName, "-o", output, "--overwrite", "-j",
                                       QString::number(jobs)}
                               + clips);
    if (!process.waitForFinished(600000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return -1;
    return clock.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: jobs_bench PROGRAM_FOLDER [ROUNDS]\n");
        return 2;
    }
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const bool verbose = qEnvironmentVariableIntValue("VANTORIX_BENCH_VERBOSE") != 0;
    QTemporaryDir work;
    const QString programFolder = work.filePath(QStringLiteral("program"));
    if (!work.isValid() || !copyProgramFolder(QString::fromLocal8Bit(argv[1]), programFolder)) {
        std::fprintf(stderr, "could not copy the program folder\n");
        return 1;
    }
    const QString program = programFolder + QStringLiteral("/vantorix");
    const QString engine = programFolder + QStringLiteral("/wmaspi.dll");
    const QStringList clips = makeClips(engine, work.filePath(QStringLiteral("clips")), ClipCount, ClipSeconds, ClipSize);
    if (clips.isEmpty()) {
        std::fprintf(stderr, "could not make the test clips\n");
        return 1;
    }
    const QString output = work.filePath(QStringLiteral("out"));
    QDir().mkpath(output);

    const OtherLoad load;
    std::vector<double> one, two, ratios;
    for (int round = 0; round < rounds; ++round) {
        const double single = runBatch(program, output, clips, 1);
        const double paired = runBatch(program, output, clips, 2);
        if (single < 0 || paired < 0) {
            std::fprintf(stderr, "a batch failed\n");
            return 1;
        }
        one.push_back(single);
        two.push_back(paired);
        ratios.push_back(paired / single);
        if (verbose)
            std::printf("  round %d: -j 1 %.1f ms, -j 2 %.1f ms\n", round + 1, single, paired);
    }
    std::printf("batch mode, %d x %d s %s clips (%s): -j 1 %.1f ms, -j 2 %.1f ms (median of %d), "
                "ratio -j 2 / -j 1 %.3f (target <= 0.70 on two cores); paired median %.3f\n",
                ClipCount, ClipSeconds, qPrintable(ClipSize), qPrintable(ProfileName), median(one), median(two),
                rounds, median(two) / median(one), median(ratios));
    load.print();
    return 0;
}
