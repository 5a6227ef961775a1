// A long file converted in segments by the batch mode (--segment) against the
// same file converted whole, with "MP4 H.264 AAC" on a generated 720p clip
// (H.264 with a key frame every 2 s, AAC):
// - the two outputs: SSIM of each against the source, their sizes, their
//   frame counts;
// - kill -9 at about half way, then the same command: the CPU time of the
//   program and its engines against an uninterrupted segmented run, and how
//   many segments were converted twice;
// - what the cut and the join cost, each segment's time, and from them the
//   expected time on 1, 2, 4 and 8 hosts at a stated network speed
//   (computed: this machine has two cores).
// The CPU time is that of every process the program started, its engines
// included, as the kernel counts it for reaped children (this benchmark is
// the subreaper of the engines of a killed program, and reaps them too).
// Usage: segment_bench PROGRAM_FOLDER [CLIP_SECONDS]
#include "benchutil.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <set>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char **environ;

namespace {

const QString ProfileName = QStringLiteral("MP4 H.264 AAC");
constexpr double NetworkMBps = 100; // about 1 Gbit/s

double childrenCpuSecs()
{
    struct rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Run
{
    bool ok = false;
    double wallSecs = 0;
    double cpuSecs = 0;
    QString log; // the engine log, each line with its time since the start
};

// Runs the program with `arguments`; kills it outright once `killWhen` holds.
Run runProgram(const QString &program, const QStringList &arguments, const QString &logPath,
               const std::function<bool()> &killWhen = {})
{
    QList<QByteArray> env;
    for (char **e = environ; *e; ++e) {
        const QByteArray entry(*e);
        if (!entry.startsWith("DISPLAY=") && !entry.startsWith("WAYLAND_DISPLAY=") && !entry.startsWith("QT_QPA_PLATFORM=")
            && !entry.startsWith("QT_LOGGING_RULES=") && !entry.startsWith("QT_MESSAGE_PATTERN="))
            env << entry;
    }
    env << "QT_LOGGING_RULES=vantorix.engine.info=true" << "QT_MESSAGE_PATTERN=%{time process} %{message}";
    std::vector<char *> envp;
    for (QByteArray &entry : env)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    QList<QByteArray> args{QFile::encodeName(program)};
    for (const QString &argument : arguments)
        args << argument.toUtf8();
    std::vector<char *> argv;
    for (QByteArray &argument : args)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const QByteArray log = QFile::encodeName(logPath);
    posix_spawn_file_actions_addopen(&actions, 2, log.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    Run run;
    const double cpuBefore = childrenCpuSecs();
    QElapsedTimer clock;
    clock.start();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
        return run;
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (killWhen) {
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (killWhen()) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                break;
            }
            QThread::msleep(20);
        }
    } else {
        ::waitpid(pid, &status, 0);
    }
    // The engines of a killed program end with it, and come to this process.
    while (::waitpid(-1, nullptr, 0) > 0 || errno == EINTR) {
    }
    run.wallSecs = clock.nsecsElapsed() / 1e9;
    run.cpuSecs = childrenCpuSecs() - cpuBefore;
    run.ok = killWhen || (WIFEXITED(status) && WEXITSTATUS(status) == 0);
    QFile file(logPath);
    if (file.open(QIODevice::ReadOnly))
        run.log = QString::fromUtf8(file.readAll());
    return run;
}

QString segmentFolder(const QString &output)
{
    const QStringList found = QDir(output).entryList({QStringLiteral(".vantorix-segments-*")}, QDir::Dirs | QDir::Hidden);
    return found.isEmpty() ? QString() : QDir(output).filePath(found.first());
}

// The share of the video done by the record in `output`'s segment folder.
double doneShare(const QString &output)
{
    const QString folder = segmentFolder(output);
    QFile file(folder + QStringLiteral("/record.json"));
    if (folder.isEmpty() || !file.open(QIODevice::ReadOnly))
        return 0;
    double total = 0, done = 0;
    for (const QJsonValue &piece : QJsonDocument::fromJson(file.readAll()).object().value(QStringLiteral("pieces")).toArray()) {
        total += piece.toObject().value(QStringLiteral("secs")).toDouble();
        if (piece.toObject().value(QStringLiteral("done")).toBool())
            done += piece.toObject().value(QStringLiteral("secs")).toDouble();
    }
    return total > 0 ? done / total : 0;
}

// Each step of a run with one engine at a time: its name and its seconds.
struct Step
{
    QString name; // "cut", "sound", "join", "piece00003"...
    double secs = 0;
};

QList<Step> stepsOf(const QString &log)
{
    static const QRegularExpression line(QStringLiteral("^\\s*(\\d+\\.\\d+) (start|engine \\d+ exited)(.*)$"));
    static const QRegularExpression piece(QStringLiteral("(piece\\d{5})\\.nut"));
    QList<Step> steps;
    double started = -1;
    QString name;
    for (const QString &text : log.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = line.match(text);
        if (!match.hasMatch())
            continue;
        const double at = match.captured(1).toDouble();
        if (match.captured(2) == QLatin1String("start")) {
            const QString command = match.captured(3);
            const QRegularExpressionMatch pieceMatch = piece.match(command);
            name = command.contains(QLatin1String(" -f segment ")) ? QStringLiteral("cut")
                   : command.contains(QLatin1String(" -f concat ")) ? QStringLiteral("join")
                   : pieceMatch.hasMatch()                          ? pieceMatch.captured(1)
                   : command.contains(QLatin1String(" -vn "))       ? QStringLiteral("sound")
                                                                    : QStringLiteral("whole");
            started = at;
        } else if (started >= 0) {
            steps.append({name, at - started});
            started = -1;
        }
    }
    return steps;
}

std::set<QString> piecesStarted(const QString &log)
{
    std::set<QString> started;
    for (const Step &step : stepsOf(log))
        if (step.name.startsWith(QLatin1String("piece")))
            started.insert(step.name);
    static const QRegularExpression piece(QStringLiteral("start .*(piece\\d{5})\\.nut"));
    // A piece killed while converting has a start and no end.
    for (const QString &text : log.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = piece.match(text);
        if (match.hasMatch())
            started.insert(match.captured(1));
    }
    return started;
}

QString tool(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    process.waitForFinished(-1);
    return QString::fromUtf8(process.readAll());
}

qint64 frames(const QString &path)
{
    return tool(QStringLiteral("ffprobe"), {"-v", "error", "-count_packets", "-select_streams", "v:0", "-show_entries",
                                            "stream=nb_read_packets", "-of", "default=nokey=1:noprint_wrappers=1", path})
        .trimmed()
        .toLongLong();
}

double ssim(const QString &engine, const QString &output, const QString &source)
{
    const QString text = tool(engine, {"-hide_banner", "-i", output, "-i", source, "-lavfi", "[0:v][1:v]ssim", "-f", "null", "-"});
    static const QRegularExpression all(QStringLiteral("All:([0-9.]+)"));
    const QRegularExpressionMatch match = all.match(text);
    return match.hasMatch() ? match.captured(1).toDouble() : -1;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: segment_bench PROGRAM_FOLDER [CLIP_SECONDS]\n");
        return 2;
    }
    const int clipSecs = argc > 2 ? std::max(30, std::atoi(argv[2])) : 120;
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    QTemporaryDir work;
    const QString programFolder = work.filePath(QStringLiteral("program"));
    if (!work.isValid() || !copyProgramFolder(QString::fromLocal8Bit(argv[1]), programFolder)) {
        std::fprintf(stderr, "could not copy the program folder\n");
        return 1;
    }
    const QString program = programFolder + QStringLiteral("/vantorix");
    const QString engine = programFolder + QStringLiteral("/wmaspi.dll");
    const QString clip = work.filePath(QStringLiteral("film.mp4"));
    tool(engine, {"-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i", "testsrc2=size=1280x720:rate=25",
                  "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000", "-t", QString::number(clipSecs), "-c:v",
                  "libx264", "-preset", "veryfast", "-g", "50", "-c:a", "aac", "-shortest", clip});
    if (QFileInfo(clip).size() <= 0) {
        std::fprintf(stderr, "could not make the clip\n");
        return 1;
    }
    // About eight segments.
    const double segmentMinutes = clipSecs / 8.0 / 60.0;
    const QString segment = QString::number(segmentMinutes, 'f', 4);
    const OtherLoad load;
    const auto convert = [&](const QString &name, bool segmented, const std::function<bool()> &killWhen = {}) {
        const QString output = work.filePath(name);
        QDir().mkpath(output);
        QStringList arguments{"--batch", "-p", ProfileName, "-o", output, "--overwrite", "-j", "1"};
        if (segmented)
            arguments << "--segment" << segment;
        return runProgram(program, arguments << clip, work.filePath(name + QStringLiteral(".log")), killWhen);
    };

