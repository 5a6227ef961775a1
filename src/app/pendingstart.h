#pragma once

#include <QObject>
#include <QString>

// A Start that came while files were still being added. The batch waits for
// them: it starts by itself once every file is listed, so that it reads the
// rows as they are then, unless the adding is cancelled, Stop is clicked or
// the window closes meanwhile.
class PendingStart final : public QObject
{
    Q_OBJECT
public:
    // What the progress panel shows while the batch waits.
    static QString waitingText();

    explicit PendingStart(QObject *parent = nullptr);
    Q_DISABLE_COPY_MOVE(PendingStart)

    bool isWaiting() const { return m_waiting; }
    // The batch waits from now on; nothing when it waits already.
    void wait();
    // Every file being added is listed: a waiting batch starts (start()).
    void addingFinished();
    // The adding was cancelled, or Stop was clicked: a waiting batch does
    // not start (cancelled()).
    void cancel();

signals:
    void start();
    void cancelled();

private:
    bool m_waiting = false;
};
