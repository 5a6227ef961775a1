#include "app/batchcontroller.h"

#include "app/pendingstart.h"
#include "app/picturebutton.h"
#include "app/tasklistcontroller.h"
#include "conversion/conversionqueue.h"
#include "conversion/conversionrun.h"
#include "conversion/taskrecord.h"
#include "platform/desktopnotifier.h"
#include "platform/interactive.h"
#include "preview/previewpanel.h"
#include "profiles/preferences.h"
#include "remote/hostpool.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include <algorithm>

BatchController::BatchController(ConversionRun &run, TaskListModel &tasks, TaskListController &list,
                                 IInteractive &interactive, IDesktopNotifier *desktop,
                                 std::function<std::optional<QString>()> parameters, QObject *parent)
    : QObject(parent)
    , m_run(run)
    , m_tasks(tasks)
    , m_list(list)
    , m_interactive(interactive)
    , m_desktop(desktop)
    , m_parameters(std::move(parameters))
{
    m_queue = new ConversionQueue(tasks, run, this);
    m_queue->setPrepare(
        [this](ConversionQueue::Asker asker) { return prepare(asker == ConversionQueue::Asker::User); });
    m_pendingStart = new PendingStart(this);
    connect(m_pendingStart, &PendingStart::start, this, &BatchController::startNow);
    connect(m_pendingStart, &PendingStart::cancelled, this, &BatchController::showIdle);
    // Files queued by a handler of the end of adding are waited for as well.
    connect(&m_list, &TaskListController::addingFinished, this, [this] {
        if (!m_list.isAdding())
            m_pendingStart->addingFinished();
    });
    connect(&m_list, &TaskListController::addingCancelled, m_pendingStart, &PendingStart::cancel);
    connect(&m_run, &ConversionRun::finished, this, &BatchController::unlockControls);
    connect(&m_run, &ConversionRun::finished, this, &BatchController::tellHostNotices);
}

void BatchController::attach(const BatchWidgets &widgets)
{
    m_widgets = widgets;
}

void BatchController::startClicked()
{
    if (m_tasks.rowCount() == 0 && !m_list.isAdding())
        return;
    const QPointer<QWidget> focus = QApplication::focusWidget();
    m_widgets.start->hide();
    m_widgets.stop->show();
    startFrom(focus);
}

void BatchController::stopClicked()
{
    const bool focused = m_widgets.stop->hasFocus();
    m_widgets.stop->hide();
    m_widgets.start->show();
    if (focused)
        m_widgets.start->setFocus();
    stop();
}

// The focus stays where the user was; when that control is now locked or
// hidden, the Stop picture takes it.
void BatchController::keepFocus(QWidget *focus)
{
    if (!focus)
        return;
    if (focus->isEnabled() && focus->isVisible())
        focus->setFocus();
    else if (m_widgets.stop->isVisible())
        m_widgets.stop->setFocus();
}

bool BatchController::outputFolderUsable()
{
    // A switched-off box: the outputs go beside their inputs.
    if (!m_widgets.outputFolder->isEnabled())
        return true;
    const QString folder = m_widgets.outputFolder->text();
    if (!folder.isEmpty() && QFileInfo(folder).isDir())
        return true;
    m_interactive.information(tr("Output path does not exist"),
                              tr("The output path does not exist. Please specify another one."));
    m_widgets.outputFolder->setFocus();
    m_widgets.start->show();
    m_widgets.stop->hide();
    return false;
}

void BatchController::start()
{
    startFrom(QApplication::focusWidget());
}

void BatchController::startFrom(const QPointer<QWidget> &focus)
{
    if (!outputFolderUsable())
        return;
    if (m_run.RunState() != ConversionRun::Idle || m_pendingStart->isWaiting())
        return;
    if (m_list.isAdding()) {
        // Files are still being added: the batch looks started from now on
        // and begins once they are listed.
        lockControls();
        m_widgets.start->hide();
        m_widgets.stop->show();
        m_widgets.convertingFile->setText(PendingStart::waitingText());
        showProgressPanel(true);
        m_pendingStart->wait();
        keepFocus(focus);
        return;
    }
    startNow();
    keepFocus(focus);
}

// The batch begins: every row listed now waits and runs.
void BatchController::startNow()
{
    if (!m_queue->start())
        showIdle();
}

void BatchController::arrive(int row)
{
    m_queue->arrive(row);
}

// Locks the window for a batch and gives the profile's parameters; an arrival
// also needs an output folder, and is refused without a word when there is none.
std::optional<QString> BatchController::prepare(bool byUser)
{
    if (!byUser) {
        const QString folder = m_widgets.outputFolder->text();
        if (folder.isEmpty() || !QFileInfo(folder).isDir())
            return std::nullopt;
        m_widgets.start->hide();
        m_widgets.stop->show();
    }
    lockControls();
    std::optional<QString> params = m_parameters();
    // A malformed profile or an unusable hosts file was reported; nothing starts.
    if (!params || !chooseEngines()) {
        showIdle();
        return std::nullopt;
    }
    return params;
}

