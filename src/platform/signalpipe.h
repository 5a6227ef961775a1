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

signals:
    void caught(int signal);

private:
    void drain();

    QSocketNotifier *m_notifier = nullptr;
};
