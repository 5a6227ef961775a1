#include "profiles/preferences.h"

#include "platform/interactive.h"
#include "profiles/newinifile.h"
#include "profiles/userfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QThread>

#include <algorithm>

namespace {

const QString MainSection = QStringLiteral("Main");
const QString DefaultSection = QStringLiteral("Default");
const QString OutputPathKey = QStringLiteral("Output Path");
const QString ProfileKey = QStringLiteral("Profile");
const QString SynModeKey = QStringLiteral("Syn Mode");
const QString OpenDirKey = QStringLiteral("Auto Open Dir");
const QString ExitKey = QStringLiteral("Auto Exit");
const QString TurnOffKey = QStringLiteral("Auto Turn Off");
const QString OverwriteKey = QStringLiteral("Overwrite");
const QString VersionKey = QStringLiteral("Version");
const QString JobsKey = QStringLiteral("Jobs");
const QString OutputPlaceKey = QStringLiteral("Output Place");
const QString NotBiggerKey = QStringLiteral("Not Bigger");
const QString KeepDatesKey = QStringLiteral("Keep Dates");
const QString SplitMinutesKey = QStringLiteral("Split Minutes");
const QString OriginalKey = QStringLiteral("Original");
const QString WhenDoneKey = QStringLiteral("When Done");
const QString WhenBatchDoneKey = QStringLiteral("When Batch Done");
const QString OnHostsKey = QStringLiteral("Convert On Hosts");
const QString HostsFileKey = QStringLiteral("Hosts File");
const QString SshConfigKey = QStringLiteral("SSH Config");
const QString IncludeSubfoldersKey = QStringLiteral("Include Subfolders");

// A key added since the file's first form is written only once it holds
// something else than its default, so an older file keeps its keys as they were.
bool keepsKey(const TNewInifile &ini, const QString &key, bool isDefault)
{
    return !isDefault || ini.FindRaw(MainSection.toUtf8(), key.toUtf8()).has_value();
}

GeneralPreferences readGeneral(const TNewInifile &ini, const QString &section, const QString &programFolder,
                               bool openDirDefault)
{
    GeneralPreferences g;
    g.outputPath = ini.ReadString(section, OutputPathKey, DefaultOutputFolder(programFolder));
    g.synMode = ini.ReadInteger(section, SynModeKey, 0);
    g.openDir = ini.ReadBool(section, OpenDirKey, openDirDefault);
    g.exitProgram = ini.ReadBool(section, ExitKey, false);
    g.turnOff = ini.ReadBool(section, TurnOffKey, false);
    g.overwrite = ini.ReadBool(section, OverwriteKey, true);
    g.jobs = JobsInRange(ini.ReadInteger(section, JobsKey, 1));
    g.outputPlace = std::clamp(ini.ReadInteger(section, OutputPlaceKey, 0), 0, 2);
    g.notBigger = ini.ReadBool(section, NotBiggerKey, false);
    g.keepDates = ini.ReadBool(section, KeepDatesKey, true);
    g.splitMinutes = std::clamp(ini.ReadInteger(section, SplitMinutesKey, 0), 0, MaxSplitMinutes);
    g.original = std::clamp(ini.ReadInteger(section, OriginalKey, 0), 0, 2);
    g.doneCommand = ini.ReadString(section, WhenDoneKey, QString());
    g.batchDoneCommand = ini.ReadString(section, WhenBatchDoneKey, QString());
    g.onHosts = ini.ReadBool(section, OnHostsKey, false);
    g.hostsFile = ini.ReadString(section, HostsFileKey, QString());
    g.sshConfig = ini.ReadString(section, SshConfigKey, QString());
    return g;
}

// The store of the user's preferences. While the user has no file of their
// own in the configuration folder, a Preferences.ini in the (read-only)
// program folder gives its starting content: its "Default" section and
// "Version" then apply to every user.
std::unique_ptr<TNewInifile> openPreferences(const QString &programFolder, IInteractive &interactive)
{
    const QString path = PreferencesPath(programFolder);
    const QString shipped = QDir(programFolder).filePath(QStringLiteral("Preferences.ini"));
    if (QFileInfo(path).absoluteFilePath() == QFileInfo(shipped).absoluteFilePath() || QFileInfo::exists(path)
        || !QFileInfo(shipped).isFile())
        return TNewInifile::Create(path, interactive);
    auto seed = TNewInifile::Create(shipped, interactive);
    if (!seed)
        return nullptr;
    return std::make_unique<TNewInifile>(path, seed->Text());
}

// Disposes of a store that was written to, creating the configuration folder
// first when that is where the file goes (a missing program folder is not
// made).
bool savePreferences(const QString &programFolder, std::unique_ptr<TNewInifile> ini, IInteractive &interactive)
{
    if (ini->Modified() && !IsProgramFolderWritable(programFolder)) {
        const QString folder = QFileInfo(ini->FileName()).absolutePath();
        if (!QDir().mkpath(folder)) {
            interactive.error(QCoreApplication::translate("Preferences", "Cannot create file \"%1\". The folder cannot be created.")
                                  .arg(QDir::toNativeSeparators(ini->FileName())));
            return false;
        }
    }
    return TNewInifile::SaveAndFree(std::move(ini), interactive);
}

// Disposes of a store that was only read. Reading changes nothing, so nothing
// is written; should a write still fail, it has been reported and the values
// read stand.
void closeAfterReading(std::unique_ptr<TNewInifile> ini, IInteractive &interactive)
{
    TNewInifile::SaveAndFree(std::move(ini), interactive);
}

// Opens the file and reads the General values of one section ("Main" or
// "Default"); nothing when the file cannot be read.
std::optional<GeneralPreferences> loadGeneral(const QString &programFolder, const QString &section,
                                              bool openDirDefault, IInteractive &interactive)
{
    auto ini = openPreferences(programFolder, interactive);
    if (!ini)
        return std::nullopt;
    const GeneralPreferences g = readGeneral(*ini, section, programFolder, openDirDefault);
    closeAfterReading(std::move(ini), interactive);
    return g;
}

void writeBatchOptions(TNewInifile &ini, const GeneralPreferences &g)
{
    ini.WriteInteger(MainSection, SynModeKey, g.synMode);
    ini.WriteBool(MainSection, OpenDirKey, g.openDir);
    ini.WriteBool(MainSection, ExitKey, g.exitProgram);
    ini.WriteBool(MainSection, TurnOffKey, g.turnOff);
    ini.WriteBool(MainSection, OverwriteKey, g.overwrite);
    // A file that never had more than one conversion at once keeps its keys
    // as they were.
    if (keepsKey(ini, JobsKey, g.jobs == 1))
        ini.WriteInteger(MainSection, JobsKey, JobsInRange(g.jobs));
    if (keepsKey(ini, OutputPlaceKey, g.outputPlace == 0))
        ini.WriteInteger(MainSection, OutputPlaceKey, g.outputPlace);
    if (keepsKey(ini, NotBiggerKey, !g.notBigger))
        ini.WriteBool(MainSection, NotBiggerKey, g.notBigger);
    if (keepsKey(ini, KeepDatesKey, g.keepDates))
        ini.WriteBool(MainSection, KeepDatesKey, g.keepDates);
    if (keepsKey(ini, SplitMinutesKey, g.splitMinutes == 0))
        ini.WriteInteger(MainSection, SplitMinutesKey, std::clamp(g.splitMinutes, 0, MaxSplitMinutes));
    if (keepsKey(ini, OriginalKey, g.original == 0))
        ini.WriteInteger(MainSection, OriginalKey, g.original);
    if (keepsKey(ini, WhenDoneKey, g.doneCommand.isEmpty()))
        ini.WriteString(MainSection, WhenDoneKey, g.doneCommand);
    if (keepsKey(ini, WhenBatchDoneKey, g.batchDoneCommand.isEmpty()))
        ini.WriteString(MainSection, WhenBatchDoneKey, g.batchDoneCommand);
    if (keepsKey(ini, OnHostsKey, !g.onHosts))
        ini.WriteBool(MainSection, OnHostsKey, g.onHosts);
    if (keepsKey(ini, HostsFileKey, g.hostsFile.isEmpty()))
        ini.WriteString(MainSection, HostsFileKey, g.hostsFile);
    if (keepsKey(ini, SshConfigKey, g.sshConfig.isEmpty()))
        ini.WriteString(MainSection, SshConfigKey, g.sshConfig);
}

} // namespace

