#pragma once

#include <QString>

#include <functional>

// Where the program keeps what the user changes: Preferences.ini and the
// profiles saved with "Save as...". A program folder the user can write to
// keeps them itself (a portable copy of the program); an installed program
// folder, read-only for users, leaves them to the user's configuration folder,
// and the shipped profiles stay where they are.

// The user's configuration folder for the program, ending with a separator:
// QStandardPaths' AppConfigLocation of the application "Vantorix" (for example
// ~/.config/Vantorix/ on Linux). The name is fixed here rather than read from
// the application object, so that the window and the batch mode agree whether
// or not the name has been set yet.
QString UserConfigFolder();

// Whether files can be created in programFolder. Decided once per folder and
// run, by creating and removing a file there, so that the answer holds for the
// running user whatever the permission bits say (root writes past them).
bool IsProgramFolderWritable(const QString &programFolder);

// The folder that holds Preferences.ini and the user's profiles, ending with a
// separator: programFolder when it is writable, else UserConfigFolder().
QString UserDataFolder(const QString &programFolder);

// The output folder when none is stored: programFolder when it is writable,
// else the user's videos folder when there is one, else the home folder;
// ending with a separator.
QString DefaultOutputFolder(const QString &programFolder);

// Replaces the writability test, for tests that cannot make a folder
// read-only for themselves; an empty function restores the real test. Every
// decision taken so far is forgotten.
using FolderWritableTest = std::function<bool(const QString &folder)>;
void SetFolderWritableTest(FolderWritableTest test);
