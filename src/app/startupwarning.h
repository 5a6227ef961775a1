#pragma once

#include "platform/interactive.h"

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>

// The main window's messages, with the ones that need no answer held back
// while the window is made and first shown (a profile that cannot be used,
// preferences that cannot be read) and opened once it is up, one after the
// other, each with QMessageBox::open(). A box opened with exec() before the
// program's event loop runs would run a loop of its own: a signal to end the
// program that came then would close the box and let the program go on.
// Opened this way, whatever comes while a box is up (a signal, a close) is
// handled by the program's loop as at any other moment.
//
// Questions need their answer at once and go straight to the boxes given; so
// do all messages after open().
class StartupWarning final : public QObject, public IInteractive
{
    Q_OBJECT
public:
    explicit StartupWarning(IInteractive &boxes, QObject *parent = nullptr);
    ~StartupWarning() override;
    Q_DISABLE_COPY_MOVE(StartupWarning)

    // Opens what was held, over owner; from now on nothing is held.
    void open(QWidget *owner);
    // Drops what has not been shown yet; a box that is up stays up.
    void discard();
    // The messages held and not yet shown, the one that is up among them.
    qsizetype pending() const { return m_held.size(); }

    void information(const QString &caption, const QString &text) override;
    void warning(const QString &caption, const QString &text) override;
    void plainMessage(const QString &text) override;
    bool question(const QString &caption, const QString &text) override;
    bool questionDefaultNo(const QString &caption, const QString &text) override;
    void error(const QString &text) override;

private:
    struct Message
    {
        QMessageBox::Icon icon;
        QString caption;
        QString text;
    };

    void show(const Message &message);
    void openNext();

    IInteractive &m_boxes;
    bool m_holding = true;
    QList<Message> m_held;
    QPointer<QWidget> m_owner;
    QPointer<QMessageBox> m_box;
};
