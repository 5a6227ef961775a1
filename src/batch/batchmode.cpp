// The batch mode: the command line read into options, checked against the
// files, folders and profiles, and handed to the batch driver.
#include "batch/batchmode.h"

#include "batch/batchdriver.h"
#include "batch/batchoptions.h"
#include "batch/batchview.h"
#include "conversion/tasklistops.h"
#include "platform/filenames.h"
#include "platform/signalpipe.h"
#include "platform/translations.h"
#include "profiles/parametergrid.h"
#include "profiles/preferences.h"
#include "profiles/profiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <sys/stat.h>

namespace {

// The texts a person reads, translated in the batch mode's own context.
struct Texts
{
    Q_DECLARE_TR_FUNCTIONS(BatchMode)
};

int usageError(const QString &message)
{
    PrintLine(stderr, Texts::tr("vantorix --batch: %1").arg(message));
    PrintLine(stderr, Texts::tr("Try \"vantorix --batch --help\" for the options."));
    return BatchUsage;
}

// The arguments whose bytes are not UTF-8, by the text they were read as.
QHash<QString, QByteArrayList> unnamableArguments(int argc, char **argv)
{
    QHash<QString, QByteArrayList> raw;
    for (int i = 1; i < argc; ++i) {
        const QByteArray bytes(argv[i]);
        if (!IsNameable(bytes))
            raw[QFile::decodeName(bytes)] << bytes;
    }
    return raw;
}

// A folder named on the command line: its files, each knowing the folder it
// was found under, and the folders it could not take.
void listFolder(BatchRequest &request, const QString &folder, bool recursive, QByteArrayList &unnamable)
{
    ListingProblems problems;
    for (const QString &file : ListFolder(folder, recursive, &problems)) {
        request.files << file;
        request.foundUnder.insert(file, folder);
    }
    for (const ListingProblems::SkippedFolder &skipped : std::as_const(problems.folders))
        request.skippedFolders << Skipped{PrintableName(skipped.path), skipped.reason};
    unnamable << problems.unnamable;
}

// A path the batch cannot hand to the engine: skipped when it is there,
// else not found.
void addUnnamable(BatchRequest &request, const QByteArray &raw)
{
    struct stat info = {};
    if (::stat(raw.constData(), &info) == 0)
        request.unnamable << PrintableName(raw);
    else
        request.missing << PrintableName(raw);
}

// The profile the options name (letter case ignored when no name matches
// exactly), or the stored choice; nothing when there is none (told).
std::optional<QString> chooseProfile(const BatchCommandLine &options, const StoredChoices &stored,
                                     const QString &programFolder, int *status)
{
    const QStringList profiles = ProfileList(programFolder);
    if (!options.profile.isEmpty()) {
        QString chosen;
        for (const QString &name : profiles)
            if (name == options.profile || (chosen.isEmpty() && name.compare(options.profile, Qt::CaseInsensitive) == 0))
                chosen = name;
        if (chosen.isEmpty())
            *status = usageError(Texts::tr("--profile: there is no profile \"%1\" (--list-profiles lists them)")
                                     .arg(options.profile));
        return chosen.isEmpty() ? std::nullopt : std::optional<QString>(chosen);
    }
    if (profiles.isEmpty()) {
        PrintLine(stderr, Texts::tr("There is no profile in %1.").arg(ProfilesFolder(programFolder)));
        *status = BatchUsage;
        return std::nullopt;
    }
    const int index = stored.profileIndex;
    return profiles.value(index >= 0 && index < profiles.size() ? index : 0);
}

// The options checked against the file system: the output folder, the
// watched folder and the paths, each file listed. Returns the exit status of
// bad usage, or nothing when the request can run.
std::optional<int> resolve(const BatchCommandLine &options, int argc, char **argv, BatchRequest &request)
{
    request.rename = options.rename;
    request.jobs = options.jobs;
    request.start = options.start;
    request.end = options.end;
    request.place = options.place;
    request.recursive = options.recursive;
    request.settleMs = options.settleMs;
    request.afterwards = options.afterwards;
    request.skipExisting = options.skipExisting;

    const QString &folder = options.output;
    // Outputs beside their inputs need no output folder.
    if (request.place != OutputPlace::Beside && (folder.isEmpty() || !QFileInfo(folder).isDir())) {
        if (options.outputGiven)
            return usageError(Texts::tr("--output: the folder \"%1\" does not exist").arg(folder));
        PrintLine(stderr, Texts::tr("The output path does not exist. Please specify another one. "
                                  "(stored: \"%1\"; give one with --output)").arg(folder));
        return BatchUsage;
    }
    request.outputFolder = AddTrailingSeparator(QDir::cleanPath(QDir::current().absoluteFilePath(folder)));

    if (!options.watch.isEmpty()) {
        const QFileInfo watched(options.watch);
        if (!watched.isDir())
            return usageError(Texts::tr("--watch: the folder \"%1\" does not exist").arg(options.watch));
        request.watchFolder = QDir::cleanPath(watched.absoluteFilePath());
        // Outputs that land in the watched folder would be converted again.
        const QString outputs = QFileInfo(request.outputFolder).canonicalFilePath();
        const QString inputs = watched.canonicalFilePath();
        if (outputs == inputs || (options.recursive && outputs.startsWith(inputs + QLatin1Char('/'))))
            return usageError(Texts::tr("--watch: the output folder must lie outside the watched folder"));
        return std::nullopt;
    }

    QString listError;
    QByteArrayList unnamable; // in a list file or a folder
    const QStringList paths = CommandLinePaths(options.paths, &listError, &unnamable);
    if (!listError.isEmpty())
        return usageError(listError);
    const QHash<QString, QByteArrayList> rawArguments = unnamableArguments(argc, argv);
    QHash<QString, qsizetype> rawUsed;
    for (const QString &argument : paths) {
        if (argument.contains(QChar::ReplacementCharacter) && rawArguments.contains(argument)) {
            // Named on the command line by bytes that are not UTF-8: the
            // decoded text names no file; the bytes tell what was meant.
            const QByteArrayList &candidates = rawArguments[argument];
            const QByteArray raw = candidates.value(std::min(rawUsed[argument]++, candidates.size() - 1));
            addUnnamable(request, raw);
            continue;
        }
        const QFileInfo info(argument);
        const QString path = QDir::cleanPath(info.absoluteFilePath());
        if (info.isFile())
            request.files << path; // named on its own: whatever its extension
        else if (info.isDir())
            listFolder(request, path, options.recursive, unnamable);
        else
            request.missing << PrintableName(argument);
    }
    for (const QByteArray &raw : std::as_const(unnamable))
        addUnnamable(request, raw);
    return std::nullopt;
}

// The parameter string of the profile with the --set values, and its output
// extension. The profile is read from a copy: loading and building the
// parameter string write their file back, and a batch writes no profile. The
// copy is gone before the first engine starts, so that nothing of it is left
// however the batch ends.
std::optional<QString> buildParameters(const QString &programFolder, const QString &profileName,
                                       const QStringList &settings, IInteractive &interactive, QString *outputExt,
                                       int *status)
{
    QTemporaryDir scratch;
    const QString copy = scratch.filePath(profileName + QStringLiteral(".apf"));
    if (!scratch.isValid() || !QFile::copy(ProfilePath(programFolder, profileName), copy)) {
        PrintLine(stderr, Texts::tr("The profile \"%1\" could not be read.").arg(profileName));
        *status = BatchFailed;
        return std::nullopt;
    }
    *status = BatchUsage; // what follows is reported where it fails
    ParameterGrids grids;
    if (LoadProfile(copy, grids, interactive, outputExt) != ProfileStatus::Loaded)
        return std::nullopt;
    for (const QString &setting : settings) {
        const QString reason = ApplyGridSetting(grids, setting);
        if (!reason.isEmpty()) {
            *status = usageError(reason);
            return std::nullopt;
        }
    }
    return BuildParameterString(copy, grids, interactive);
}

// The hosts of --hosts, when given.
std::optional<int> readHosts(const BatchCommandLine &options, BatchRequest &request)
{
    if (options.hostsFile.isEmpty())
        return std::nullopt;
    QFile file(options.hostsFile);
    if (!file.open(QIODevice::ReadOnly))
        return usageError(Texts::tr("--hosts: the file \"%1\" cannot be read").arg(options.hostsFile));
    const HostList hosts = ParseHostList(QString::fromUtf8(file.readAll()));
    if (!hosts.error.isEmpty())
        return usageError(Texts::tr("--hosts: %1").arg(hosts.error));
    request.hosts = hosts.hosts;
    if (!options.sshConfig.isEmpty())
        request.sshConfig = QFileInfo(options.sshConfig).absoluteFilePath();
    return std::nullopt;
}

} // namespace

