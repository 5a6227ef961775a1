#pragma once

#include "conversion/conversionview.h"

#include <QStringList>

#include <functional>
#include <utility>

// Records what the run shows instead of showing it.
class FakeView final : public ConversionView
{
public:
    void setConvertingFile(const QString &text) override { convertingFile = text; }
    void setElapsedText(const QString &text) override { elapsed = text; }
    void setRemainingText(const QString &text) override { remaining = text; }
    void setCurrentProgress(int position, const QString &label) override
    {
        currentBar = position;
        currentLabel = label;
        currentHistory << position;
    }
    void setTotalProgress(int position, const QString &label) override
    {
        totalBar = position;
        totalLabel = label;
        totalHistory << position;
    }
    void showProgressPanel(bool running) override { progressPanelShown = running; }
    void setMemoText(const QString &text) override
    {
        memo = text;
        memoLog += text;
    }
    void setTimerEnabled(bool enabled) override { timerEnabled = enabled; }
    void batchEnded(const QList<int> &rows) override
    {
        endedBatches << rows;
        if (onBatchEnded)
            onBatchEnded();
    }
    QString outputFolder() const override { return folder; }
    QString outputExt() const override { return ext; }
    BatchOptions batchOptions() const override { return options; }
    void closeMainWindow() override
    {
        ++closeRequests;
        if (onClose)
            onClose();
    }
    // Answers powerOffConfirmed at once; while holdPowerOff, keeps the
    // countdown up until answerPowerOff().
    void requestPowerOffConfirmation(std::function<void(bool)> answered) override
    {
        ++powerOffQuestions;
        if (onConfirm)
            onConfirm();
        if (holdPowerOff)
            pendingPowerOff = std::move(answered);
        else
            answered(powerOffConfirmed);
    }
    void answerPowerOff(bool confirmed)
    {
        if (const auto answered = std::exchange(pendingPowerOff, {}))
            answered(confirmed);
    }

    QString convertingFile, elapsed, remaining, currentLabel, totalLabel, memo;
    QString memoLog; // every text the memo was given, in order
    int currentBar = -1;
    int totalBar = -1;
    QList<int> currentHistory, totalHistory;
    bool progressPanelShown = false;
    bool timerEnabled = false;
    QList<QList<int>> endedBatches; // the rows of each batch told to be over
    QString folder;
    QString ext = QStringLiteral(".mp4");
    BatchOptions options;
    int closeRequests = 0;
    int powerOffQuestions = 0;
    bool powerOffConfirmed = true;
    bool holdPowerOff = false;
    std::function<void(bool)> pendingPowerOff; // the countdown that is up
    // What the window does when asked (e.g. look at the run's state).
    std::function<void()> onClose;
    std::function<void()> onConfirm;
    std::function<void()> onBatchEnded;
};
