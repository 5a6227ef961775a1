#pragma once

#include "conversion/tasklistops.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class ConversionRun;
class IDialogs;
class IInteractive;
class OutputSettingsView;
class ParameterEditors;
class ParameterGrid;
class PreviewPanel;
class ProbeQueue;
class QMenu;
class QMimeData;
class QProgressDialog;
class QTimer;
class QTreeView;
template<typename T>
class QFutureWatcher;
class QWidget;
class TaskListModel;
class ValueListGrid;

// The widgets of the main window the task list works with.
struct TaskListWidgets
{
    QWidget *window = nullptr;         // owns the adding progress and the dialogs
    QTreeView *list = nullptr;         // ltvTask
    QWidget *gettingStarted = nullptr; // hidden once a file is added
    ParameterEditors *editors = nullptr;
    ValueListGrid *outputGrid = nullptr; // vleOutput
    PreviewPanel *preview = nullptr;
};

// The task list of the main window: adding files (dialogs, drops, the command
// line) through the probe queue, removing and reordering rows, the Output grid
// of the selected row, and previewing a row.
class TaskListController final : public QObject
{
    Q_OBJECT
public:
    TaskListController(TaskListModel &tasks, ConversionRun &run, IInteractive &interactive, IDialogs &dialogs,
                       std::function<QString()> outputExt, QObject *parent = nullptr);
    ~TaskListController() override;
    Q_DISABLE_COPY_MOVE(TaskListController)

    void setEnginePath(const QString &path);
    TaskListModel &model() const { return m_tasks; }
    const QStringList &inputExts() const { return m_inputExts; }
    // Joins the window's widgets; outputGrid holds the Output grid's rows.
    void attach(const TaskListWidgets &widgets, ParameterGrid &outputGrid);

    // True from the first file queued until addingFinished() has been sent.
    bool isAdding() const;
    // Drops the files not yet added.
    void cancelAdding();
    // Runs the action once every file queued is listed (at once when none is).
    void whenAddingDone(std::function<void()> action);

    // Whether a folder added brings the files of its subfolders too; the
    // Add Directory box asks it each time (includeSubfoldersChosen()).
    void setIncludeSubfolders(bool include) { m_includeSubfolders = include; }
    bool includeSubfolders() const { return m_includeSubfolders; }

    // Files and folders are added in the order given; a folder is listed off
    // the GUI thread, and its files follow the ones added before it.
    void addFile(const QString &path);
    // A file that arrived by itself (a watched folder): added even while a
    // batch runs, which it then joins.
    void addArrival(const QString &path);
    void addFolder(const QString &folder);
    void addCommandLine(const QStringList &arguments);
    void addFilesFromDialog(const QString &dialogFilter);
    void addFolderFromDialog();
    bool acceptsDrop(const QMimeData *data) const;
    void drop(const QMimeData *data);

    void removeSelected();
    void clear();
    // Removes the rows converted without a fault.
    void removeCompleted();
    // Moves the selected rows one place up (step -1) or down (step 1) in the
    // order of conversion, as a block; they stay selected.
    void moveSelected(int step);
    // Moves the selected rows, in their order, to before the row (-1: to the
    // end), as dragging them there does.
    void dropSelected(int beforeRow);

    // The Output grid shows the first selected row; forced, it drops what was
    // typed and not stored.
    void showSelected(bool force);
    void storeOutputEdit();
    // A press on the Output grid: without a row shown nothing can be edited.
    void outputGridPressed();

    void previewSelected();
    // The preview's Play: the selected row, or the first when none is.
    void playSelected();
    QString firstSelectedEngineOutput() const;
    QString firstSelectedCaption() const;
    // Enables the pop-up menu's items for the list as it is now.
    void updateMenu(QMenu &menu) const;

signals:
    // Every file queued so far has been added (or adding was cancelled).
    void addingFinished();
    // The user cancelled adding: a batch waiting for the files does not start.
    void addingCancelled();
    // A folder's listing came back with `files` supported files (queued now).
    void folderListed(const QString &folder, int files);
    // The user answered the Add Directory box with another choice than before.
    void includeSubfoldersChosen(bool include);

private:
    // What the open dialog and the folder chooser gave.
    void addChosenFiles(const QStringList &files);
    void askIncludeSubfolders(const std::optional<QString> &folder);
    struct Listing
    {
        QStringList files;
        ListingProblems problems;
    };
    struct PendingAdd
    {
        QString path;
        bool folder = false;
        QString foundUnder; // a file listed from a folder
        bool arrival = false; // see addArrival()
    };
    // Files queued in one turn of the event loop: a listing of a large tree is
    // queued in steps, so the window keeps painting.
    static constexpr int FilesPerStep = 2000;

    void addNext();
    void enqueue(const QString &path, const QString &foundUnder, bool arrival = false);
    void onListed(const QString &folder, const Listing &listing);
    void finishIfIdle();
    bool isListing() const { return m_listing != nullptr || !m_pending.empty(); }
    void onAddingIdle();
    void showAddingProgress();
    QList<int> selectedRows() const;
    void selectRows(const QList<int> &rows);

    TaskListModel &m_tasks;
    ConversionRun &m_run;
    IInteractive &m_interactive;
    IDialogs &m_dialogs;
    std::function<QString()> m_outputExt;
    QStringList m_inputExts;
    TaskListWidgets m_widgets;
    ProbeQueue *m_probes = nullptr;
    QTimer *m_addingDelay = nullptr;
    QPointer<QProgressDialog> m_addingProgress;
    bool m_addingAnnounced = false; // files were queued; addingFinished() not yet sent
    std::vector<std::function<void()>> m_afterAdding;
    std::unique_ptr<OutputSettingsView> m_outputView;
    bool m_includeSubfolders = false;
    bool m_stepScheduled = false;
    std::deque<PendingAdd> m_pending;          // in order; a folder first is being listed
    QFutureWatcher<Listing> *m_listing = nullptr; // the listing of m_pending's first folder
    QList<ListingProblems::SkippedFolder> m_skippedFolders; // told once adding is done
};
