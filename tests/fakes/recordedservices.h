#pragma once
// Every service the main window reaches the system through, recorded instead
// of carried out: messages, dialogs, the shell, power off, the sleep block and
// what the desktop is told.

#include "app/mainform.h"
#include "fakes/recorders.h"
#include "fakes/recordingdialogs.h"

struct RecordedServices
{
    // The services for a main window running from programFolder with these
    // command-line arguments.
    MainFormServices services(const QString &programFolder, const QStringList &arguments = {})
    {
        MainFormServices result;
        result.programFolder = programFolder;
        result.arguments = arguments;
        result.interactive = &interactive;
        result.dialogs = &dialogs;
        result.shell = &shell;
        result.power = &power;
        result.sleepInhibitor = &sleep;
        result.desktop = &desktop;
        // Each window keeps its task list apart from every other unless a
        // test names the folder: a window a test drops without closing
        // leaves its list as a crash would.
        result.recoveryFolder = recoveryFolder.isEmpty()
                                    ? programFolder + QStringLiteral("recovery-%1/").arg(++m_windows)
                                    : recoveryFolder;
        return result;
    }

    // Where the windows keep their task lists; empty: a folder of each
    // window's own in its program folder.
    QString recoveryFolder;

    RecordingInteractive interactive;
    RecordingDialogs dialogs;
    RecordingShell shell;
    RecordingPowerControl power;
    RecordingSleepInhibitor sleep;
    RecordingDesktopNotifier desktop;

private:
    int m_windows = 0;
};
