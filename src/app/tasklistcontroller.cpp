#include "app/tasklistcontroller.h"

#include "conversion/conversionrun.h"
#include "conversion/outputsettings.h"
#include "conversion/probequeue.h"
#include "conversion/taskorder.h"
#include "conversion/tasklistops.h"
#include "conversion/taskrecord.h"
#include "platform/interactive.h"
#include "preview/previewpanel.h"
#include "ui/dialogs.h"
#include "ui/filedrops.h"
#include "ui/parametereditors.h"
#include "ui/shellhelpers.h"
#include "ui/valuelistgrid.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QProgressDialog>
#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QPromise>
#include <QThreadPool>
#include <QTimer>
#include <QTreeView>
#include <QUrl>

#include <algorithm>

namespace {

const QString NewFilenameKey = QStringLiteral("New Filename");

} // namespace

TaskListController::TaskListController(TaskListModel &tasks, ConversionRun &run, IInteractive &interactive,
                                       IDialogs &dialogs, std::function<QString()> outputExt, QObject *parent)
    : QObject(parent)
    , m_tasks(tasks)
    , m_run(run)
    , m_interactive(interactive)
    , m_dialogs(dialogs)
    , m_outputExt(std::move(outputExt))
    , m_inputExts(InputExts())
{
    m_probes = new ProbeQueue(m_tasks, this);
    connect(m_probes, &ProbeQueue::idle, this, &TaskListController::onAddingIdle);
    // The box follows the count at most ten times a second: a modal progress
    // box repaints (and runs the event loop) on every new value, which for
    // thousands of small files would cost more than reading them.
    connect(m_probes, &ProbeQueue::progress, this, [this, shown = QElapsedTimer()](int done, int total) mutable {
        if (m_addingProgress && (!shown.isValid() || shown.elapsed() >= 100 || done == total)) {
            shown.start();
            m_addingProgress->setMaximum(total);
            m_addingProgress->setValue(done);
            m_addingProgress->setLabelText(tr("Adding files: %1 of %2").arg(done).arg(total));
        }
    });
    m_addingDelay = new QTimer(this);
    m_addingDelay->setSingleShot(true);
    m_addingDelay->setInterval(500);
    connect(m_addingDelay, &QTimer::timeout, this, &TaskListController::showAddingProgress);
}

TaskListController::~TaskListController()
{
    // No probe outlives the window.
    m_probes->cancel();
}

void TaskListController::setEnginePath(const QString &path)
{
    m_probes->setEnginePath(path);
}

void TaskListController::attach(const TaskListWidgets &widgets, ParameterGrid &outputGrid)
{
    m_widgets = widgets;
    m_outputView = std::make_unique<OutputSettingsView>(m_tasks, *m_widgets.list->selectionModel(), outputGrid,
                                                        m_outputExt);
}

// ---------------------------------------------------------------------------
// Adding

bool TaskListController::isAdding() const
{
    // The queue is idle once the last row is in; the window has acted on the
    // rows (selected a lone one, started a waiting batch) only when it has
    // handled the queue's idle().
    return m_probes->isBusy() || m_addingAnnounced || isListing();
}

void TaskListController::cancelAdding()
{
    const bool listing = isListing();
    m_pending.clear();
    // A listing under way is left to finish on its own; nobody hears of it.
    delete m_listing;
    m_listing = nullptr;
    if (m_probes->isBusy())
        m_probes->cancel();
    else if (listing)
        QTimer::singleShot(0, this, &TaskListController::finishIfIdle);
}

void TaskListController::whenAddingDone(std::function<void()> action)
{
    if (isAdding())
        m_afterAdding.push_back(std::move(action));
    else
        action();
}

void TaskListController::addFile(const QString &path)
{
    m_widgets.gettingStarted->hide();
    if (isListing()) {
        m_pending.push_back({path, false, QString()});
        return;
    }
    enqueue(path, QString());
}

void TaskListController::addArrival(const QString &path)
{
    m_widgets.gettingStarted->hide();
    if (isListing()) {
        m_pending.push_back({path, false, QString(), true});
        return;
    }
    enqueue(path, QString(), true);
}

