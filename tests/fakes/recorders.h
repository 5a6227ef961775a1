#pragma once

#include "platform/interactive.h"
#include "platform/powercontrol.h"
#include "platform/shell.h"

#include <QStringList>

// Records every message instead of showing it. Each entry reads
// "<kind>|<caption>|<text>".
class RecordingInteractive final : public IInteractive
{
public:
    void information(const QString &caption, const QString &text) override { add(u"information", caption, text); }
    void warning(const QString &caption, const QString &text) override { add(u"warning", caption, text); }
    void plainMessage(const QString &text) override { add(u"plain", QString(), text); }
    bool question(const QString &caption, const QString &text) override
    {
        add(u"question", caption, text);
        return answer;
    }
    void error(const QString &text) override { add(u"error", QString(), text); }

    QStringList messages;
    bool answer = true;

private:
    void add(QStringView kind, const QString &caption, const QString &text)
    {
        messages << kind.toString() + QLatin1Char('|') + caption + QLatin1Char('|') + text;
    }
};

class RecordingShell final : public IShell
{
public:
    bool openPath(const QString &path) override
    {
        opened << path;
        return true;
    }
    bool openAddress(const QString &address) override
    {
        opened << address;
        return true;
    }
    QStringList opened;
};

class RecordingPowerControl final : public IPowerControl
{
public:
    void powerOff() override { ++requests; }
    int requests = 0;
};
