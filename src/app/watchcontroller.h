#pragma once

#include "conversion/watchfolder.h"

#include <QObject>
#include <QSet>
#include <QStringList>

#include <functional>
#include <optional>

class BatchController;
class ConversionRun;
class IDialogs;
class QAction;
class QWidget;
class TaskListController;

// The task list's "Watch Folder..." item: asks for a folder and adds every
// supported file that settles in it to the task list. Each such row converts
// on its own through the conversion queue: it joins a running batch, or
// begins a batch of its own that touches no other row and ends without a
// message. Files in the output folder, and outputs of the batches run while
// watching, are never added (they would be converted again). The item is
// checked while watching; choosing it again stops watching.
class WatchController final : public QObject
{
    Q_OBJECT
public:
    WatchController(TaskListController &list, BatchController &batch, ConversionRun &run, IDialogs &dialogs,
                    QWidget *window, std::function<QString()> outputFolder, QObject *parent = nullptr);
    ~WatchController() override;
    Q_DISABLE_COPY_MOVE(WatchController)

    QAction *action() const { return m_action; }
    bool isWatching() const { return m_watch != nullptr; }
    // The folder watched now (a child of this controller), or null.
    WatchFolder *watch() const { return m_watch; }
    // The settling time of the next watch (default WatchFolder::DefaultSettleMs).
    void setSettleMs(int ms) { m_settleMs = ms; }

    // The menu item: starts or stops watching.
    void toggle();

private:
    // Watches the folder chosen; nothing without one.
    void startWatching(const std::optional<QString> &folder);
    void onSettled(const WatchedFile &file);
    void onRowsInserted(int first, int last);
    bool isOutput(const QString &path) const;

    TaskListController &m_list;
    BatchController &m_batch;
    ConversionRun &m_run;
    IDialogs &m_dialogs;
    QWidget *m_window;
    std::function<QString()> m_outputFolder;
    QAction *m_action;
    WatchFolder *m_watch = nullptr;
    int m_settleMs = WatchFolder::DefaultSettleMs;
    QSet<QString> m_arriving; // added, and their rows not there yet
    QSet<QString> m_produced; // outputs of the batches run while watching
};
