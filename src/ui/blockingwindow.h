#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;

// A secondary window that blocks its owner without a modal loop: created once,
// hidden and shown again any number of times. Each showing centres it on the
// owner and disables the owner; each closing, by any means (its own buttons
// call close(), or the title-bar button), enables the owner again. The window
// has a fixed client size and never keeps the program running on its own.
// Enter clicks its default button; Escape closes it like the title-bar button.
class BlockingWindow : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BlockingWindow)

public:
    ~BlockingWindow() override;

    QWidget *owner() const { return m_owner; }
    // Shown and not closed since.
    bool isOpen() const { return m_open; }

protected:
    BlockingWindow(QWidget *owner, const QString &caption, QSize clientSize, QWidget *parent = nullptr);

    // Runs after the owner was disabled.
    virtual void FormShow() {}
    // Runs before the owner is enabled again.
    virtual void FormClose() {}

    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QPointer<QWidget> m_owner;
    bool m_open = false; // shown and not closed since
};

// Places window's frame in the middle of owner's frame.
void CentreOn(QWidget *window, const QWidget *owner);

// Makes the label's text fit into width pixels where the window's font is
// wider than the layout was drawn for: first the condensed form of the font,
// then smaller sizes, down to 6 points. The label is then as wide as its text.
void FitLabel(QLabel *label, int width);
