#pragma once

#include "platform/interactive.h"

#include <QObject>
#include <QString>

class ConversionView;
class IPowerControl;
class IShell;

// What a batch came to, for its end.
struct BatchOutcome
{
    QString startFailure; // the message of an engine that could not start
    bool stopped = false; // Stop ended it
    int failed = 0;       // tasks that failed
    int total = 0;        // tasks of the batch
    QString outputFolder; // as typed when the batch began
};

// Carries out the end of a batch: the message that says how it ended, then
// the end-of-batch choices (open the output folder, close the program, turn
// the computer off), read from the view now. Nothing here waits: each message
// and the power-off countdown is opened, and the next step follows its answer.
// done() is emitted once at the end, unless the end is abandoned first; an
// answer that comes after abandon() does nothing.
class BatchEnd final : public QObject
{
    Q_OBJECT
public:
    BatchEnd(ConversionView &view, IInteractive &interactive, IShell &shell, IPowerControl &power,
             QObject *parent = nullptr);
    Q_DISABLE_COPY_MOVE(BatchEnd)

    void begin(const BatchOutcome &outcome);
    // The program goes away: nothing more is shown, opened or turned off.
    void abandon();
    bool isActive() const { return m_active; }

signals:
    // The end is carried out; `closeWindow` when the program is to close.
    void done(bool closeWindow);

private:
    void show(IInteractive::MessageKind kind, const QString &caption, const QString &text, void (BatchEnd::*next)());
    void onPowerOffAnswer(bool confirmed);
    void complete();
    void openFolder();
    void finish(bool closeWindow);
    void finishOpen() { finish(false); }

    ConversionView &m_view;
    IInteractive &m_interactive;
    IShell &m_shell;
    IPowerControl &m_power;
    BatchOutcome m_outcome;
    bool m_active = false;
    int m_generation = 0; // answers of an earlier end or of an abandoned one are ignored
};