int MaxJobs()
{
    return std::max(1, QThread::idealThreadCount());
}

int JobsInRange(int jobs)
{
    return std::clamp(jobs, 1, MaxJobs());
}

QString PreferencesPath(const QString &programFolder)
{
    return QDir(UserDataFolder(programFolder)).filePath(QStringLiteral("Preferences.ini"));
}

std::optional<QString> ReadVersion(const QString &programFolder, IInteractive &interactive)
{
    auto ini = openPreferences(programFolder, interactive);
    if (!ini)
        return std::nullopt;
    const QString version = ini->ReadString(MainSection, VersionKey, QStringLiteral("3.0"));
    closeAfterReading(std::move(ini), interactive);
    return version;
}

std::optional<MainPreferences> LoadMainPreferences(const QString &programFolder, int profileCount,
                                                   IInteractive &interactive)
{
    auto ini = openPreferences(programFolder, interactive);
    if (!ini)
        return std::nullopt;
    MainPreferences m;
    m.outputPath = ini->ReadString(MainSection, OutputPathKey, DefaultOutputFolder(programFolder));
    if (profileCount > 0) {
        m.profileIndex = ini->ReadInteger(MainSection, ProfileKey, 0);
        if (m.profileIndex < 0 || m.profileIndex >= profileCount)
            m.profileIndex = 0;
    }
    closeAfterReading(std::move(ini), interactive);
    return m;
}

