#pragma once

#include <QObject>

class QSocketNotifier;

// The signals that ask the program to end (SIGINT from a terminal's Ctrl+C,
// SIGTERM, SIGHUP when the terminal goes away), delivered on the event loop's
// thread: the handler only writes the signal's number into a pipe, and a
// notifier on the pipe emits caught() from the loop, so that the program ends
// through its ordinary paths (engines stopped, files removed, preferences
// saved). A signal that arrives before the loop runs waits in the pipe. A
// signal the program was started with ignored (nohup) stays ignored.
// One instance at a time; the signals get their default action back when it
// is destroyed.
class SignalPipe final : public QObject
{
    Q_OBJECT
public:
    explicit SignalPipe(QObject *parent = nullptr);
    ~SignalPipe() override;
    Q_DISABLE_COPY_MOVE(SignalPipe)

    // False when the pipe could not be made: the signals keep their default
    // action then.
    bool isValid() const { return m_notifier != nullptr; }

    // Takes the job-control signals too: SIGTSTP (a terminal's Ctrl+Z) no
    // longer stops the program but emits suspendRequested(), so that the
    // program can hold its own children first and then stop itself with
    // stopProgram(); SIGCONT emits continued(). Unless this is called, both
    // keep their default action.
    void handleJobControl();

    // Stops the program as SIGTSTP's default action does (a shell then shows
    // the job stopped) and returns once it is continued. Where the system does
    // not stop it (a process group without a shell to continue it), it
    // returns at once.
    void stopProgram();

signals:
    void caught(int signal);
    void suspendRequested();
    void continued();

private:
    void drain();

    QSocketNotifier *m_notifier = nullptr;
};
