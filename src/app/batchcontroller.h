#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class ConversionQueue;
class HostPool;
struct GeneralPreferences;
class ConversionRun;
class IDesktopNotifier;
class IInteractive;
class PendingStart;
class PictureButton;
class PreviewPanel;
class QLabel;
class QLineEdit;
class QTimer;
class QWidget;
class TaskListController;
class TaskListModel;

// The widgets of the main window a batch works with.
struct BatchWidgets
{
    PictureButton *start = nullptr; // imgStart
    PictureButton *stop = nullptr;  // imgStop
    QWidget *settingsPanel = nullptr; // panBottomCenter: profile and output folder
    QWidget *progressPanel = nullptr; // panBottomLeft
    QLabel *convertingFile = nullptr;
    QLineEdit *outputFolder = nullptr;
    PreviewPanel *preview = nullptr;
    QList<QWidget *> locked; // what a batch must not see changed, in order
    QTimer *timer = nullptr; // timerTime
};

// A batch of the main window: Start (at once, or once the files being added
// are listed), Retry Failed, a watched arrival, Stop, the progress panel and
// the controls locked meanwhile, and the end of the batch with the desktop's
// notice. What runs is the conversion queue's to decide (queue()).
class BatchController final : public QObject
{
    Q_OBJECT
public:
    // parameters gives the engine's parameters of the chosen profile, or
    // nothing when it cannot (the user has been told).
    BatchController(ConversionRun &run, TaskListModel &tasks, TaskListController &list, IInteractive &interactive,
                    IDesktopNotifier *desktop, std::function<std::optional<QString>()> parameters,
                    QObject *parent = nullptr);
    Q_DISABLE_COPY_MOVE(BatchController)

    void attach(const BatchWidgets &widgets);
    // Where a batch converts (the Hosts tab of Settings): read as each batch begins.
    void setGeneral(std::function<GeneralPreferences()> general) { m_general = std::move(general); }
    // The files converting at once on the hosts of the running batch; nothing
    // when it converts on this computer.
    std::optional<int> hostSlots() const;

    // The Start picture: nothing without rows or files being added.
    void startClicked();
    // The Stop picture.
    void stopClicked();
    // Starts a batch of every row, once the files being added are listed.
    void start();
    // The row of a file that arrived by itself: it joins the running batch,
    // or converts in a batch of its own that ends without a message. Without
    // a usable output folder it waits, unconverted, for Start.
    void arrive(int row);
    ConversionQueue &queue() const { return *m_queue; }
    // Converts again, in a batch of their own, the rows that failed or were
    // stopped; the other rows are left as they are.
    void retryFailed();
    // Idle, and some row failed or was stopped.
    bool canRetryFailed() const;
    // Stops the batch, or a batch waiting for files.
    void stop();
    // The window is going: a waiting batch does not start.
    void cancelPending();

    void lockControls();
    void unlockControls();
    void showProgressPanel(bool running);
    // The file being converted; while the batch runs the line tells how to
    // pause it.
    void setConvertingFile(const QString &text);
    void setTotalProgress(int position);
    void setTimerEnabled(bool enabled);
    // The batch of `rows` has ended: the launcher entry stops showing
    // progress and, when the user is in another window, the desktop tells how
    // those rows went.
    void batchEnded(const QList<int> &rows);

private:
    void startNow();
    // The run's engines: this computer's, or those of a pool of the chosen
    // hosts. False, the user told why, when the hosts file cannot be used.
    bool chooseEngines();
    // Tells what the pool noticed about its hosts during the batch.
    void tellHostNotices();
    std::optional<QString> prepare(bool byUser);
    void showIdle();
    void startFrom(const QPointer<QWidget> &focus);
    void keepFocus(QWidget *focus);
    // An output folder that exists, or none needed (the box is switched off).
    bool outputFolderUsable();

    ConversionRun &m_run;
    TaskListModel &m_tasks;
    TaskListController &m_list;
    IInteractive &m_interactive;
    IDesktopNotifier *m_desktop = nullptr;
    std::function<std::optional<QString>()> m_parameters;
    PendingStart *m_pendingStart = nullptr;
    ConversionQueue *m_queue = nullptr;
    BatchWidgets m_widgets;
    QString m_convertingFile; // the last file the Converting line named
    std::function<GeneralPreferences()> m_general;
    HostPool *m_hosts = nullptr; // the last batch's hosts, kept until the next batch begins
    bool m_onHosts = false;        // the running batch converts on m_hosts
    bool m_hostFactorySet = false; // the run's engines come from m_hosts
    QStringList m_hostNotices;
};
