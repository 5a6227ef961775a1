#include "app/watchcontroller.h"

#include "app/batchcontroller.h"
#include "app/tasklistcontroller.h"
#include "conversion/conversionrun.h"
#include "conversion/taskrecord.h"
#include "platform/logging.h"
#include "ui/dialogs.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>

WatchController::WatchController(TaskListController &list, BatchController &batch, ConversionRun &run,
                                 IDialogs &dialogs, QWidget *window, std::function<QString()> outputFolder,
                                 QObject *parent)
    : QObject(parent)
    , m_list(list)
    , m_batch(batch)
    , m_run(run)
    , m_dialogs(dialogs)
    , m_window(window)
    , m_outputFolder(std::move(outputFolder))
    , m_action(new QAction(tr("Watch Folder..."), this))
{
    m_action->setObjectName(QStringLiteral("mniWatchFolder"));
    m_action->setCheckable(true);
    connect(m_action, &QAction::triggered, this, &WatchController::toggle);
    // The outputs of a batch that ended are no new files to convert.
    connect(&m_run, &ConversionRun::finished, this, [this] {
        if (!m_watch)
            return;
        for (const QString &output : m_run.outputPaths())
            if (!output.isEmpty())
                m_produced.insert(QFileInfo(output).absoluteFilePath());
    });
    connect(&m_list.model(), &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex &, int first, int last) { onRowsInserted(first, last); });
}

WatchController::~WatchController() = default;

void WatchController::toggle()
{
    if (m_watch) {
        delete std::exchange(m_watch, nullptr);
        m_arriving.clear();
        m_produced.clear();
        m_action->setChecked(false);
        return;
    }
    m_dialogs.pickFolder(m_window, tr("Watch a directory for new files"),
                         [self = QPointer(this)](const std::optional<QString> &folder) {
                             if (self)
                                 self->startWatching(folder);
                         });
}

void WatchController::startWatching(const std::optional<QString> &folder)
{
    if (!folder) {
        m_action->setChecked(false);
        return;
    }
    m_watch = new WatchFolder(QDir::cleanPath(*folder), false, m_list.inputExts(), this);
    m_watch->setSettleMs(m_settleMs);
    connect(m_watch, &WatchFolder::settled, this, &WatchController::onSettled);
    m_watch->start();
    m_action->setChecked(true);
}

bool WatchController::isOutput(const QString &path) const
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    if (m_produced.contains(absolute))
        return true;
    // An output of the batch running now, written beside its input.
    for (const QString &output : m_run.outputPaths())
        if (!output.isEmpty() && QFileInfo(output).absoluteFilePath() == absolute)
            return true;
    const QString outputs = QFileInfo(m_outputFolder()).canonicalFilePath();
    return !outputs.isEmpty() && QFileInfo(QFileInfo(path).absolutePath()).canonicalFilePath() == outputs;
}

void WatchController::onSettled(const WatchedFile &file)
{
    if (isOutput(file.path))
        return;
    if (m_list.model().hasInput(file.path)) {
        // Listed before: a file that went at its turn and came back, or was
        // written again, converts once more unless it waits or runs now.
        TaskListModel &tasks = m_list.model();
        for (int row = 0; row < tasks.rowCount(); ++row) {
            const QString status = tasks.index(row, 3).data().toString();
            if (tasks.text(row, 0) == file.path && !m_run.isQueued(row)
                && !ConversionRun::IsRunningStatus(status))
                m_batch.arrive(row);
        }
        return;
    }
    qCInfo(lcWatch).noquote() << "settled" << file.path << "size" << file.size;
    m_arriving.insert(file.path);
    m_list.addArrival(file.path);
}

// The rows of arrived files convert each on its own as they are listed.
void WatchController::onRowsInserted(int first, int last)
{
    if (m_arriving.isEmpty())
        return;
    for (int row = first; row <= last; ++row) {
        if (m_arriving.remove(m_list.model().text(row, 0)))
            m_batch.arrive(row);
    }
}
