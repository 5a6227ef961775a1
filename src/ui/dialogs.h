#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QWidget;

// Every dialog the windows open, behind one interface so that tests can
// answer them.
class IDialogs
{
public:
    virtual ~IDialogs() = default;

    // Each dialog below is opened without waiting for it: the call returns
    // at once, and its callback follows when the dialog is closed, never
    // when the owner went away first.

    // The folder chooser (PickFolder): the chosen folder, or nothing.
    virtual void pickFolder(QWidget *owner, const QString &title,
                            std::function<void(std::optional<QString>)> chosen) = 0;
    // The open dialog: several files, folder and files must exist, the filter
    // entries ("Text(patterns)", patterns separated by ';') with the first one
    // preselected, resizable. The chosen files in the order the dialog lists
    // them; empty on Cancel.
    virtual void openFiles(QWidget *owner, const QStringList &filters, std::function<void(QStringList)> chosen) = 0;
    // The save dialog: one file name, starting in folder, the filter entries
    // as for openFiles, defaultExtension (".apf") added to a name typed
    // without an extension; an existing file is chosen without a question.
    // The chosen path, or nothing on Cancel.
    virtual void saveFile(QWidget *owner, const QString &folder, const QString &defaultExtension,
                          const QStringList &filters, std::function<void(std::optional<QString>)> chosen) = 0;
    // A countdown box: text with %1 replaced by the seconds left, refreshed
    // every second, Cancel the default button. Opened without waiting for it:
    // `answered` follows with true when the time ran out, false on Cancel or
    // close; never when the owner went away first.
    virtual void countdown(QWidget *owner, const QString &caption, const QString &text, int seconds,
                           std::function<void(bool)> answered) = 0;
    // After a folder was chosen to add: a small box with the check box
    // "Include subfolders" set as `include`, OK and Cancel. Opened without
    // waiting for it: `answered` follows with the box's state on OK, nothing
    // on Cancel or close; never when the owner went away first.
    virtual void askIncludeSubfolders(QWidget *owner, bool include,
                                      std::function<void(std::optional<bool>)> answered) = 0;
};

// The real dialogs of the toolkit.
class WidgetDialogs final : public IDialogs
{
public:
    WidgetDialogs() = default;
    Q_DISABLE_COPY_MOVE(WidgetDialogs)

    void pickFolder(QWidget *owner, const QString &title,
                    std::function<void(std::optional<QString>)> chosen) override;
    void openFiles(QWidget *owner, const QStringList &filters, std::function<void(QStringList)> chosen) override;
    void saveFile(QWidget *owner, const QString &folder, const QString &defaultExtension, const QStringList &filters,
                  std::function<void(std::optional<QString>)> chosen) override;
    void countdown(QWidget *owner, const QString &caption, const QString &text, int seconds,
                   std::function<void(bool)> answered) override;
    void askIncludeSubfolders(QWidget *owner, bool include,
                              std::function<void(std::optional<bool>)> answered) override;

private:
    QString m_lastOpenFolder; // the open dialog starts where it was last left
};

// The filter entry as the toolkit's file dialog matches it: the patterns of
// "Text(*.a;*.b;)" separated by blanks, and "*.*" standing for every file as
// it does on Windows. Entries without a pattern list are returned unchanged.
QString ToolkitNameFilter(const QString &entry);
