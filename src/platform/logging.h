#pragma once

#include <QLoggingCategory>
#include <QStringList>

// The program's diagnostic output, one category per area. All of them are
// quiet unless turned on, e.g. QT_LOGGING_RULES="vantorix.*=true" for all or
// "vantorix.engine.info=true" for one; each line starts with its category.
//
// vantorix.engine    each engine command line as it starts
// vantorix.probe     the media library that could not be loaded, and why
// vantorix.run       the conversion run's decisions
// vantorix.recovery  task lists and temporaries a crashed session left, and
//                    what was done with them
// vantorix.desktop   desktop notices that could not be shown
// vantorix.start     the main window's start: the messages that wait for its
//                    first show and are opened after it
// vantorix.watch     a watched folder: what settled in it and what became of it
// vantorix.check     the check of every output: passed or failed, and why
// vantorix.workfolder the private work folders of a run: made and removed
Q_DECLARE_LOGGING_CATEGORY(lcEngine)
Q_DECLARE_LOGGING_CATEGORY(lcProbe)
Q_DECLARE_LOGGING_CATEGORY(lcRun)
Q_DECLARE_LOGGING_CATEGORY(lcRecovery)
Q_DECLARE_LOGGING_CATEGORY(lcDesktop)
Q_DECLARE_LOGGING_CATEGORY(lcStart)
Q_DECLARE_LOGGING_CATEGORY(lcWatch)
Q_DECLARE_LOGGING_CATEGORY(lcCheck)
Q_DECLARE_LOGGING_CATEGORY(lcWorkFolder)

// program and its arguments as one line a POSIX shell reads back as the same
// words: a word of anything but letters, digits and _./:=+,@%- is quoted.
QString ShellCommandLine(const QString &program, const QStringList &arguments);
