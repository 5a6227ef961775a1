#include "app/watchcontroller.h"

#include "app/batchcontroller.h"
#include "app/tasklistcontroller.h"
#include "conversion/conversionrun.h"
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
    // A batch that ends lets the files that settled meanwhile start; from the
    // event loop, once the run has told everyone else.
    connect(&m_run, &ConversionRun::stateChanged, this, [this] {
        if (m_run.RunState() == ConversionRun::Idle && !m_waiting.isEmpty())
            QTimer::singleShot(0, this, &WatchController::feed);
    });
}

WatchController::~WatchController() = default;

void WatchController::toggle()
{
    if (m_watch) {
        delete std::exchange(m_watch, nullptr);
        m_waiting.clear();
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

void WatchController::onSettled(const WatchedFile &file)
{
    const QString outputs = QFileInfo(m_outputFolder()).canonicalFilePath();
    if (!outputs.isEmpty() && QFileInfo(QFileInfo(file.path).absolutePath()).canonicalFilePath() == outputs)
        return;
    m_waiting << file.path;
    // From the event loop: starting a batch may ask something of the user.
    QTimer::singleShot(0, this, &WatchController::feed);
}

void WatchController::feed()
{
    if (!m_watch || m_run.RunState() != ConversionRun::Idle || m_waiting.isEmpty())
        return;
    // An output written beside its input lands in the watched folder: it is
    // no new file to convert.
    for (const QString &output : m_run.outputPaths())
        if (!output.isEmpty())
            m_produced.insert(QFileInfo(output).absoluteFilePath());
    bool added = false;
    for (const QString &path : std::exchange(m_waiting, {})) {
        if (m_produced.contains(QFileInfo(path).absoluteFilePath()))
            continue;
        m_list.addFile(path);
        added = true;
    }
    // Rows converted earlier are left as they are: only the new ones start.
    if (added)
        m_batch.startNewRows();
}
