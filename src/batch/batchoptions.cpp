#include "batch/batchoptions.h"

#include "conversion/outputsettings.h"
#include "conversion/taskrecord.h"
#include "conversion/watchfolder.h"
#include "profiles/newinifile.h"
#include "profiles/preferences.h"
#include "profiles/userfolder.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace {

// The texts a person reads, translated in the batch mode's own context.
struct Texts
{
    Q_DECLARE_TR_FUNCTIONS(BatchMode)
};

const QString MainSection = QStringLiteral("Main");
// The most files at once on one host of --hosts.
constexpr int HostMaxJobs = 64;
// The most elements of a Slurm job array at once (its %N).
constexpr int SlurmMaxJobs = 1000;

} // namespace

StoredChoices ReadStoredChoices(const QString &programFolder, IInteractive &interactive)
{
    StoredChoices stored;
    stored.outputPath = DefaultOutputFolder(programFolder);
    // The store reads the file when it is created; it is dropped without
    // SaveAndFree, so nothing is written.
    const std::unique_ptr<TNewInifile> ini = TNewInifile::Create(PreferencesPath(programFolder), interactive);
    if (!ini)
        return stored;
    stored.version = ini->ReadString(MainSection, QStringLiteral("Version"), stored.version);
    stored.outputPath = ini->ReadString(MainSection, QStringLiteral("Output Path"), stored.outputPath);
    stored.profileIndex = ini->ReadInteger(MainSection, QStringLiteral("Profile"), 0);
    stored.overwrite = ini->ReadBool(MainSection, QStringLiteral("Overwrite"), true);
    stored.jobs = JobsInRange(ini->ReadInteger(MainSection, QStringLiteral("Jobs"), 1));
    return stored;
}