void TaskListController::enqueue(const QString &path, const QString &foundUnder, bool arrival)
{
    // The user adds to a list that is not converting; a file that arrives
    // by itself joins a running batch.
    if ((!arrival && m_run.RunState() != ConversionRun::Idle) || !m_probes->enqueue(path, m_outputExt(), foundUnder))
        return;
    m_addingAnnounced = true;
    if (!m_addingProgress && !m_addingDelay->isActive())
        m_addingDelay->start();
}

void TaskListController::addFolder(const QString &folder)
{
    m_widgets.gettingStarted->hide();
    if (m_run.RunState() != ConversionRun::Idle)
        return;
    m_pending.push_back({folder, true, QString()});
    // Adding has begun, and ends (addingFinished()) even when the folder
    // yields nothing.
    m_addingAnnounced = true;
    if (!m_addingProgress && !m_addingDelay->isActive())
        m_addingDelay->start();
    addNext();
}

void TaskListController::addNext()
{
    int queued = 0;
    while (!m_pending.empty() && !m_listing) {
        const PendingAdd next = m_pending.front();
        if (!next.folder) {
            if (queued == FilesPerStep) {
                if (!m_stepScheduled) {
                    m_stepScheduled = true;
                    QTimer::singleShot(0, this, [this] {
                        m_stepScheduled = false;
                        addNext();
                    });
                }
                return;
            }
            m_pending.pop_front();
            enqueue(next.path, next.foundUnder, next.arrival);
            ++queued;
            continue;
        }
        // Listing a large tree takes a while: it runs on a worker, and its
        // result comes back here through the watcher, which goes with this
        // object, so a late result reaches nobody.
        auto promise = std::make_shared<QPromise<Listing>>();
        m_listing = new QFutureWatcher<Listing>(this);
        QFutureWatcher<Listing> *watcher = m_listing;
        connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, folder = next.path] {
            const Listing listing = watcher->future().resultCount() > 0 ? watcher->result() : Listing();
            watcher->deleteLater();
            if (m_listing == watcher)
                onListed(folder, listing);
        });
        m_listing->setFuture(promise->future());
        promise->start();
        QThreadPool::globalInstance()->start([promise, folder = next.path, recursive = m_includeSubfolders] {
            Listing listing;
            listing.files = ListFolder(folder, recursive, &listing.problems);
            promise->addResult(std::move(listing));
            promise->finish();
        });
    }
    finishIfIdle();
}

void TaskListController::onListed(const QString &folder, const Listing &listing)
{
    m_listing = nullptr;
    m_pending.pop_front();
    m_skippedFolders << listing.problems.folders;
    // The folder's files take its place, in their order, before what was
    // added after it.
    for (auto it = listing.files.crbegin(); it != listing.files.crend(); ++it)
        m_pending.push_front({*it, false, folder});
    emit folderListed(folder, int(listing.files.size()));
    addNext();
}

void TaskListController::finishIfIdle()
{
    // Adding ends when the queue goes idle; a listing that queued nothing
    // ends it here.
    if (!isListing() && !m_probes->isBusy() && m_addingAnnounced)
        onAddingIdle();
}

void TaskListController::addCommandLine(const QStringList &arguments)
{
    QString error;
    const QStringList paths = CommandLinePaths(arguments, &error);
    if (!error.isEmpty())
        m_interactive.warning(QStringLiteral("Vantorix"), error);
    for (const QString &argument : paths) {
        const QFileInfo info(argument);
        const QString path = QDir::toNativeSeparators(QDir::cleanPath(info.absoluteFilePath()));
        if (info.isFile()) {
            if (HasInputExt(path, m_inputExts))
                addFile(path);
        } else if (info.isDir()) {
            addFolder(path);
        }
    }
}

void TaskListController::addFilesFromDialog(const QString &dialogFilter)
{
    m_dialogs.openFiles(m_widgets.window, FilterEntries(dialogFilter),
                        [self = QPointer(this)](const QStringList &files) {
                            if (self)
                                self->addChosenFiles(files);
                        });
}

