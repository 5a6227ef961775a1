#pragma once

#include "platform/interactive.h"

#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>

// The program's message boxes, opened over a window without waiting for them
// (window-modal when there is an owner), one at a time: a box asked for while
// another is up waits for it, in the order of the calls. A request that is
// the same as one that is up or waits (same kind, caption and text) gets no
// box of its own: its callback follows with that box's answer. So a source that
// repeats itself, such as a watched folder meeting the same refusal at every
// new file, cannot pile boxes up.
class WidgetInteractive final : public IInteractive
{
public:
    explicit WidgetInteractive(QWidget *owner = nullptr);
    ~WidgetInteractive() override;
    Q_DISABLE_COPY_MOVE(WidgetInteractive)

    // The window that owns the boxes opened from now on; null for none.
    void setOwner(QWidget *owner);
    QWidget *owner() const { return m_owner; }

    void showMessage(MessageKind kind, const QString &caption, const QString &text,
                     std::function<void()> closed = {}) override;
    // Question icon, Yes and No.
    void ask(const QString &caption, const QString &text, DefaultAnswer enter,
             std::function<void(bool)> answered) override;

    // Drops the requests that wait; the box that is up stays until it is
    // closed. Nothing dropped gets its callback.
    void discard();
    // The box that is up, or null.
    QMessageBox *box() const { return m_box; }
    // The requests that wait behind the box that is up.
    qsizetype waiting() const { return m_requests.size() - (m_box ? 1 : 0); }

private:
    struct Request
    {
        QMessageBox::Icon icon;
        QString caption;
        QString text;
        bool question = false;
        DefaultAnswer enter = DefaultAnswer::Yes;
        QList<std::function<void(bool)>> replies;
    };

    void enqueue(Request request);
    void openNext();
    void onFinished(bool yes);

    QPointer<QWidget> m_owner;
    QList<Request> m_requests; // the first one is up while m_box is
    QMessageBox *m_box = nullptr; // the box that is up
};
