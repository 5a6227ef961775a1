#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class IInteractive;
class ParameterGrids;

// Profiles: files Profiles/<name>.apf under the program folder. Section "Main"
// holds "Type" (the output extension without its dot), "Para" (the number of
// parameters) and the keys 0, 1, ... naming each parameter; every parameter
// has a section of its own with "Sort" (1 Video, 2 Audio, 3 Advanced),
// "ReadOnly", "List", "Caption", "Value", "Index" and "cmd" (the engine switch).
//
// Every operation takes the profile's full path and does nothing when no file
// of that name exists.

// Splits a list text into its items: every item is followed by a comma, and
// text after the last comma is not an item ("a,b,c," gives a, b and c; "a,b,c"
// gives a and b; ",," gives two empty items). Items are not trimmed.
QStringList SplitList(const QString &text);

// The profiles that ship with the program: programFolder (ending with a
// separator) + "Profiles/".
QString ProfilesFolder(const QString &programFolder);
// Where the user's own profiles go ("Save as..." and the edits of a shipped
// profile that cannot be written in place): the Profiles folder under
// UserDataFolder(programFolder), which is ProfilesFolder(programFolder) itself
// when the program folder is writable.
QString UserProfilesFolder(const QString &programFolder);
// The path of the profile named name: the user's profile of that name when
// there is one, else the shipped one (which need not exist).
QString ProfilePath(const QString &programFolder, const QString &name);
// Where edits of the profile named name are written: the path it is read
// from, unless that is a shipped profile in a program folder the user cannot
// write to; then the user's profile of that name, made from the shipped one.
QString WritableProfilePath(const QString &programFolder, const QString &name);
// The profile's name: its file name without the extension.
QString ProfileName(const QString &path);

// The names of the shipped profiles and the user's together, each name once,
// sorted by name ignoring letter case, except that the names in
// ListedLastProfiles come after all others, in the order given there. A
// stored position in this list keeps naming the same profile from one start to
// the next, and profiles shipped by a later version (listed last) leave the
// positions of the earlier ones as they were.
QStringList ProfileList(const QString &programFolder);

// The file in the shipped Profiles folder that names, one a line, the profiles
// listed after all others; blank lines and lines starting with '#' are not
// names.
inline constexpr char ListedLastFileName[] = "listed-last.txt";
// The names that file gives; none when it is missing.
QStringList ListedLastProfiles(const QString &programFolder);
// Orders names as ProfileList does.
void SortProfileNames(QStringList &names, const QStringList &listedLast);

enum class ProfileStatus {
    Missing,   // no such file; nothing was touched
    Loaded,    // done
    Malformed, // done as far as possible; the fault was reported
    Failed,    // the file could not be read or written back; reported
};

// Fills the three grids from the profile at path (their previous rows are
// deleted). When outputExt is given (the main window), it becomes "." + the
// profile's "Type" ("mp4" when the file names none); it is left as it was
// when the Type is not safe in a file name.
//
// What the file leaves out takes its default: a profile without [Main], or
// with no "Para" or "Para=0", has no parameters and converts with the
// engine's own settings. A malformed profile is reported as one "Malformed
// profile" warning naming the profile and its problems (the first 10, then
// how many more), and gives Malformed; what it holds is loaded as far as it
// goes. Malformed are: a "Type" that is empty after trimming or holds a path
// separator or ".."; a position below "Para" that names no parameter; a list
// parameter whose "Index" has no choice, or whose chosen position has no
// engine value (its row is still added, with an empty value).
ProfileStatus LoadProfile(const QString &path, ParameterGrids &grids, IInteractive &interactive,
                          QString *outputExt = nullptr);

// The engine options for the profile at path and the values the grids show
// now: empty, or a run of " switch value" pairs in the profile's order. The
// empty text when the file does not exist. Nothing (after reporting) when the
// profile is malformed as LoadProfile tells it, or its file cannot be
// rewritten: the batch must not start then.
std::optional<QString> BuildParameterString(const QString &path, const ParameterGrids &grids,
                                            IInteractive &interactive);

// Writes the grids' values into the profile at path: "Index" for list
// parameters, "Caption" and "Value" for free-text ones; read-only parameters
// and parameters without a grid row are left as they are. False when the file
// could not be written (reported).
bool SaveProfile(const QString &path, const ParameterGrids &grids, IInteractive &interactive);

// Copies the profile at source to target, replacing any file there, then
// SaveProfile on target. The source is not changed unless it is the target.
// False when a file could not be read or written (reported).
bool SaveProfileAs(const QString &source, const QString &target, const ParameterGrids &grids,
                   IInteractive &interactive);

// SaveProfile of the grids' values from the profile at source into target:
// when the values change nothing, no file is written; otherwise source is
// updated in place when target is source, else target becomes source with the
// new values (its folder is created when missing). False when a file could
// not be read or written (reported).
bool SaveProfileTo(const QString &source, const QString &target, const ParameterGrids &grids,
                   IInteractive &interactive);