    const Run whole = convert(QStringLiteral("whole"), false);
    const Run segmented = convert(QStringLiteral("segmented"), true);
    const QString killedOutput = work.filePath(QStringLiteral("resumed"));
    const Run killed = convert(QStringLiteral("resumed"), true, [&] { return doneShare(killedOutput) >= 0.5; });
    const double shareAtKill = doneShare(killedOutput);
    const Run resumed = convert(QStringLiteral("resumed"), true);
    if (!whole.ok || !segmented.ok || !resumed.ok) {
        std::fprintf(stderr, "a batch failed\n");
        return 1;
    }
    const QString wholeOut = work.filePath(QStringLiteral("whole/film.mp4"));
    const QString segmentedOut = work.filePath(QStringLiteral("segmented/film.mp4"));
    const QString resumedOut = work.filePath(QStringLiteral("resumed/film.mp4"));

    std::printf("segments, %d s 1280x720 H.264 clip (%s), segments of %.1f s, one engine at a time:\n", clipSecs,
                qPrintable(ProfileName), segmentMinutes * 60);
    const double ssimWhole = ssim(engine, wholeOut, clip);
    const double ssimSegmented = ssim(engine, segmentedOut, clip);
    const double sizeWhole = QFileInfo(wholeOut).size();
    const double sizeSegmented = QFileInfo(segmentedOut).size();
    std::printf("  SSIM against the source: whole %.5f, segmented %.5f, difference %.5f (target <= 0.002)\n",
                ssimWhole, ssimSegmented, std::abs(ssimWhole - ssimSegmented));
    std::printf("  size: whole %.0f B, segmented %.0f B, difference %+.2f%% (target within 3%%)\n", sizeWhole,
                sizeSegmented, (sizeSegmented / sizeWhole - 1) * 100);
    std::printf("  frames: source %lld, whole %lld, segmented %lld, resumed %lld (target: equal)\n", frames(clip),
                frames(wholeOut), frames(segmentedOut), frames(resumedOut));
    std::printf("  wall time: whole %.1f s, segmented %.1f s; CPU: whole %.1f s, segmented %.1f s\n", whole.wallSecs,
                segmented.wallSecs, whole.cpuSecs, segmented.cpuSecs);