void TaskListController::addChosenFiles(const QStringList &files)
{
    // The first-listed file is added last.
    for (qsizetype i = 1; i < files.size(); ++i)
        addFile(files[i]);
    if (!files.isEmpty())
        addFile(files.first());
    whenAddingDone([this] {
        if (m_tasks.rowCount() == 1) {
            m_widgets.list->selectionModel()->select(m_tasks.index(0, 0), QItemSelectionModel::ClearAndSelect
                                                                              | QItemSelectionModel::Rows);
            showSelected(true);
        }
    });
    m_widgets.list->setFocus();
}

void TaskListController::addFolderFromDialog()
{
    m_dialogs.pickFolder(m_widgets.window, tr("Add a directory to the Task List"),
                         [self = QPointer(this)](const std::optional<QString> &folder) {
                             if (self)
                                 self->askIncludeSubfolders(folder);
                         });
}

void TaskListController::askIncludeSubfolders(const std::optional<QString> &folder)
{
    if (!folder) {
        m_widgets.list->setFocus();
        return;
    }
    m_dialogs.askIncludeSubfolders(m_widgets.window, m_includeSubfolders,
                                   [self = QPointer(this), folder = *folder](std::optional<bool> include) {
                                       if (!self || !include)
                                           return;
                                       if (*include != self->m_includeSubfolders) {
                                           self->m_includeSubfolders = *include;
                                           emit self->includeSubfoldersChosen(*include);
                                       }
                                       self->addFolder(folder);
                                       self->m_widgets.list->setFocus();
                                   });
}

bool TaskListController::acceptsDrop(const QMimeData *data) const
{
    return m_widgets.list->isEnabled() && CarriesLocalFiles(data);
}

void TaskListController::drop(const QMimeData *data)
{
    if (!m_widgets.list->isEnabled())
        return;
    for (const QUrl &url : data->urls()) {
        if (!url.isLocalFile())
            continue;
        const QString path = QDir::toNativeSeparators(url.toLocalFile());
        if (QFileInfo(path).isDir())
            addFolder(path);
        else if (HasInputExt(path, m_inputExts))
            addFile(path);
    }
}

void TaskListController::showAddingProgress()
{
    if (!(m_probes->isBusy() || isListing()) || m_addingProgress)
        return;
    auto *dialog = new QProgressDialog(m_widgets.window);
    dialog->setObjectName(QStringLiteral("dlgAddingFiles"));
    dialog->setWindowTitle(tr("Adding files"));
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setAutoClose(false);
    dialog->setAutoReset(false);
    dialog->setMinimumDuration(0);
    dialog->setRange(0, m_probes->total());
    dialog->setValue(m_probes->done());
    dialog->setLabelText(tr("Adding files: %1 of %2").arg(m_probes->done()).arg(m_probes->total()));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QProgressDialog::canceled, this, [this] {
        cancelAdding();
        emit addingCancelled();
    });
    m_addingProgress = dialog;
    dialog->show();
}

void TaskListController::onAddingIdle()
{
    // Files of a folder still being listed follow.
    if (isListing())
        return;
    if (!m_skippedFolders.isEmpty()) {
        ListingProblems problems;
        problems.folders.swap(m_skippedFolders);
        m_interactive.warning(QStringLiteral("Vantorix"), problems.message());
    }
    m_addingAnnounced = false;
    m_addingDelay->stop();
    if (m_addingProgress) {
        m_addingProgress->disconnect(this);
        m_addingProgress->close();
    }
    std::vector<std::function<void()>> actions;
    actions.swap(m_afterAdding);
    for (const auto &action : actions)
        action();
    // Files queued meanwhile are listed before adding counts as finished.
    if (isAdding())
        return;
    emit addingFinished();
}

// ---------------------------------------------------------------------------
// Removing and ordering

