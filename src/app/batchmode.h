#pragma once

#include <QString>
#include <QStringList>

class ParameterGrids;

// The program without a window (the command line carries --batch): converts the
// named files, folders or ".tmp" list with a profile, printing progress on
// standard error and a summary at the end. It never writes Preferences.ini or a
// profile. Returns the exit status: 0 when every task completed, 1 when any did
// not, 2 for bad usage, 130 after SIGINT or SIGTERM.
int RunBatch(int argc, char **argv);

// True when the command line asks for the batch mode.
bool WantsBatch(int argc, char **argv);

// Exit statuses of the batch mode.
constexpr int BatchCompleted = 0;
constexpr int BatchFailed = 1;
constexpr int BatchUsage = 2;
constexpr int BatchInterrupted = 130;

// Sets one grid value from a "Parameter=Value" text as a person could in the
// parameter grids: a list parameter takes one of its choices (letter case
// ignored) and "Video Size" also a custom WIDTHxHEIGHT; a read-only parameter
// takes nothing. Returns the reason when it cannot be set, else the empty text.
QString ApplyGridSetting(ParameterGrids &grids, const QString &setting);

// True when a display can be opened for the window: the platform named by
// -platform or QT_QPA_PLATFORM answers (offscreen and other platforms without
// a display server always do), or, with none named, an X server or a Wayland
// compositor is there.
bool DisplayAvailable(const QStringList &arguments);
