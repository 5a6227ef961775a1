#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPlainTextEdit;
class QPushButton;

// Shows what the engine said about one finished task (the lines the run keeps
// for a failed or stopped task): read-only, scrollable and selectable, with a
// button that copies all of it. Shown without a modal loop; one window serves
// every task and shows the last one asked for.
class EngineOutputForm final : public QDialog
{
    Q_OBJECT
public:
    explicit EngineOutputForm(QWidget *parent = nullptr);
    Q_DISABLE_COPY_MOVE(EngineOutputForm)

    // Shows the output of the task with this input file.
    void showOutput(const QString &inputFile, const QString &output);

    QString text() const;

    // Puts the whole output on the clipboard.
    void btnCopyClick();

private:
    QLabel *labTask = nullptr;
    QPlainTextEdit *memOutput = nullptr;
    QPushButton *btnCopy = nullptr;
    QPushButton *btnClose = nullptr;
};