ParsedCommandLine ParseBatchCommandLine(const QStringList &arguments, const StoredChoices &stored)
{
    ParsedCommandLine parsed;
    BatchCommandLine &request = parsed.options;
    const auto usage = [&parsed](const QString &message) {
        parsed.usageError = message;
        return parsed;
    };
    QCommandLineParser parser;
    const QCommandLineOption hosts(QStringLiteral("hosts"),
                                   Texts::tr("Convert on the hosts of this file over SSH, one a line: "
                                             "\"[N/][user@]host\", \":\" for this machine, N tasks at once there "
                                             "(default: --jobs)."),
                                   Texts::tr("file"));
    const QCommandLineOption sshConfig(QStringLiteral("ssh-config"),
                                       Texts::tr("With --hosts: the ssh configuration file to use (ssh -F)."),
                                       Texts::tr("file"));
    const QCommandLineOption slurm(QStringLiteral("slurm"),
                                   Texts::tr("Convert as one Slurm job array on a cluster whose nodes see the files, "
                                             "the output folder and this program at the same paths; what follows "
                                             "\"--\" goes to sbatch as it is (partition, time limit, memory), "
                                             "--jobs caps the elements running at once."));
    parser.setApplicationDescription(Texts::tr(
        "Converts video files without a window, one after another or several at once (--jobs), with a "
        "profile of the program folder.\n"
        "PATH: a file (converted whatever its extension), a folder (its supported files; with -r, those of its "
        "subfolders too), or, as the first "
        "path, a .tmp file listing one path per line.\n"
        "Exit status: 0 every task completed, 1 a task failed or was skipped, 2 bad usage, "
        "130 interrupted."));
    const QCommandLineOption batch(QStringLiteral("batch"), Texts::tr("Convert without a window."));
    const QCommandLineOption profile({QStringLiteral("p"), QStringLiteral("profile")},
                                     Texts::tr("The profile (default: the one chosen last in the window, "
                                                    "else the first; see --list-profiles)."),
                                     Texts::tr("name"));
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")},
                                    Texts::tr("The output folder (default: the one chosen last in the window)."),
                                    Texts::tr("folder"));
    const QCommandLineOption overwrite(QStringLiteral("overwrite"),
                                       Texts::tr("Overwrite existing output files."));
    const QCommandLineOption rename(QStringLiteral("rename"),
                                    Texts::tr("Name an output <name>_<index> when its file exists "
                                                   "(default: the choice stored in the Settings window)."));
    const QCommandLineOption set(QStringLiteral("set"),
                                 Texts::tr("Set a parameter of the profile, as in its grid, e.g. "
                                                "\"Video Size=640x480\" (repeatable)."),
                                 Texts::tr("Parameter=Value"));
    const QCommandLineOption start(QStringLiteral("start"),
                                   Texts::tr("Convert every file from this time on (h:m:s[.f])."),
                                   Texts::tr("time"));
    const QCommandLineOption end(QStringLiteral("end"), Texts::tr("Convert every file up to this time."),
                                 Texts::tr("time"));
    const QCommandLineOption jobs({QStringLiteral("j"), QStringLiteral("jobs")},
                                  Texts::tr("Convert up to N files at once, 1 to %1 (default: the number "
                                                 "stored in the Settings window, else 1).")
                                      .arg(MaxJobs()),
                                  QStringLiteral("N"));
    const QCommandLineOption recursive({QStringLiteral("r"), QStringLiteral("recursive")},
                                       Texts::tr("List the folders named with their subfolders (with --watch: "
                                                      "watch its subfolders too)."));
    const QCommandLineOption tree(QStringLiteral("tree"),
                                  Texts::tr("Keep the folder tree: a file found in a subfolder of a folder named "
                                                 "goes to the same subfolder of the output folder."));
    const QCommandLineOption beside(QStringLiteral("beside"),
                                    Texts::tr("Write each output beside its input, not into the output folder."));
    const QCommandLineOption watch(QStringLiteral("watch"),
                                   Texts::tr("Watch the folder and convert every supported file that appears "
                                                  "in it once it has settled, until ended by Ctrl+C or SIGTERM; "
                                                  "a journal in the output folder keeps a file from being "
                                                  "converted twice."),
                                   Texts::tr("folder"));
    const QCommandLineOption settle(QStringLiteral("settle"),
                                    Texts::tr("With --watch: how long a file must stay unchanged, and closed "
                                                   "by its writer, before it is converted (default 10)."),
                                    Texts::tr("seconds"));
    const QCommandLineOption copyFitting(QStringLiteral("copy-fitting"),
                                         Texts::tr("Copy each stream that already has the profile's codec and fits "
                                                   "its settings; convert the rest."));
    const QCommandLineOption notBigger(QStringLiteral("not-bigger"),
                                       Texts::tr("Keep the original when the output is not smaller: the output "
                                                 "is discarded."));
    const QCommandLineOption noDates(QStringLiteral("no-keep-dates"),
                                     Texts::tr("Do not give the outputs their inputs' modification times and "
                                               "tags."));
    const QCommandLineOption original(QStringLiteral("original"),
                                      Texts::tr("What becomes of an input once its output is checked and saved: "
                                                "keep (default), trash, delete."),
                                      QStringLiteral("keep|trash|delete"));
    const QCommandLineOption whenDone(QStringLiteral("when-done"),
                                      Texts::tr("Run this command for each file that ended, with VANTORIX_INPUT, "
                                                "VANTORIX_OUTPUT, VANTORIX_STATUS and VANTORIX_ORIGINAL in its "
                                                "environment (no shell)."),
                                      Texts::tr("command"));
    const QCommandLineOption whenBatchDone(QStringLiteral("when-batch-done"),
                                           Texts::tr("Run this command once the batch has ended, with "
                                                     "VANTORIX_STATUS and the counts in its environment."),
                                           Texts::tr("command"));
    const QCommandLineOption targetSsim(QStringLiteral("target-ssim"),
                                        Texts::tr("Pick the quality value (CRF) of an H.264, H.265 or AV1 profile "
                                                  "that gives at least this SSIM, from a few samples; the profile's "
                                                  "\"Quality: SSIM\" row."),
                                        QStringLiteral("0.95..0.995"));
    const QCommandLineOption segment(QStringLiteral("segment"),
                                     Texts::tr("Convert a file longer than this in segments of about this length, "
                                               "several at once, and resume from the segments done when the same "
                                               "command is run again (MP4, MOV, MKV, WebM and TS outputs)."),
                                     Texts::tr("minutes"));
    const QCommandLineOption listProfiles(QStringLiteral("list-profiles"), Texts::tr("List the profiles."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addOptions({batch, profile, output, overwrite, rename, set, start, end, jobs, recursive, tree, beside, watch,
                       settle, copyFitting, targetSsim, notBigger, noDates, original, whenDone, whenBatchDone, listProfiles});
    parser.addOptions({hosts, sshConfig, slurm});
    const QCommandLineOption skipExisting(QStringLiteral("skip-existing"),
                                          Texts::tr("Leave out a file whose output is in its place already and "
                                                    "passes the output check; convert the others."));
    parser.addOption(skipExisting);
    parser.addOption(segment);
    parser.addPositionalArgument(Texts::tr("paths"), Texts::tr("Files and folders to convert."),
                                 Texts::tr("PATH..."));


    // With --slurm, what follows "--" is sbatch's.
    QStringList ours = arguments;
    const qsizetype dashes = arguments.indexOf(QStringLiteral("--"));
    if (dashes > 0 && arguments.mid(0, dashes).contains(QStringLiteral("--slurm"))) {
        request.sbatchOptions = arguments.mid(dashes + 1);
        ours = arguments.mid(0, dashes);
    }
    if (!parser.parse(ours))
        return usage(parser.errorText());
    if (parser.isSet(help)) {
        QString text = parser.helpText();
        // The usage line names the command a person types, in whatever language it is shown.
        // (the parser names the running program there).
        const QString program = QCoreApplication::arguments().value(0) + QLatin1Char(' ');
        const qsizetype at = text.indexOf(program);
        if (at >= 0)
            text.replace(at, program.size(), QStringLiteral("vantorix --batch "));
        request.action = BatchCommandLine::Action::Help;
        request.helpText = text;
        return parsed;
    }
    if (parser.isSet(version)) {
        request.action = BatchCommandLine::Action::Version;
        return parsed;
    }
    if (parser.isSet(listProfiles)) {
        request.action = BatchCommandLine::Action::ListProfiles;
        return parsed;
    }

    if (parser.isSet(overwrite) && parser.isSet(rename))
        return usage(Texts::tr("--overwrite and --rename exclude each other"));
    request.rename = parser.isSet(rename) || (!parser.isSet(overwrite) && !stored.overwrite);
    request.jobs = stored.jobs;
    request.afterwards.notBigger = parser.isSet(notBigger);
    request.afterwards.keepDates = !parser.isSet(noDates);
    if (parser.isSet(segment)) {
        double minutes = 0;
        if (!ParseDecimal(parser.value(segment).trimmed(), minutes) || !(minutes > 0) || minutes > 1e6)
            return usage(Texts::tr("--segment \"%1\" is not a number of minutes above 0").arg(parser.value(segment)));
        request.afterwards.segmentMinutes = minutes;
    }
    if (parser.isSet(original)) {
        const std::optional<OriginalAction> action = OriginalActionFromName(parser.value(original).trimmed());
        if (!action)
            return usage(Texts::tr("--original \"%1\" is none of keep, trash, delete").arg(parser.value(original)));
        request.afterwards.original = *action;
    }
    request.afterwards.doneCommand = parser.value(whenDone);
    request.afterwards.batchDoneCommand = parser.value(whenBatchDone);
    if (parser.isSet(tree) && parser.isSet(beside))
        return usage(Texts::tr("--tree and --beside cannot be used together"));
    request.recursive = parser.isSet(recursive);
    request.place = parser.isSet(tree) ? OutputPlace::Tree : parser.isSet(beside) ? OutputPlace::Beside : OutputPlace::Folder;
    if (parser.isSet(jobs)) {
        bool number = false;
        const QString text = parser.value(jobs).trimmed();
        request.jobs = text.toInt(&number);
        // With --hosts, files at once on each host, whatever this machine has.
        const int most = parser.isSet(hosts) ? HostMaxJobs : parser.isSet(slurm) ? SlurmMaxJobs : MaxJobs();
        if (!number || request.jobs < 1 || request.jobs > most)
            return usage(Texts::tr("--jobs \"%1\" is not a number of files at once from 1 to %2")
                             .arg(text)
                             .arg(most));
    }
    for (const auto &[option, target] : {std::pair{&start, &request.start}, std::pair{&end, &request.end}}) {
        if (!parser.isSet(*option))
            continue;
        const QString text = parser.value(*option).trimmed();
        if (!IsRangeTime(text))
            return usage(Texts::tr("--%1 \"%2\" is not a time (h:m:s, e.g. 0:01:30 or 0:00:05.5)")
                             .arg(option->names().constFirst(), text));
        *target = text;
    }
    if (request.start && request.end && TimeTextToSeconds(*request.end) <= TimeTextToSeconds(*request.start))
        return usage(Texts::tr("--end must come after --start"));

    request.profile = parser.value(profile);
    request.outputGiven = parser.isSet(output);
    request.output = request.outputGiven ? parser.value(output) : stored.outputPath;
    request.settings = parser.values(set);
    // As if its grid row were set first: a --set of the row itself decides.
    if (parser.isSet(copyFitting))
        request.settings.prepend(QStringLiteral("Streams already in the target format=Copy"));
    if (parser.isSet(targetSsim))
        request.settings.prepend(QStringLiteral("Quality: SSIM=") + parser.value(targetSsim).trimmed());
    request.paths = parser.positionalArguments();
    request.hostsFile = parser.value(hosts);
    request.sshConfig = parser.value(sshConfig);
    request.skipExisting = parser.isSet(skipExisting);
    if (request.hostsFile.isEmpty() && !request.sshConfig.isEmpty())
        return usage(Texts::tr("--ssh-config goes with --hosts"));
    request.slurm = parser.isSet(slurm);
    if (request.slurm && !request.hostsFile.isEmpty())
        return usage(Texts::tr("--slurm and --hosts exclude each other"));
    // Without --jobs an array runs as many elements at once as the cluster gives.
    if (request.slurm && !parser.isSet(jobs))
        request.jobs = 0;
    request.settleMs = WatchFolder::DefaultSettleMs;
    if (parser.isSet(settle)) {
        bool number = false;
        const QString text = parser.value(settle).trimmed();
        const double seconds = text.toDouble(&number);
        if (!number || !(seconds >= 0 && seconds <= 86400))
            return usage(Texts::tr("--settle \"%1\" is not a number of seconds from 0 to 86400").arg(text));
        request.settleMs = qRound(seconds * 1000);
    }
    if (parser.isSet(watch)) {
        request.watch = parser.value(watch);
        if (!request.paths.isEmpty())
            return usage(Texts::tr("--watch converts what appears in its folder: no further paths"));
        // Outputs written beside their inputs would appear in the watched
        // folder and be converted in turn.
        if (request.place == OutputPlace::Beside)
            return usage(Texts::tr("--watch cannot write its outputs beside their inputs"));
        // Its journal keeps it from converting a file twice.
        if (request.skipExisting)
            return usage(Texts::tr("--skip-existing does not go with --watch"));
    } else if (parser.isSet(settle)) {
        return usage(Texts::tr("--settle goes with --watch"));
    } else if (request.paths.isEmpty()) {
        return usage(Texts::tr("no files or folders to convert"));
    }
    return parsed;
}
