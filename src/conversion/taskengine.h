#pragma once

#include "conversion/enginecommand.h"
#include "conversion/taskrecord.h"

#include <QObject>

#include <functional>

// What runs one conversion task's engine for a ConversionJob: the engine on
// this machine (EngineProcess) or on another one (RemoteEngine). Either
// reports the same way: started() once it works, its output as chunks,
// ended() once it is over and its output file, if any, is at the command's
// output path on this machine.
class TaskEngine : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    virtual void launch(const QString &enginePath, const EngineCommand &command) = 0;
    // Asks the engine to end; kills it when it does not within a grace time.
    virtual void TerminateEngine() = 0;
    virtual void kill() = 0;
    virtual void suspendEngine() = 0;
    virtual void resumeEngine() = 0;
    // Kills the engine and waits until it is gone, emitting nothing more.
    virtual void killAndWait() = 0;
    virtual bool isRunning() const = 0;
    // Why an engine that ended with a failure failed, as a sentence, when
    // it can tell; and what a good output is told with. Empty by default.
    virtual QString failureReason() const { return QString(); }
    virtual QString note() const { return QString(); }

signals:
    void started();
    void chunkRead(const QString &text);
    void ended(int exitCode, bool crashed);
    void failedToStart(const QString &error);
};

// Makes the engine of `task` (converted with the parameter string
// `params`), a child of `parent`.
using TaskEngineFactory = std::function<TaskEngine *(const ltvItemData &task, const QString &params, QObject *parent)>;
