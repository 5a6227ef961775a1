// The batch mode starts at once: `vantorix --batch -r` over a tree of 1,000
// and of 100,000 files (20 a folder), measured from outside.
// - the time from the start of the process to the start of the first
//   conversion engine, less the time the batch's own listing of the tree
//   takes (ListFolder, measured in this process): how long after the listing
//   the first file converts (target <= 1 s);
// - the memory each task costs: the growth of the batch process's own
//   resident memory (RssAnon) once every file has its row, between the two
//   trees, per task (target <= 1 kB).
// The files are hard links to one short clip, read in-process; the engine is
// the fake one (tests/fakes), whose conversion waits, so that only one runs
// and the rows are what grows.
// Usage: startatonce_bench PROGRAM_FOLDER FAKE_ENGINE [ROUNDS]
#include "benchutil.h"
#include "conversion/tasklistops.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <cstdio>

namespace {

struct Observed
{
    double firstConversionMs = -1;
    qint64 settledAnonKb = -1; // RssAnon once it stopped growing
};

Observed runBatch(const QString &program, const QStringList &arguments)
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
    while (observed.firstConversionMs < 0 && !process.waitForFinished(2)) {
        if (conversionRuns(pid))
            observed.firstConversionMs = clock.nsecsElapsed() / 1e6;
    }
    // Every file read: the memory stays the same for two seconds.
    qint64 last = -1;
    QElapsedTimer still;
    still.start();
    while (process.state() == QProcess::Running && still.elapsed() < 2000 && clock.elapsed() < 600000) {
        process.waitForFinished(200);
        const qint64 now = statusKb(pid, "RssAnon");
        if (now != last) {
            last = now;
            still.restart();
        }
    }
    observed.settledAnonKb = last;
    ::kill(static_cast<pid_t>(pid), SIGKILL); // the waiting engine goes with it
    process.waitForFinished(-1);
    return observed;
}

bool makeTree(const QString &clip, const QString &root, int files)
{
    for (int i = 0; i < files; ++i) {
        const QString folder = QStringLiteral("%1/d%2").arg(root).arg(i / 20, 4, 10, QLatin1Char('0'));
        if (i % 20 == 0 && !QDir().mkpath(folder))
            return false;
        const QString path = QStringLiteral("%1/f%2.avi").arg(folder).arg(i, 6, 10, QLatin1Char('0'));
        // A file takes some 65,000 links at most: a copy of the clip for each 50,000.
        const QString seed = QStringLiteral("%1.%2").arg(clip).arg(i / 50000);
        if (i % 50000 == 0 && !QFile::exists(seed) && !QFile::copy(clip, seed))
            return false;
        if (!linkOrCopy(seed, path))
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: startatonce_bench PROGRAM_FOLDER FAKE_ENGINE [ROUNDS]\n");
        return 2;
    }
    const OtherLoad otherLoad;
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
    QTemporaryDir work;
    const QString programFolder = work.filePath(QStringLiteral("program"));
    if (!copyProgramFolder(QString::fromLocal8Bit(argv[1]), programFolder)) {
        std::fprintf(stderr, "could not copy the program folder\n");
        return 1;
    }
    const QString engine = QDir(programFolder).filePath(QStringLiteral("wmaspi.dll"));
    const QString clip = work.filePath(QStringLiteral("seed.avi"));
    if (!makeClip(engine, clip, 1, QStringLiteral("64x48"), false)) {
        std::fprintf(stderr, "could not make the clip\n");
        return 1;
    }
    // The fake engine from here on: a conversion waits ten minutes.
    QFile::remove(engine);
    if (!QFile::copy(QString::fromLocal8Bit(argv[2]), engine)
        || !QFile::setPermissions(engine, QFile::permissions(engine) | QFile::ExeOwner)) {
        std::fprintf(stderr, "could not place the fake engine\n");
        return 1;
    }
    QFile script(QDir(programFolder).filePath(QStringLiteral("fake-engine.txt")));
    if (!script.open(QIODevice::WriteOnly) || script.write("sleep 600000\n") <= 0)
        return 1;
    script.close();
    const QString program = QDir(programFolder).filePath(QStringLiteral("vantorix"));
    const QString out = work.filePath(QStringLiteral("out"));
    QDir().mkpath(out);

    std::vector<qint64> anon;
    std::vector<int> sizes = {1000, 100000};
    for (const int files : sizes) {
        const QString tree = work.filePath(QStringLiteral("tree%1").arg(files));
        if (!makeTree(clip, tree, files)) {
            std::fprintf(stderr, "could not make the tree of %d files\n", files);
            return 1;
        }
        std::vector<double> listing, first, anons;
        for (int round = 0; round < rounds; ++round) {
            QElapsedTimer clock;
            clock.start();
            const qsizetype listed = ListFolder(tree, true).size();
            listing.push_back(clock.nsecsElapsed() / 1e6);
            if (listed != files) {
                std::fprintf(stderr, "the listing found %lld files, not %d\n", static_cast<long long>(listed), files);
                return 1;
            }
            const Observed observed = runBatch(
                program, {"--batch", "-r", "--overwrite", "-p", QStringLiteral("AVI MPEG-4 MP3"), "-o", out, tree});
            if (observed.firstConversionMs < 0) {
                std::fprintf(stderr, "the batch of %d files started no conversion\n", files);
                return 1;
            }
            first.push_back(observed.firstConversionMs);
            anons.push_back(static_cast<double>(observed.settledAnonKb));
        }
        anon.push_back(static_cast<qint64>(median(anons)));
        std::printf("batch mode --batch -r over %d files: first conversion engine %.1f ms after the start, the "
                    "listing alone %.1f ms, so %.1f ms after the listing (median of %d, target <= 1000 ms); "
                    "own memory (RssAnon) with every row %.1f MB\n",
                    files, median(first), median(listing), median(first) - median(listing), rounds,
                    median(anons) / 1024.0);
    }
    std::printf("memory per task (RssAnon growth from %d to %d files): %.2f kB (target <= 1 kB)\n", sizes[0],
                sizes[1], static_cast<double>(anon[1] - anon[0]) / (sizes[1] - sizes[0]));
    otherLoad.print();
    return 0;
}
