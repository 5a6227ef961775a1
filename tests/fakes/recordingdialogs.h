#pragma once

#include "ui/dialogs.h"

#include <QList>
#include <QStringList>

#include <functional>
#include <optional>

// Answers every dialog from a script, at once through its callback, and
// records each call.
// - pickFolder takes the next entry of folders (nothing when the queue is
//   empty or the entry is nullopt, as on Cancel);
// - openFiles takes the next entry of fileLists (empty, as on Cancel, when
//   the queue is empty);
// - saveFile takes the next entry of saveNames (nothing when the queue is
//   empty or the entry is nullopt, as on Cancel);
// - countdown answers countdownAnswer;
// - askIncludeSubfolders takes the next entry of subfolderAnswers (OK with
//   the box unchanged when the queue is empty).
// Each call is also recorded in calls as "<kind>|<title or caption>|<text>",
// with the filters joined by '|' as the text of openFiles.
class RecordingDialogs final : public IDialogs
{
public:
    void pickFolder(QWidget *owner, const QString &title,
                    std::function<void(std::optional<QString>)> chosen) override
    {
        owners << owner;
        pickFolderTitles << title;
        calls << QStringLiteral("pickFolder|") + title + QLatin1Char('|');
        chosen(folders.isEmpty() ? std::nullopt : folders.takeFirst());
    }

    void openFiles(QWidget *owner, const QStringList &filters, std::function<void(QStringList)> chosen) override
    {
        owners << owner;
        openFilesCalls << filters;
        calls << QStringLiteral("openFiles||") + filters.join(QLatin1Char('|'));
        chosen(fileLists.isEmpty() ? QStringList() : fileLists.takeFirst());
    }

    void saveFile(QWidget *owner, const QString &folder, const QString &defaultExtension, const QStringList &filters,
                  std::function<void(std::optional<QString>)> chosen) override
    {
        owners << owner;
        saveFolders << folder;
        calls << QStringLiteral("saveFile|") + defaultExtension + QLatin1Char('|') + filters.join(QLatin1Char('|'));
        chosen(saveNames.isEmpty() ? std::nullopt : saveNames.takeFirst());
    }

    void countdown(QWidget *owner, const QString &caption, const QString &text, int seconds,
                   std::function<void(bool)> answered) override
    {
        owners << owner;
        countdownCaptions << caption;
        countdowns << text;
        countdownSeconds << seconds;
        calls << QStringLiteral("countdown|") + caption + QLatin1Char('|') + text;
        answered(countdownAnswer);
    }

    void askIncludeSubfolders(QWidget *owner, bool include,
                              std::function<void(std::optional<bool>)> answered) override
    {
        owners << owner;
        subfolderQuestions << include;
        calls << QStringLiteral("askIncludeSubfolders||") + (include ? QStringLiteral("yes") : QStringLiteral("no"));
        // Unscripted, OK with the box as it was shown.
        answered(subfolderAnswers.isEmpty() ? std::optional<bool>(include) : subfolderAnswers.takeFirst());
    }

    // Script.
    QList<std::optional<bool>> subfolderAnswers; // nullopt: Cancel
    QList<std::optional<QString>> folders;
    QList<QStringList> fileLists;
    QList<std::optional<QString>> saveNames;
    bool countdownAnswer = false;

    // Record.
    QStringList calls;
    QList<QWidget *> owners;
    QStringList pickFolderTitles;
    QList<QStringList> openFilesCalls;
    QStringList saveFolders;
    QStringList countdownCaptions;
    QStringList countdowns; // the texts, %1 not replaced
    QList<int> countdownSeconds;
    QList<bool> subfolderQuestions; // the check box's state when shown
};
