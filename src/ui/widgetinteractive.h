#pragma once

#include "platform/interactive.h"

#include <QPointer>
#include <QWidget>

// The program's message boxes: modal boxes owned by a window.
class WidgetInteractive final : public IInteractive
{
public:
    explicit WidgetInteractive(QWidget *owner = nullptr);
    Q_DISABLE_COPY_MOVE(WidgetInteractive)

    // The window that owns the boxes from now on; null for none.
    void setOwner(QWidget *owner);
    QWidget *owner() const { return m_owner; }

    // Information icon and OK.
    void information(const QString &caption, const QString &text) override;
    // Warning icon and OK.
    void warning(const QString &caption, const QString &text) override;
    // No icon, OK; the program's name as caption.
    void plainMessage(const QString &text) override;
    // Question icon, Yes and No; true for Yes.
    bool question(const QString &caption, const QString &text) override;
    // Question icon, Yes and No, No by default; true for Yes.
    bool questionDefaultNo(const QString &caption, const QString &text) override;
    // Critical icon and OK; the program's name as caption.
    void error(const QString &text) override;
    // The box of that kind, opened without waiting for it (window-modal when
    // there is an owner); `closed` follows when it is closed.
    void showMessage(MessageKind kind, const QString &caption, const QString &text,
                     std::function<void()> closed = {}) override;

private:
    QPointer<QWidget> m_owner;
};
