#pragma once

#include <QString>
#include <QStringList>

#include <cstdio>

// The program without a window (the command line carries --batch): converts the
// named files, folders or ".tmp" list with a profile, printing progress on
// standard error and a summary at the end. It never writes Preferences.ini or a
// profile. Returns the exit status: 0 when every task completed, 1 when any did
// not, 2 for bad usage, 130 after SIGINT or SIGTERM.
int RunBatch(int argc, char **argv);

// Writes one line of the batch mode's output to `stream` at once, in the
// local encoding.
void PrintLine(std::FILE *stream, const QString &line);

// True when the command line asks for the batch mode.
bool WantsBatch(int argc, char **argv);

// Exit statuses of the batch mode.
constexpr int BatchCompleted = 0;
constexpr int BatchFailed = 1;
constexpr int BatchUsage = 2;
constexpr int BatchInterrupted = 130;
