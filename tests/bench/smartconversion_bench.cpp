// Conversions that do only what is needed, measured:
// - a remux against a conversion of the same H.264/AAC MP4 with the profile
//   "MP4 H.264 AAC" ("Streams already in the target format" Copy against
//   Convert), each a run of the batch mode, from the start of its process to
//   its end;
// - the quality search ("Quality: SSIM") on six clips the benchmark makes (a
//   still picture, noise, motion, flat colours, a dark scene, a test pattern)
//   at two targets: the SSIM of the whole output against its source less the
//   target, the probes the search took, and the search's time as a share of
//   the conversion's.
// Usage: smartconversion_bench PROGRAM_FOLDER [ROUNDS]
#include "benchutil.h"

#include "conversion/qualitysearch.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>

namespace {

const QString ProfileName = QStringLiteral("MP4 H.264 AAC");
// What the profile gives the engine, as the program builds it.
const QString ProfileParams =
    QStringLiteral(" -vcodec libx264 -b:a 128k -acodec aac -preset medium -pix_fmt yuv420p -movflags +faststart");
constexpr int ClipSeconds = 60;

double runBatch(const QString &program, const QString &home, const QStringList &arguments)
{
    QElapsedTimer clock;
    clock.start();
    QProcess process;
    prepareHeadlessBatch(process);
    QProcessEnvironment env = process.processEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    process.setProcessEnvironment(env);
    process.start(QDir(program).filePath(QStringLiteral("vantorix")), QStringList{"--batch"} + arguments);
    process.waitForFinished(-1);
    return process.exitCode() == 0 ? clock.nsecsElapsed() / 1e6 : -1;
}

std::optional<double> wholeSsim(const QString &engine, const QString &output, const QString &source)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(engine, SsimArguments(output, source));
    process.waitForFinished(-1);
    return SsimFromReport(QString::fromUtf8(process.readAll()));
}

void remuxAgainstConversion(const QString &program, const QString &engine, const QString &work, int rounds)
{
    const QString clip = QDir(work).filePath(QStringLiteral("h264 aac.mp4"));
    runDirect(engine, {"-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                       "testsrc2=size=1280x720:rate=25", "-f", "lavfi", "-i", "sine=frequency=440", "-t",
                       QString::number(ClipSeconds), "-c:v", "libx264", "-preset", "veryfast", "-pix_fmt", "yuv420p",
                       "-c:a", "aac", "-b:a", "96k", clip});
    if (!QFileInfo(clip).isFile()) {
        std::printf("remux: the clip could not be made\n");
        return;
    }
    const QString out = QDir(work).filePath(QStringLiteral("remux out"));
    QDir().mkpath(out);
    const QStringList common = {"-p", ProfileName, "-o", out, "--overwrite", clip};
    std::vector<double> remux, conversion;
    OtherLoad load;
    for (int i = 0; i < rounds; ++i) {
        remux.push_back(runBatch(program, work, QStringList{"--copy-fitting"} + common));
        if (i < std::max(1, rounds / 3)) // a conversion takes long: fewer rounds
            conversion.push_back(runBatch(program, work, common));
    }
    const double r = median(remux);
    const double c = median(conversion);
    std::printf("Remux against conversion (%d s 1280x720 H.264/AAC MP4, \"%s\", batch mode):\n", ClipSeconds,
                qPrintable(ProfileName));
    std::printf("  copy %.0f ms, convert %.0f ms: %.0fx faster (goal >= 50x)\n", r, c, r > 0 ? c / r : 0.0);
    load.print();
}

struct Clip
{
    const char *name;
    const char *source; // a lavfi graph
};

