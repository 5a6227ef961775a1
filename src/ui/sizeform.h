#pragma once

#include "ui/blockingwindow.h"

class IInteractive;
class ParameterGrid;
class QLineEdit;
class QPushButton;

// "Video Size of output files": asks for the output video's width and height
// when the main window's "Video Size" row is set to "Custom Size", and writes
// width + "x" + height into that row. Cancel and the title-bar button set the
// row back to "Original Size".
//
// The window is created once and shown without a modal loop; the main window
// takes no input while it is open. The typed texts stay from one opening to
// the next.
class TSizeForm final : public BlockingWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TSizeForm)

public:
    static constexpr int ClientWidth = 336;
    static constexpr int ClientHeight = 106;

    // mainWindow is disabled while this window is open and is what it is
    // centred on; videoGrid is the main window's Video grid. Messages go
    // through interactive, which should have this window as their owner.
    TSizeForm(QWidget *mainWindow, ParameterGrid &videoGrid, IInteractive &interactive,
              QWidget *parent = nullptr);
    ~TSizeForm() override;

    // Checks both texts in order; the size goes into the "Video Size" row and
    // the window closes, or a message says which text is wrong and the focus
    // goes there.
    void btnOKClick();
    void btnCancelClick();

protected:
    void FormShow() override;
    void FormClose() override;

private:
    ParameterGrid &m_videoGrid;
    IInteractive &m_interactive;

    QLineEdit *edtWidth = nullptr;
    QLineEdit *edtHeight = nullptr;
    QPushButton *btnOK = nullptr;
    QPushButton *btnCancel = nullptr;
};
