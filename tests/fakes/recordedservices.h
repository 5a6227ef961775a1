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
        return result;
    }

    RecordingInteractive interactive;
    RecordingDialogs dialogs;
    RecordingShell shell;
    RecordingPowerControl power;
    RecordingSleepInhibitor sleep;
    RecordingDesktopNotifier desktop;
};