bool BatchController::chooseEngines()
{
    const GeneralPreferences general = m_general ? m_general() : GeneralPreferences{};
    m_onHosts = false;
    m_hostNotices.clear();
    if (!general.onHosts) {
        // (A factory someone else gave the run stays.)
        if (std::exchange(m_hostFactorySet, false))
            m_run.setEngineFactory({});
        return true;
    }
    HostList list;
    QFile file(general.hostsFile);
    if (general.hostsFile.isEmpty() || !QFileInfo(file).isFile() || !file.open(QIODevice::ReadOnly))
        list.error = tr("the file cannot be read");
    else
        list = ParseHostList(QString::fromUtf8(file.readAll()));
    if (!list.error.isEmpty()) {
        m_interactive.warning(tr("Convert on hosts"), tr("The hosts file \"%1\" cannot be used: %2.\n\nChoose "
                                                         "another one on the Hosts page of Settings.")
                                                          .arg(general.hostsFile, list.error));
        return false;
    }
    HostPool::Settings settings;
    settings.programFolder = QFileInfo(m_run.enginePath()).absolutePath();
    settings.sshConfig = general.sshConfig;
    settings.defaultSlots = JobsInRange(general.jobs);
    // The last batch's engines are gone; its pool goes once they are deleted.
    if (m_hosts)
        std::exchange(m_hosts, nullptr)->deleteLater();
    m_hosts = new HostPool(list.hosts, settings, this);
    connect(m_hosts, &HostPool::notice, this, [this](const QString &line) {
        if (!m_hostNotices.contains(line))
            m_hostNotices << line;
    });
    m_run.setEngineFactory(m_hosts->engineFactory());
    m_hostFactorySet = true;
    m_onHosts = true;
    return true;
}

std::optional<int> BatchController::hostSlots() const
{
    return m_onHosts && m_hosts ? std::optional<int>(m_hosts->totalSlots()) : std::nullopt;
}

// What became of the hosts is told once the batch is over: the tasks a host
// failed say so in their own engine output.
void BatchController::tellHostNotices()
{
    if (m_hostNotices.isEmpty())
        return;
    m_interactive.warning(tr("Convert on hosts"),
                          tr("While converting on the hosts:\n%1").arg(std::exchange(m_hostNotices, {}).join(u'\n')));
}

bool BatchController::canRetryFailed() const
{
    return m_run.RunState() == ConversionRun::Idle && !m_pendingStart->isWaiting()
           && !m_queue->rowsToRetry().isEmpty();
}

void BatchController::retryFailed()
{
    if (!canRetryFailed())
        return;
    const QPointer<QWidget> focus = QApplication::focusWidget();
    m_widgets.start->hide();
    m_widgets.stop->show();
    if (!outputFolderUsable())
        return;
    m_queue->retryFailed();
    keepFocus(focus);
}

void BatchController::stop()
{
    m_pendingStart->cancel();
    m_queue->stop();
}

void BatchController::cancelPending()
{
    m_pendingStart->cancel();
}

// A batch that waited for the files being added and will not start, or that
// could not start.
void BatchController::showIdle()
{
    showProgressPanel(false);
    unlockControls();
}

void BatchController::lockControls()
{
    m_widgets.preview->stop();
    for (QWidget *widget : m_widgets.locked)
        widget->setEnabled(false);
}

void BatchController::unlockControls()
{
    for (QWidget *widget : m_widgets.locked)
        widget->setEnabled(true);
    const bool focused = m_widgets.stop->hasFocus();
    m_widgets.stop->hide();
    m_widgets.start->show();
    if (focused)
        m_widgets.start->setFocus();
}

void BatchController::showProgressPanel(bool running)
{
    m_widgets.settingsPanel->setVisible(!running);
    m_widgets.progressPanel->setVisible(running);
}

void BatchController::setConvertingFile(const QString &text)
{
    // While paused the line keeps the file and tells how to go on.
    if (text == RowStatus::Paused) {
        m_widgets.convertingFile->setText(m_convertingFile.isEmpty() ? tr("Paused")
                                                                     : m_convertingFile + tr(" \u2014 paused, Ctrl+P resumes"));
        return;
    }
    m_convertingFile = text;
    const bool running = m_run.RunState() == ConversionRun::Running && !m_run.isPaused() && !text.isEmpty();
    m_widgets.convertingFile->setText(running ? text + tr(" \u2014 Ctrl+P pauses") : text);
}

void BatchController::setTotalProgress(int position)
{
    if (m_desktop)
        m_desktop->showProgress(position / 100.0);
}

void BatchController::setTimerEnabled(bool enabled)
{
    if (enabled)
        m_widgets.timer->start();
    else
        m_widgets.timer->stop();
}

// A batch that was stopped (a row neither converted nor failed) tells nothing.
void BatchController::batchEnded(const QList<int> &rows)
{
    if (!m_desktop)
        return;
    m_desktop->hideProgress();
    const int total = static_cast<int>(rows.size());
    int converted = 0;
    int failed = 0;
    for (int row : rows) {
        ltvItemData task;
        ReadItemData(m_tasks, row, 2, task); // sub-item 2: the status
        converted += task.StatusText == RowStatus::Complete;
        failed += task.StatusText == RowStatus::Failed;
    }
    if (total > 0 && converted + failed == total && !m_widgets.start->window()->isActiveWindow())
        m_desktop->notify(BatchEndMessage(converted, total));
}