bool SaveMainPreferences(const QString &programFolder, const MainPreferences &main,
                         const GeneralPreferences &general, IInteractive &interactive)
{
    auto ini = openPreferences(programFolder, interactive);
    if (!ini)
        return false;
    ini->WriteInteger(MainSection, ProfileKey, main.profileIndex);
    ini->WriteString(MainSection, OutputPathKey, main.outputPath);
    writeBatchOptions(*ini, general);
    return savePreferences(programFolder, std::move(ini), interactive);
}

std::optional<GeneralPreferences> LoadGeneralPreferences(const QString &programFolder,
                                                         IInteractive &interactive)
{
    return loadGeneral(programFolder, MainSection, true, interactive);
}

bool SaveGeneralPreferences(const QString &programFolder, const GeneralPreferences &general,
                            IInteractive &interactive)
{
    auto ini = openPreferences(programFolder, interactive);
    if (!ini)
        return false;
    ini->WriteString(MainSection, OutputPathKey, general.outputPath);
    writeBatchOptions(*ini, general);
    return savePreferences(programFolder, std::move(ini), interactive);
}

std::optional<GeneralPreferences> LoadDefaultPreferences(const QString &programFolder,
                                                         IInteractive &interactive)
{
    return loadGeneral(programFolder, DefaultSection, false, interactive);
}

std::optional<bool> ReadIncludeSubfolders(const QString &programFolder, IInteractive &interactive)
{
    auto ini = openPreferences(programFolder, interactive);
    if (!ini)
        return std::nullopt;
    const bool include = ini->ReadBool(MainSection, IncludeSubfoldersKey, false);
    closeAfterReading(std::move(ini), interactive);
    return include;
}

bool SaveIncludeSubfolders(const QString &programFolder, bool include, IInteractive &interactive)
{
    auto ini = openPreferences(programFolder, interactive);
    if (!ini)
        return false;
    if (keepsKey(*ini, IncludeSubfoldersKey, !include))
        ini->WriteBool(MainSection, IncludeSubfoldersKey, include);
    return savePreferences(programFolder, std::move(ini), interactive);
}
