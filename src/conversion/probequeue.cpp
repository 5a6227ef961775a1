#include "conversion/probequeue.h"

#include <QPersistentModelIndex>
#include <QThread>
#include <QThreadPool>

#include <algorithm>

ProbeQueue::ProbeQueue(TaskListModel &tasks, QObject *parent)
    : QObject(parent)
    , m_tasks(tasks)
    , m_maxParallel(std::max(1, QThread::idealThreadCount()))
    , m_pool(new QThreadPool)
    , m_lingering(std::make_shared<std::atomic_int>(0))
{
    m_appendTimer.setSingleShot(true);
    connect(&m_appendTimer, &QTimer::timeout, this, &ProbeQueue::appendNow);
}

ProbeQueue::~ProbeQueue()
{
    // The probes are children: each kills and reaps its engine, or tells its
    // worker to stop, as it goes.
    for (const auto &entry : m_entries)
        stop(*entry);
    // A told worker ends at its next read. One stuck in the kernel (a stalled
    // network file) would keep the pool's destructor waiting for ever: that
    // pool is left behind, and the thread ends with the program.
    if (m_pool->waitForDone(StopWaitMs))
        delete m_pool;
}

void ProbeQueue::stop(Entry &entry)
{
    if (entry.probe) {
        entry.probe->abandon();
        entry.probe->deleteLater();
        entry.probe = nullptr;
    }
}

void ProbeQueue::setEnginePath(const QString &path)
{
    m_enginePath = path;
}

void ProbeQueue::setMaxParallel(int count)
{
    m_maxParallel = std::max(1, count);
    scheduleStart();
}

void ProbeQueue::setTimeoutMs(int ms)
{
    m_timeoutMs = ms;
}

bool ProbeQueue::enqueue(const QString &path, const QString &outputExt, const QString &foundUnder)
{
    if (m_queuedPaths.contains(path) || (!m_allowListed && m_tasks.hasInput(path)))
        return false;
    if (m_countsEnded) {
        // The first file since idle() starts the counts anew.
        m_countsEnded = false;
        m_total = 0;
        m_done = 0;
    }
    auto entry = std::make_unique<Entry>();
    entry->path = path;
    entry->outputExt = outputExt;
    entry->foundUnder = foundUnder;
    m_entries.push_back(std::move(entry));
    m_queuedPaths.insert(path);
    ++m_total;
    emit progress(m_done, m_total);
    // Started from the event loop, so that nothing of a probe happens inside
    // enqueue() and a caller can queue many files in one go.
    scheduleStart();
    return true;
}

bool ProbeQueue::isBusy() const
{
    return !m_entries.empty();
}

int ProbeQueue::total() const
{
    return m_total;
}

int ProbeQueue::done() const
{
    return m_done;
}

void ProbeQueue::scheduleStart()
{
    if (m_startScheduled)
        return;
    m_startScheduled = true;
    QTimer::singleShot(0, this, [this] {
        m_startScheduled = false;
        startMore();
    });
}

void ProbeQueue::startMore()
{
    // Threads that stuck workers hold do not count against the running probes.
    m_pool->setMaxThreadCount(m_maxParallel + m_lingering->load());
    while (m_running < m_maxParallel && m_started < static_cast<qsizetype>(m_entries.size())) {
        Entry *entry = m_entries[static_cast<size_t>(m_started)].get();
        ++m_started;
        ++m_running;
        entry->probe = new FileProbe(m_enginePath, entry->path, m_pool, this);
        entry->probe->setLingerCounter(m_lingering);
        connect(entry->probe, &FileProbe::done, this, [this, entry] { onProbeDone(entry); });
        entry->probe->launch(m_timeoutMs);
    }
}

void ProbeQueue::onProbeDone(Entry *entry)
{
    entry->report = entry->probe->report();
    entry->probe->deleteLater();
    entry->probe = nullptr;
    entry->finished = true;
    --m_running;

    startMore();
    scheduleAppend();
}

void ProbeQueue::scheduleAppend()
{
    if (m_appendTimer.isActive())
        return;
    const qint64 since = m_sinceAppend.isValid() ? m_sinceAppend.elapsed() : AppendIntervalMs;
    if (since >= AppendIntervalMs)
        appendNow();
    else
        m_appendTimer.start(int(AppendIntervalMs - since));
}

void ProbeQueue::appendNow()
{
    m_sinceAppend.start();
    appendFinished();
    if (!isBusy())
        scheduleIdle();
}

void ProbeQueue::appendFinished()
{
    // A handler of taskAdded may queue more files or cancel: the queue is
    // looked at anew on every turn.
    while (!m_entries.empty() && m_entries.front()->finished) {
        // The finished files at the front go in as one block of rows.
        std::vector<std::unique_ptr<Entry>> finished;
        while (!m_entries.empty() && m_entries.front()->finished) {
            finished.push_back(std::move(m_entries.front()));
            m_entries.pop_front();
            --m_started;
            m_queuedPaths.remove(finished.back()->path);
        }
        appendRows(finished);
    }
}

void ProbeQueue::appendRows(const std::vector<std::unique_ptr<Entry>> &entries)
{
    QList<ltvItemData> tasks;
    tasks.reserve(static_cast<qsizetype>(entries.size()));
    for (const auto &entry : entries) {
        tasks << TaskFromProbe(entry->path, entry->report, entry->outputExt);
        tasks.last().FoundUnder = entry->foundUnder;
    }
    const int first = m_tasks.appendTasks(tasks);
    // A handler of taskAdded may remove its row: the rows after it are told
    // where they are then.
    QList<QPersistentModelIndex> rows;
    rows.reserve(tasks.size());
    for (int row = first; row < first + static_cast<int>(tasks.size()); ++row)
        rows << QPersistentModelIndex(m_tasks.index(row, 0));
    for (const QPersistentModelIndex &row : rows) {
        ++m_done;
        if (row.isValid())
            emit taskAdded(row.row());
        emit progress(m_done, m_total);
    }
}

void ProbeQueue::cancel()
{
    if (!isBusy())
        return;
    m_appendTimer.stop();
    std::deque<std::unique_ptr<Entry>> entries;
    entries.swap(m_entries);
    m_queuedPaths.clear();
    m_started = 0;
    m_running = 0;

    // Every engine is gone, and every worker told, before any row is added.
    for (const auto &entry : entries)
        stop(*entry);
    std::vector<std::unique_ptr<Entry>> finished;
    int dropped = 0;
    for (auto &entry : entries) {
        if (entry->finished)
            finished.push_back(std::move(entry));
        else
            ++dropped;
    }
    appendRows(finished);
    m_done += dropped;
    emit progress(m_done, m_total);
    if (!isBusy())
        scheduleIdle();
}

void ProbeQueue::scheduleIdle()
{
    if (m_idleScheduled)
        return;
    m_idleScheduled = true;
    QTimer::singleShot(0, this, [this] {
        m_idleScheduled = false;
        // Files queued since then: idle() waits for them.
        if (isBusy())
            return;
        m_countsEnded = true;
        emit idle();
    });
}
