#pragma once

#include <QString>

#include <optional>

class IInteractive;

// The user's preferences in Preferences.ini: in the program folder when it is
// writable, else in the user's configuration folder (see userfolder.h). Section
// "Main" holds the live values, section "Default" the values "Load Default"
// restores. The windows hold the values in their controls and bind them to
// these structures.

// The main window's part: its output folder and the position of its profile.
struct MainPreferences
{
    QString outputPath;
    int profileIndex = -1; // -1: no profile selected
};

// The Settings window's General tab.
struct GeneralPreferences
{
    QString outputPath;
    int synMode = 0;          // 0 "Auto", 1 "Force Mode", 2 "Progressive Mode"
    bool openDir = true;      // open the output folder when the batch is done
    bool exitProgram = false; // exit the program when the batch is done
    bool turnOff = false;     // turn the computer off when the batch is done
    bool overwrite = true;    // false: rename to <name>_<index> instead
    int jobs = 1;             // conversions at once, 1 to MaxJobs()
    int outputPlace = 0;      // 0 into the output folder, 1 keeping the folder tree, 2 beside each input
    // The After Conversion tab.
    bool notBigger = false;   // discard an output not smaller than its input
    bool keepDates = true;    // an output takes its input's modification time and tags
    int original = 0;         // once an output is checked: 0 keep the input, 1 trash it, 2 delete it
    QString doneCommand;      // run for each file that ended; empty: none
    QString batchDoneCommand; // run when the batch has ended; empty: none
    // The Hosts tab (Convert on): the tasks run on this computer, or on the hosts of a
    // hosts file over SSH (with an ssh configuration file, when given).
    bool onHosts = false;
    QString hostsFile;
    QString sshConfig;
    int splitMinutes = 0;     // inputs longer than this convert in segments of it; 0: never
};

// The longest segment the Settings window offers, in minutes (a day).
inline constexpr int MaxSplitMinutes = 24 * 60;

// The most conversions that may run at once: the number of processor cores.
int MaxJobs();
// `jobs` held within 1 to MaxJobs().
int JobsInRange(int jobs);

// UserDataFolder(programFolder) + "Preferences.ini".
QString PreferencesPath(const QString &programFolder);

// Every operation below opens the file, reads or writes, and writes the file
// back at once when it wrote something (creating it, and the configuration
// folder, when missing); reading writes nothing. A file that cannot be read
// gives nothing or false, a file that cannot be written false, each reported
// once through interactive. Where the output folder is not stored, it is
// DefaultOutputFolder(programFolder).

// "Version" of "Main"; "3.0" when missing.
std::optional<QString> ReadVersion(const QString &programFolder, IInteractive &interactive);

// "Output Path" of "Main" (default programFolder) and, only when there are
// profiles (profileCount > 0), "Profile" (default 0). A stored position that is
// not in the profile list gives the first profile.
std::optional<MainPreferences> LoadMainPreferences(const QString &programFolder, int profileCount,
                                                   IInteractive &interactive);

// At the main window's close: "Profile", "Output Path" (the main window's),
// "Syn Mode", "Auto Open Dir", "Auto Exit", "Auto Turn Off", "Overwrite", in
// this order, then "Jobs" when it is not 1 or the file has it already.
// general.outputPath is not written.
bool SaveMainPreferences(const QString &programFolder, const MainPreferences &main,
                         const GeneralPreferences &general, IInteractive &interactive);

// The General values from "Main", at the Settings window's creation.
std::optional<GeneralPreferences> LoadGeneralPreferences(const QString &programFolder,
                                                         IInteractive &interactive);

// At the Settings window's OK: "Output Path", "Syn Mode", "Auto Open Dir",
// "Auto Exit", "Auto Turn Off", "Overwrite", in this order, and "Jobs" as above,
// then "Output Place" likewise (written when not 0 or present), and so the
// After Conversion values: "Not Bigger", "Keep Dates", "Original", "When Done",
// "When Batch Done".
bool SaveGeneralPreferences(const QString &programFolder, const GeneralPreferences &general,
                            IInteractive &interactive);

// "Load Default": the General values from section "Default" ("Auto Open Dir"
// defaults to false there). No key is written.
std::optional<GeneralPreferences> LoadDefaultPreferences(const QString &programFolder,
                                                         IInteractive &interactive);

// "Include Subfolders" of "Main": whether Add Directory, a dropped folder and a
// folder on the command line bring the files of subfolders too (default no).
std::optional<bool> ReadIncludeSubfolders(const QString &programFolder, IInteractive &interactive);
// Stores the choice (a file that never had it keeps its keys while it is no).
bool SaveIncludeSubfolders(const QString &programFolder, bool include, IInteractive &interactive);
