#pragma once

#include "conversion/conversionview.h"
#include "conversion/outputnaming.h"

#include <QString>
#include <QStringList>

#include <optional>

class IInteractive;

// What Preferences.ini holds for a batch, read without writing the file back.
struct StoredChoices
{
    QString version = QStringLiteral("3.0");
    QString outputPath;
    int profileIndex = 0;
    bool overwrite = true;
    int jobs = 1;
};

StoredChoices ReadStoredChoices(const QString &programFolder, IInteractive &interactive);

// What the command line of the batch mode asks for, checked for its form
// alone: no file, folder or profile has been looked at.
struct BatchCommandLine
{
    enum class Action { Convert, Help, Version, ListProfiles };
    Action action = Action::Convert;
    QString helpText;          // Action::Help: what --help prints
    QString profile;           // as named with --profile; empty: the stored choice
    QString output;            // as named with --output; empty: the stored one
    bool outputGiven = false;
    bool rename = false;       // --rename, or the stored choice without --overwrite
    int jobs = 1;
    std::optional<QString> start;
    std::optional<QString> end;
    bool recursive = false;
    OutputPlace place = OutputPlace::Folder;
    QStringList settings;      // --set, in order
    QString watch;             // the folder named with --watch
    int settleMs = 0;          // --settle, in milliseconds
    QStringList paths;         // the positional arguments
    // Where the tasks run: on the hosts of this file over SSH (--hosts).
    QString hostsFile;
    QString sshConfig;         // --ssh-config, for ssh -F
    bool skipExisting = false; // --skip-existing: an output already there and checked is kept
    BatchOptions afterwards;   // --not-bigger, --no-keep-dates, --original, --when-done, --when-batch-done
};

// The options, or the reason they are bad usage (the message to print).
struct ParsedCommandLine
{
    BatchCommandLine options;
    QString usageError;
    bool ok() const { return usageError.isEmpty(); }
};

// Reads a batch command line (arguments: the program name first, as
// QCoreApplication::arguments() has them) with the stored choices as
// defaults. Does nothing else: prints nothing, opens nothing.
ParsedCommandLine ParseBatchCommandLine(const QStringList &arguments, const StoredChoices &stored);
