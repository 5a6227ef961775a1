#pragma once

#include "conversion/conversionview.h"
#include "platform/interactive.h"

#include <QTextStream>

// The conversion run's display on a terminal: one status line that is rewritten
// as the progress moves, and messages as plain lines.
class ConsoleView final : public ConversionView
{
public:
    ConsoleView(QString outputFolder, QString outputExt, BatchOptions options);

    void setConvertingFile(const QString &text) override;
    void setElapsedText(const QString &text) override;
    void setRemainingText(const QString &) override {}
    void setCurrentProgress(int, const QString &label) override;
    void setTotalProgress(int, const QString &label) override;
    void showProgressPanel(bool) override {}
    void setMemoText(const QString &) override {}
    void setTimerEnabled(bool) override {}
    QString outputFolder() const override { return m_outputFolder; }
    QString outputExt() const override { return m_outputExt; }
    BatchOptions batchOptions() const override { return m_options; }
    void closeMainWindow() override {}
    // No countdown on a terminal: turning off was asked for on the command line.
    bool confirmPowerOff() override { return true; }

private:
    void printStatus();

    QString m_outputFolder;
    QString m_outputExt;
    BatchOptions m_options;
    QString m_file;
    QString m_current = QStringLiteral("0%");
    QString m_total = QStringLiteral("0%");
    QTextStream m_out;
};

class ConsoleInteractive final : public IInteractive
{
public:
    void information(const QString &caption, const QString &text) override;
    void warning(const QString &caption, const QString &text) override;
    void plainMessage(const QString &text) override;
    bool question(const QString &caption, const QString &text) override;
    void error(const QString &text) override;
};
