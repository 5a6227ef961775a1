#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPlainTextEdit;
class QPushButton;

// Shows what the engine said about one finished task (the lines the run keeps
// for a failed or stopped task): read-only, wrapped, scrollable and selectable,
// with a button that copies all of it. The first line says in plain words why
// the task failed, where that is known; the engine's banner (version, build,
// library versions) is left out and the lines that name the failure are marked
// in bold, red and with a warning sign that a screen reader reads out. Opens
// at the top. Shown without a modal loop; one window serves every task and
// shows the last one asked for.
class EngineOutputForm final : public QDialog
{
    Q_OBJECT
public:
    explicit EngineOutputForm(QWidget *parent = nullptr);
    Q_DISABLE_COPY_MOVE(EngineOutputForm)

    // Shows the output of the task with this input file; `notes` are what the
    // run said about its result (TaskListModel::ResultNotesRole).
    void showOutput(const QString &inputFile, const QString &output, const QString &notes = QString());

    // What the window shows, as plain text.
    QString text() const;

    // Puts the explanation and the whole output, banner included, on the clipboard.
    void btnCopyClick();

    // Put before each line that names the failure.
    static const QString FailureMark;

private:
    QLabel *labTask = nullptr;
    QPlainTextEdit *memOutput = nullptr;
    QPushButton *btnCopy = nullptr;
    QPushButton *btnClose = nullptr;
    QString m_copied;
};