    // The kill and the resume.
    std::set<QString> twice;
    const std::set<QString> before = piecesStarted(killed.log);
    for (const QString &piece : piecesStarted(resumed.log))
        if (before.count(piece))
            twice.insert(piece);
    std::printf("  kill -9 at %.0f%% done, then the same command: CPU %.1f s + %.1f s = %.1f s, %.3f x the "
                "uninterrupted segmented run (target <= 1.15); segments converted twice: %zu (target <= 1, one "
                "slot)\n",
                shareAtKill * 100, killed.cpuSecs, resumed.cpuSecs, killed.cpuSecs + resumed.cpuSecs,
                (killed.cpuSecs + resumed.cpuSecs) / segmented.cpuSecs, twice.size());

    // The cost of each step of the uninterrupted run.
    double cut = 0, join = 0, sound = 0;
    std::vector<double> pieces;
    for (const Step &step : stepsOf(segmented.log)) {
        if (step.name == QLatin1String("cut"))
            cut += step.secs;
        else if (step.name == QLatin1String("join"))
            join += step.secs;
        else if (step.name == QLatin1String("sound"))
            sound += step.secs;
        else if (step.name.startsWith(QLatin1String("piece")))
            pieces.push_back(step.secs);
    }
    double piecesTotal = 0;
    for (double secs : pieces)
        piecesTotal += secs;
    std::printf("  steps: cut %.2f s, join %.2f s (together %.1f%% of the segmented run's %.1f s), sound %.2f s, "
                "%zu segments %.1f s (each %.1f..%.1f s)\n",
                cut, join, (cut + join) / segmented.wallSecs * 100, segmented.wallSecs, sound, pieces.size(),
                piecesTotal, pieces.empty() ? 0 : *std::min_element(pieces.begin(), pieces.end()),
                pieces.empty() ? 0 : *std::max_element(pieces.begin(), pieces.end()));

    // Expected time on H hosts of two cores each: the cut, then the segments
    // spread longest first over the hosts (those not this one first receive
    // their piece and send back their segment), the sound beside them on
    // this host, then the join.
    const double inputMB = QFileInfo(clip).size() / 1e6;
    const double outputMB = sizeSegmented / 1e6;
    const double perPieceTransfer = (inputMB + outputMB) / std::max<size_t>(1, pieces.size()) / NetworkMBps;
    std::printf("  expected time by hosts (computed from the measured steps; transfer at %.0f MB/s, %.2f s a "
                "segment):\n",
                NetworkMBps, perPieceTransfer);
    std::printf("    hosts   expected   speed-up against whole (%.1f s)\n", whole.wallSecs);
    std::vector<double> sorted = pieces;
    std::sort(sorted.rbegin(), sorted.rend());
    for (const int hosts : {1, 2, 4, 8}) {
        std::vector<double> busy(hosts, 0.0);
        busy[0] = sound; // the sound is converted on this host
        for (double secs : sorted) {
            const auto least = std::min_element(busy.begin(), busy.end());
            *least += secs + (least == busy.begin() ? 0 : perPieceTransfer);
        }
        const double expected = cut + *std::max_element(busy.begin(), busy.end()) + join;
        std::printf("    %5d   %7.1f s   %.2f x\n", hosts, expected, whole.wallSecs / expected);
    }
    load.print();
    return 0;
}
