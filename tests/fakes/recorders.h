#pragma once

#include "platform/desktopnotifier.h"
#include "platform/interactive.h"
#include "platform/powercontrol.h"
#include "platform/shell.h"
#include "platform/sleepinhibitor.h"

#include <QStringList>

#include <functional>
#include <utility>

// Records every message and question instead of showing it. Each entry reads
// "<kind>|<caption>|<text>"; a question's kind is "question", or
// "question-no" when Enter answers No.
class RecordingInteractive final : public IInteractive
{
public:
    // Recorded; closed at once, or while holdMessages kept up until
    // closeMessages().
    void showMessage(MessageKind kind, const QString &caption, const QString &text,
                     std::function<void()> closed = {}) override
    {
        static const char16_t *const kinds[] = {u"information", u"warning", u"plain", u"error"};
        const bool captioned = kind == MessageKind::Information || kind == MessageKind::Warning;
        add(kinds[static_cast<int>(kind)], captioned ? caption : QString(), text);
        if (!closed)
            return;
        if (holdMessages)
            open << std::move(closed);
        else
            closed();
    }
    void closeMessages()
    {
        const QList<std::function<void()>> closing = std::exchange(open, {});
        for (const auto &closed : closing)
            closed();
    }

    // Recorded; answered at once with `answer`, or while holdQuestions kept
    // up until answerQuestions().
    void ask(const QString &caption, const QString &text, DefaultAnswer enter,
             std::function<void(bool)> answered) override
    {
        add(enter == DefaultAnswer::No ? u"question-no" : u"question", caption, text);
        if (holdQuestions)
            asked << std::move(answered);
        else if (answered)
            answered(answer);
    }
    void answerQuestions(bool yes)
    {
        const QList<std::function<void(bool)>> answering = std::exchange(asked, {});
        for (const auto &answered : answering)
            if (answered)
                answered(yes);
    }

    QStringList messages;
    bool answer = true;
    // What happens while a message is up (e.g. the window closes).
    std::function<void()> onMessage;
    bool holdMessages = false;
    QList<std::function<void()>> open; // what follows the messages that are up
    bool holdQuestions = false;
    QList<std::function<void(bool)>> asked; // the answers the questions that are up wait for

private:
    void add(QStringView kind, const QString &caption, const QString &text)
    {
        messages << kind.toString() + QLatin1Char('|') + caption + QLatin1Char('|') + text;
        if (onMessage)
            onMessage();
    }
};

class RecordingShell final : public IShell
{
public:
    bool openPath(const QString &path) override
    {
        opened << path;
        return opens;
    }
    bool openAddress(const QString &address) override
    {
        opened << address;
        return opens;
    }
    QStringList opened;
    bool opens = true; // false: nothing on the computer opens what is asked
};

class RecordingPowerControl final : public IPowerControl
{
public:
    bool canPowerOff() override
    {
        ++questions;
        return allowed;
    }
    void powerOff() override { ++requests; }
    QString lastError() const override { return allowed ? QString() : reason; }

    bool allowed = true;
    QString reason = QStringLiteral("the login manager answers \"no\"");
    int questions = 0;
    int requests = 0;
};

// Counts the requests; `held` is what a real one would hold now.
class RecordingSleepInhibitor final : public ISleepInhibitor
{
public:
    void inhibit(const QString &why) override
    {
        ++inhibits;
        reasons << why;
        held = true;
    }
    void release() override
    {
        ++releases;
        held = false;
    }

    int inhibits = 0;
    int releases = 0;
    bool held = false;
    QStringList reasons;
};

// Records what the desktop is told: the notifications' bodies, and the
// launcher entry's progress in percent (-1 each time it is hidden).
class RecordingDesktopNotifier final : public IDesktopNotifier
{
public:
    void notify(const QString &body) override { notifications << body; }
    void showProgress(double fraction) override { progress << static_cast<int>(fraction * 100 + 0.5); }
    void hideProgress() override { progress << -1; }

    QStringList notifications;
    QList<int> progress;
};
