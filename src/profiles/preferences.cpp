#include "profiles/preferences.h"

#include "profiles/newinifile.h"

#include <QDir>

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

GeneralPreferences readGeneral(const TNewInifile &ini, const QString &section, const QString &programFolder,
                               bool openDirDefault)
{
    GeneralPreferences g;
    g.outputPath = ini.ReadString(section, OutputPathKey, programFolder);
    g.synMode = ini.ReadInteger(section, SynModeKey, 0);
    g.openDir = ini.ReadBool(section, OpenDirKey, openDirDefault);
    g.exitProgram = ini.ReadBool(section, ExitKey, false);
    g.turnOff = ini.ReadBool(section, TurnOffKey, false);
    g.overwrite = ini.ReadBool(section, OverwriteKey, true);
    return g;
}

// Opens the file, reads the General values of one section ("Main" or
// "Default") and writes the file back; nothing when either step failed.
std::optional<GeneralPreferences> loadGeneral(const QString &programFolder, const QString &section,
                                              bool openDirDefault, IInteractive &interactive)
{
    auto ini = TNewInifile::Create(PreferencesPath(programFolder), interactive);
    if (!ini)
        return std::nullopt;
    const GeneralPreferences g = readGeneral(*ini, section, programFolder, openDirDefault);
    if (!TNewInifile::SaveAndFree(std::move(ini), interactive))
        return std::nullopt;
    return g;
}

void writeBatchOptions(TNewInifile &ini, const GeneralPreferences &g)
{
    ini.WriteInteger(MainSection, SynModeKey, g.synMode);
    ini.WriteBool(MainSection, OpenDirKey, g.openDir);
    ini.WriteBool(MainSection, ExitKey, g.exitProgram);
    ini.WriteBool(MainSection, TurnOffKey, g.turnOff);
    ini.WriteBool(MainSection, OverwriteKey, g.overwrite);
}

} // namespace

QString PreferencesPath(const QString &programFolder)
{
    return QDir(programFolder).filePath(QStringLiteral("Preferences.ini"));
}

std::optional<QString> ReadVersion(const QString &programFolder, IInteractive &interactive)
{
    auto ini = TNewInifile::Create(PreferencesPath(programFolder), interactive);
    if (!ini)
        return std::nullopt;
    const QString version = ini->ReadString(MainSection, VersionKey, QStringLiteral("3.0"));
    if (!TNewInifile::SaveAndFree(std::move(ini), interactive))
        return std::nullopt;
    return version;
}

std::optional<MainPreferences> LoadMainPreferences(const QString &programFolder, int profileCount,
                                                   IInteractive &interactive)
{
    auto ini = TNewInifile::Create(PreferencesPath(programFolder), interactive);
    if (!ini)
        return std::nullopt;
    MainPreferences m;
    m.outputPath = ini->ReadString(MainSection, OutputPathKey, programFolder);
    if (profileCount > 0) {
        m.profileIndex = ini->ReadInteger(MainSection, ProfileKey, 0);
        if (m.profileIndex < 0 || m.profileIndex >= profileCount)
            m.profileIndex = 0;
    }
    if (!TNewInifile::SaveAndFree(std::move(ini), interactive))
        return std::nullopt;
    return m;
}

bool SaveMainPreferences(const QString &programFolder, const MainPreferences &main,
                         const GeneralPreferences &general, IInteractive &interactive)
{
    auto ini = TNewInifile::Create(PreferencesPath(programFolder), interactive);
    if (!ini)
        return false;
    ini->WriteInteger(MainSection, ProfileKey, main.profileIndex);
    ini->WriteString(MainSection, OutputPathKey, main.outputPath);
    writeBatchOptions(*ini, general);
    return TNewInifile::SaveAndFree(std::move(ini), interactive);
}

std::optional<GeneralPreferences> LoadGeneralPreferences(const QString &programFolder,
                                                         IInteractive &interactive)
{
    return loadGeneral(programFolder, MainSection, true, interactive);
}

bool SaveGeneralPreferences(const QString &programFolder, const GeneralPreferences &general,
                            IInteractive &interactive)
{
    auto ini = TNewInifile::Create(PreferencesPath(programFolder), interactive);
    if (!ini)
        return false;
    ini->WriteString(MainSection, OutputPathKey, general.outputPath);
    writeBatchOptions(*ini, general);
    return TNewInifile::SaveAndFree(std::move(ini), interactive);
}

std::optional<GeneralPreferences> LoadDefaultPreferences(const QString &programFolder,
                                                         IInteractive &interactive)
{
    return loadGeneral(programFolder, DefaultSection, false, interactive);
}