bool WantsBatch(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--") == 0)
            return false;
        if (qstrcmp(argv[i], "--batch") == 0)
            return true;
    }
    return false;
}

void PrintLine(std::FILE *stream, const QString &line)
{
    std::fprintf(stream, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stream);
}

int RunBatch(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Vantorix"));
    InstallTranslations(app, QCoreApplication::applicationDirPath(),
                        UserLanguage(QProcessEnvironment::systemEnvironment()));
    // From here on a signal to end waits until the batch can end through its
    // ordinary path, which removes what the batch made.
    SignalPipe signalPipe;
    const QString programFolder = AddTrailingSeparator(QCoreApplication::applicationDirPath());
    BatchInteractive interactive;
    const StoredChoices stored = ReadStoredChoices(programFolder, interactive);
    QCoreApplication::setApplicationVersion(stored.version);

    const ParsedCommandLine parsed = ParseBatchCommandLine(QCoreApplication::arguments(), stored);
    if (!parsed.ok())
        return usageError(parsed.usageError);
    const BatchCommandLine &options = parsed.options;
    switch (options.action) {
    case BatchCommandLine::Action::Help:
        std::fputs(options.helpText.toLocal8Bit().constData(), stdout);
        return BatchCompleted;
    case BatchCommandLine::Action::Version:
        PrintLine(stdout, QStringLiteral("Vantorix ") + stored.version);
        return BatchCompleted;
    case BatchCommandLine::Action::ListProfiles:
        for (const QString &name : ProfileList(programFolder))
            PrintLine(stdout, name);
        return BatchCompleted;
    case BatchCommandLine::Action::Convert:
        break;
    }

    int status = BatchUsage;
    BatchRequest request;
    const std::optional<QString> profile = chooseProfile(options, stored, programFolder, &status);
    if (!profile)
        return status;
    request.profileName = *profile;
    if (const std::optional<int> bad = resolve(options, argc, argv, request))
        return *bad;
    if (const std::optional<int> bad = readHosts(options, request))
        return *bad;
    QString outputExt;
    const std::optional<QString> params =
        buildParameters(programFolder, request.profileName, options.settings, interactive, &outputExt, &status);
    if (!params)
        return status;

    BatchDriver driver(std::move(request), *params, outputExt, programFolder + QStringLiteral("wmaspi.dll"),
                       interactive, signalPipe);
    return driver.run();
}
