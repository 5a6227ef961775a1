#pragma once

#include "conversion/aftersuccess.h"

#include "conversion/outputnaming.h"

#include <QList>
#include <QString>

#include <functional>

// The end-of-batch and overwrite choices, read from the Settings window at the
// moment they are needed.
struct BatchOptions
{
    bool rename = false;      // rdbRename: rename instead of overwriting
    bool openDir = false;     // chkOpenDir: open the output folder at the end
    bool exitProgram = false; // chkExit: close the program at the end
    bool turnOff = false;     // chkTurnoff: power the computer off at the end
    int jobs = 1;             // how many engines convert at once (read when a batch begins)
    OutputPlace place = OutputPlace::Folder; // where the outputs go (read when a batch begins)
    // Read when each task begins (the first two) or ends (the rest):
    bool notBigger = false;   // an output not smaller than its input is discarded
    bool keepDates = true;    // an output takes its input's modification time and tags
    double segmentMinutes = 0; // inputs longer than this are converted in segments of it; 0: never
    OriginalAction original = OriginalAction::Keep; // what becomes of an input once its output is committed
    QString doneCommand{};    // run for each task that ended (a command line; empty: none)
    QString batchDoneCommand{}; // run once the batch has ended
    QString homeTrash{};      // the trash of the user's own volume; empty: $XDG_DATA_HOME/Trash
};

// What the conversion run shows and reads in the main window.
class ConversionView
{
public:
    virtual ~ConversionView() = default;

    virtual void setConvertingFile(const QString &text) = 0;           // labConvertingFile
    virtual void setElapsedText(const QString &text) = 0;              // labElapsed
    virtual void setRemainingText(const QString &text) = 0;            // labRemaining
    virtual void setCurrentProgress(int position, const QString &label) = 0; // pgbCurrent, labCurProgress
    virtual void setTotalProgress(int position, const QString &label) = 0;   // pgbTotal, labTotalProgress
    // panBottomLeft (progress) while running, panBottomCenter (profile, output) otherwise.
    virtual void showProgressPanel(bool running) = 0;
    virtual void setMemoText(const QString &text) = 0;                 // Memo1
    virtual void setTimerEnabled(bool enabled) = 0;                    // timerTime
    // Once per batch, when it is over (converted, stopped, failed to start or
    // abandoned), before the message that says how it ended: `rows` are the
    // rows the batch was to convert, with the results they have now.
    virtual void batchEnded(const QList<int> &rows) = 0;
    virtual QString outputFolder() const = 0;                          // edtOutputdir, as typed
    virtual QString outputExt() const = 0; // "." + Type of the profile loaded in the main window
    virtual BatchOptions batchOptions() const = 0;
    virtual void closeMainWindow() = 0;
    // Before turning the computer off: a 30-second countdown with a Cancel
    // button, opened without waiting for it. `answered` follows with true when
    // it ran out, false on Cancel; never when the window went away first.
    virtual void requestPowerOffConfirmation(std::function<void(bool)> answered) = 0;
};