void qualitySearch(const QString &engine, const QString &work)
{
    const Clip clips[] = {
        {"still picture", "mandelbrot=size=640x360:rate=25,loop=loop=-1:size=1:start=0"},
        {"noise", "color=c=gray:size=640x360:rate=25,noise=alls=30:allf=t+u"},
        {"motion", "mandelbrot=size=640x360:rate=25:end_scale=0.001"},
        {"flat colours", "life=size=160x90:rate=25:mold=10:ratio=0.2:death_color=#203080:life_color=#f0c020,"
                         "scale=640x360:flags=neighbor"},
        {"dark scene", "testsrc2=size=640x360:rate=25,eq=brightness=-0.3:contrast=0.4"},
        {"test pattern", "testsrc=size=640x360:rate=25"},
    };
    const double targets[] = {0.98, 0.99};
    std::printf("Quality search (\"Quality: SSIM\", \"%s\", %d s 640x360 clips, whole-file SSIM):\n",
                qPrintable(ProfileName), ClipSeconds);
    std::printf("  %-14s %6s %6s %9s %8s %8s %6s %8s\n", "clip", "target", "CRF", "predicted", "whole",
                "error", "probes", "search");
    int withinGoal = 0, runs = 0;
    std::vector<double> shares;
    OtherLoad load;
    for (const Clip &clip : clips) {
        const QString source = QDir(work).filePath(QString::fromLatin1(clip.name) + QStringLiteral(".mkv"));
        runDirect(engine, {"-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                           QString::fromLatin1(clip.source), "-t", QString::number(ClipSeconds), "-c:v", "libx264",
                           "-crf", "4", "-preset", "veryfast", "-pix_fmt", "yuv420p", source});
        if (!QFileInfo(source).isFile()) {
            std::printf("  %-14s could not be made\n", clip.name);
            continue;
        }
        for (const double target : targets) {
            QualitySearch::Request request;
            request.enginePath = engine;
            request.input = source;
            request.spans = SampleSpans(0, ClipSeconds);
            request.params = ProfileParams;
            request.target = target;
            QualitySearch search(request);
            QEventLoop loop;
            QObject::connect(&search, &QualitySearch::finished, &loop, &QEventLoop::quit);
            QElapsedTimer clock;
            clock.start();
            search.start();
            if (search.failure().isEmpty() && search.probes() == 0)
                loop.exec();
            const double searchMs = clock.nsecsElapsed() / 1e6;
            if (!search.failure().isEmpty()) {
                std::printf("  %-14s %6.3f search failed: %s\n", clip.name, target, qPrintable(search.failure()));
                continue;
            }
            const QString output = QDir(work).filePath(QStringLiteral("out.mp4"));
            const double convertMs = runDirect(
                engine, QStringList{"-hide_banner", "-loglevel", "error", "-y", "-i", source}
                            + SplitCommandLine(WithCrf(ProfileParams, search.chosen())) + QStringList{output});
            const std::optional<double> whole = wholeSsim(engine, output, source);
            const double error = whole ? *whole - target : 1;
            ++runs;
            withinGoal += std::abs(error) <= 0.003 ? 1 : 0;
            shares.push_back(searchMs / convertMs);
            std::printf("  %-14s %6.3f %6.1f %9.4f %8.4f %+8.4f %6d %7.0f%%\n", clip.name, target, search.chosen(),
                        search.predicted(), whole.value_or(0), error, search.probes(), 100 * searchMs / convertMs);
        }
    }
    std::printf("  error within 0.003: %d of %d (goal: 5 of 6 per target); search median %.0f%% of the "
                "conversion, at most %.0f%% (goal <= 20%%)\n",
                withinGoal, runs, 100 * median(shares),
                shares.empty() ? 0.0 : 100 * *std::max_element(shares.begin(), shares.end()));
    load.print();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: smartconversion_bench PROGRAM_FOLDER [ROUNDS]\n");
        return 2;
    }
    const int rounds = argc > 2 ? std::max(1, QString::fromLocal8Bit(argv[2]).toInt()) : 3;
    QTemporaryDir work;
    const QString program = work.filePath(QStringLiteral("program"));
    if (!work.isValid() || !copyProgramFolder(QString::fromLocal8Bit(argv[1]), program)) {
        std::fprintf(stderr, "the program folder could not be copied\n");
        return 1;
    }
    const QString engine = QDir(program).filePath(QStringLiteral("wmaspi.dll"));
    if (qEnvironmentVariableIsEmpty("VANTORIX_BENCH_NO_REMUX"))
        remuxAgainstConversion(program, engine, work.path(), rounds);
    qualitySearch(engine, work.path());
    return 0;
}