QList<int> TaskListController::selectedRows() const
{
    QList<int> rows;
    for (const QModelIndex &index : m_widgets.list->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

void TaskListController::removeSelected()
{
    RemoveTasks(m_tasks, selectedRows());
    showSelected(false);
}

void TaskListController::clear()
{
    m_tasks.removeRows(0, m_tasks.rowCount());
    showSelected(false);
}

void TaskListController::removeCompleted()
{
    RemoveTasks(m_tasks, RowsWithStatus(m_tasks, {RowStatus::Complete}));
    showSelected(false);
}

void TaskListController::moveSelected(int step)
{
    if (m_run.RunState() != ConversionRun::Idle)
        return;
    selectRows(MoveTasks(m_tasks, selectedRows(), step));
}

void TaskListController::dropSelected(int beforeRow)
{
    if (m_run.RunState() != ConversionRun::Idle)
        return;
    selectRows(MoveTasksTo(m_tasks, selectedRows(), beforeRow));
}

void TaskListController::selectRows(const QList<int> &rows)
{
    QItemSelection selection;
    for (int row : rows)
        selection.select(m_tasks.index(row, 0), m_tasks.index(row, m_tasks.columnCount() - 1));
    m_widgets.list->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (!rows.isEmpty())
        m_widgets.list->selectionModel()->setCurrentIndex(m_tasks.index(rows.first(), 0),
                                                          QItemSelectionModel::NoUpdate);
    showSelected(false);
}

// ---------------------------------------------------------------------------
// The Output grid

void TaskListController::showSelected(bool force)
{
    m_outputView->showSelected(force);
}

void TaskListController::storeOutputEdit()
{
    const QString refused = m_outputView->storeEdit();
    if (!refused.isEmpty())
        m_interactive.information(tr("Invalid file name"), refused);
}

void TaskListController::outputGridPressed()
{
    ValueListGrid *grid = m_widgets.outputGrid;
    if (grid->value(NewFilenameKey).isEmpty()) {
        QWidget *under = QApplication::widgetAt(QCursor::pos());
        AttachBalloonTip(under ? under : grid->viewport(), 1, tr("Tip:"),
                         tr("Please select a file in Task List."));
        grid->refuseEditOnThisPress();
        return;
    }
    m_widgets.editors->refreshGrids();
}

// ---------------------------------------------------------------------------
// Preview, engine output, the pop-up menu

void TaskListController::previewSelected()
{
    const int row = FirstSelectedRow(*m_widgets.list->selectionModel());
    if (row < 0)
        return;
    ltvItemData task;
    ReadItemData(m_tasks, row, CaptionField, task);
    m_widgets.preview->previewFile(task.InputFile);
}

void TaskListController::playSelected()
{
    const QList<int> selected = selectedRows();
    const int row = PlayRow(m_tasks.rowCount(), selected);
    if (row < 0)
        return;
    if (selected.isEmpty())
        m_widgets.list->selectionModel()->select(m_tasks.index(row, 0),
                                                 QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    previewSelected();
}

QString TaskListController::firstSelectedEngineOutput() const
{
    const int row = FirstSelectedRow(*m_widgets.list->selectionModel());
    return row < 0 ? QString() : m_tasks.index(row, 0).data(TaskListModel::EngineOutputRole).toString();
}

QString TaskListController::firstSelectedCaption() const
{
    const int row = FirstSelectedRow(*m_widgets.list->selectionModel());
    return row < 0 ? QString() : m_tasks.index(row, 0).data().toString();
}

void TaskListController::updateMenu(QMenu &menu) const
{
    const bool selected = m_widgets.list->selectionModel()->hasSelection();
    const bool rows = m_tasks.rowCount() > 0;
    const bool idle = m_run.RunState() == ConversionRun::Idle;
    for (QAction *action : menu.actions()) {
        const QString name = action->objectName();
        if (name == QLatin1String("mniOpen") || name == QLatin1String("mniRemove"))
            action->setEnabled(selected);
        else if (name == QLatin1String("mniMoveUp") || name == QLatin1String("mniMoveDown"))
            action->setEnabled(selected && idle);
        else if (name == QLatin1String("mniClear"))
            action->setEnabled(rows);
        else if (name == QLatin1String("mniRemoveCompleted"))
            action->setEnabled(idle && !RowsWithStatus(m_tasks, {RowStatus::Complete}).isEmpty());
        else if (name == QLatin1String("mniEngineOutput"))
            action->setEnabled(!firstSelectedEngineOutput().isEmpty());
    }
}
