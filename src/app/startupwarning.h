#pragma once

#include "platform/interactive.h"

#include <QList>

// The main window's messages and questions, held back while the window is
// made and first shown (a profile that cannot be used, preferences that cannot
// be read, a task list left by a lost session) and handed to the boxes given
// once it is up, one after the other: the next when the one before is closed.
// Nothing is opened before the program's event loop runs, and whatever comes
// while a box is up (a signal, a close) is handled by that loop as at any
// other moment.
//
// Once nothing held is left, everything goes straight to the boxes.
class StartupWarning final : public IInteractive
{
public:
    explicit StartupWarning(IInteractive &boxes);
    Q_DISABLE_COPY_MOVE(StartupWarning)

    // Hands on what was held; from now on nothing is held.
    void open();
    // Drops what has not been handed on yet; a box that is up stays up.
    void discard();
    // The requests held and not yet answered, the one that is up among them.
    qsizetype pending() const { return m_held.size(); }

    void showMessage(MessageKind kind, const QString &caption, const QString &text,
                     std::function<void()> closed = {}) override;
    void ask(const QString &caption, const QString &text, DefaultAnswer enter,
             std::function<void(bool)> answered) override;

private:
    struct Request
    {
        bool question = false;
        MessageKind kind = MessageKind::Information;
        DefaultAnswer enter = DefaultAnswer::Yes;
        QString caption;
        QString text;
        std::function<void(bool)> reply;
    };

    void hold(Request request);
    void handOnNext();

    IInteractive &m_boxes;
    bool m_holding = true;
    bool m_up = false; // the first one held is up
    QList<Request> m_held;
};
