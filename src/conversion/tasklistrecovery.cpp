#include "conversion/tasklistrecovery.h"

#include "conversion/conversionrun.h"
#include "conversion/outputfile.h"
#include "conversion/workfolder.h"
#include "platform/interactive.h"
#include "platform/logging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QPointer>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUuid>

#include <algorithm>
#include <array>

namespace {

const QString Format = QStringLiteral("Vantorix task list");
constexpr int Version = 2;      // the list on one line, then its changes
constexpr int FirstVersion = 1; // the list alone, over several lines
const QString FilePattern = QStringLiteral("TaskList-*.json");

// The ten sub-items in their order.
constexpr std::array<QString ltvItemData::*, TaskListModel::SubItemCount> SubItems = {
    &ltvItemData::LengthText,     &ltvItemData::SizeText,   &ltvItemData::StatusText, &ltvItemData::NewName,
    &ltvItemData::NewExt,         &ltvItemData::OrigStartText, &ltvItemData::OrigEndText,
    &ltvItemData::ClipLengthText, &ltvItemData::StartText,  &ltvItemData::EndText};

QString lockPath(const QString &path)
{
    return path + QStringLiteral(".lock");
}

// A lock that counts as held for as long as its owner runs: only an owner
// that is gone leaves one to take. No age makes it stale, so that a window
// on another machine sharing the folder keeps its list however long it runs.
std::unique_ptr<QLockFile> makeLock(const QString &path)
{
    auto lock = std::make_unique<QLockFile>(lockPath(path));
    lock->setStaleLockTime(0);
    return lock;
}

// Only a name that an earlier version gave its unfinished outputs (beside the
// final one) is ever removed on the word of a task list file.
bool isTemporaryOutputName(const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    return name.startsWith(QLatin1Char('.')) && name.contains(QLatin1String(".vantorix-part."));
}

QString roleText(const TaskListModel &tasks, int row, int role)
{
    return tasks.index(row, 0).data(role).toString();
}

} // namespace

namespace {

// One row as a JSON object.
QJsonObject taskObject(const TaskListModel &tasks, int row)
{
    ltvItemData record;
    ReadItemData(tasks, row, WholeRowField, record);
    QJsonArray fields;
    for (QString ltvItemData::*field : SubItems)
        fields.append(record.*field);
    QJsonObject task{{QStringLiteral("input"), record.InputFile}, {QStringLiteral("fields"), fields}};
    const std::pair<const char *, int> extras[] = {{"notes", TaskListModel::ResultNotesRole},
                                                   {"engineOutput", TaskListModel::EngineOutputRole},
                                                   {"temporary", TaskListModel::TemporaryOutputRole},
                                                   {"foundUnder", TaskListModel::FoundUnderRole}};
    for (const auto &[key, role] : extras) {
        const QString text = roleText(tasks, row, role);
        if (!text.isEmpty())
            task.insert(QLatin1String(key), text);
    }
    return task;
}

QByteArray line(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

QJsonObject batchObject(const SavedBatch &batch)
{
    return {{QStringLiteral("profile"), batch.profile}, {QStringLiteral("outputFolder"), batch.outputFolder}};
}

std::optional<SavedTask> parseTask(const QJsonObject &row)
{
    const QJsonArray fields = row.value(QStringLiteral("fields")).toArray();
    SavedTask task;
    task.record.InputFile = row.value(QStringLiteral("input")).toString();
    const bool textFields = std::all_of(fields.begin(), fields.end(), [](const QJsonValue &v) { return v.isString(); });
    if (task.record.InputFile.isEmpty() || fields.size() != TaskListModel::SubItemCount || !textFields)
        return std::nullopt;
    for (qsizetype i = 0; i < fields.size(); ++i)
        task.record.*SubItems[static_cast<size_t>(i)] = fields[i].toString();
    task.notes = row.value(QStringLiteral("notes")).toString();
    task.engineOutput = row.value(QStringLiteral("engineOutput")).toString();
    task.temporary = row.value(QStringLiteral("temporary")).toString();
    // Lists kept before tasks knew the folder they were found under have none.
    task.record.FoundUnder = row.value(QStringLiteral("foundUnder")).toString();
    return task;
}

} // namespace

QByteArray TaskListText(const TaskListModel &tasks, const SavedBatch &batch)
{
    QJsonArray rows;
    for (int row = 0; row < tasks.rowCount(); ++row)
        rows.append(taskObject(tasks, row));
    QJsonObject root = batchObject(batch);
    root.insert(QStringLiteral("format"), Format);
    root.insert(QStringLiteral("version"), Version);
    root.insert(QStringLiteral("tasks"), rows);
    return line(root);
}

QByteArray TaskListRowText(const TaskListModel &tasks, int row)
{
    return line({{QStringLiteral("at"), row}, {QStringLiteral("row"), taskObject(tasks, row)}});
}

QByteArray TaskListBatchText(const SavedBatch &batch)
{
    return line({{QStringLiteral("batch"), batchObject(batch)}});
}

std::optional<SavedTaskList> ParseTaskListText(const QByteArray &text, QString *error)
{
    const auto fail = [error](const QString &why) -> std::optional<SavedTaskList> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    // The list as last written whole, on the first line; an earlier version
    // wrote it over several lines and nothing after it.
    QList<QByteArray> lines = text.split('\n');
    QJsonParseError parseError;
    QJsonDocument document = QJsonDocument::fromJson(lines.first(), &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        QJsonParseError wholeError;
        document = QJsonDocument::fromJson(text, &wholeError);
        if (wholeError.error != QJsonParseError::NoError)
            return fail(TaskListRecovery::tr("%1 at byte %2").arg(parseError.errorString()).arg(parseError.offset));
        lines = {text};
    }
    const QJsonObject root = document.object();
    if (!document.isObject() || root.value(QStringLiteral("format")).toString() != Format)
        return fail(TaskListRecovery::tr("not a task list"));
    const int version = root.value(QStringLiteral("version")).toInt();
    if (version != Version && version != FirstVersion)
        return fail(TaskListRecovery::tr("a version this program does not know"));
    const QJsonValue rows = root.value(QStringLiteral("tasks"));
    if (!rows.isArray())
        return fail(TaskListRecovery::tr("no rows"));

    SavedTaskList list;
    list.batch.profile = root.value(QStringLiteral("profile")).toString();
    list.batch.outputFolder = root.value(QStringLiteral("outputFolder")).toString();
    for (const QJsonValue &value : rows.toArray()) {
        const std::optional<SavedTask> task = parseTask(value.toObject());
        if (!task)
            return fail(TaskListRecovery::tr("row %1 is incomplete").arg(list.tasks.size() + 1));
        list.tasks.append(*task);
    }
    // The changes since, one a line. A last line without its end was being
    // written when the program stopped: what it said is lost, the rest holds.
    for (qsizetype i = 1; i + 1 < lines.size(); ++i) {
        const QJsonObject change = QJsonDocument::fromJson(lines[i]).object();
        if (change.contains(QStringLiteral("row"))) {
            // A row in place, or the next one: rows are never appended
            // anywhere else, nor removed or moved, between two whole writes.
            const std::optional<SavedTask> task = parseTask(change.value(QStringLiteral("row")).toObject());
            const qint64 at = change.value(QStringLiteral("at")).toInteger(-1);
            if (!task || at < 0 || at > list.tasks.size())
                return fail(TaskListRecovery::tr("change %1 is incomplete").arg(i));
            if (at == list.tasks.size())
                list.tasks.append(*task);
            else
                list.tasks[at] = *task;
        } else if (change.contains(QStringLiteral("batch"))) {
            const QJsonObject batch = change.value(QStringLiteral("batch")).toObject();
            list.batch.profile = batch.value(QStringLiteral("profile")).toString();
            list.batch.outputFolder = batch.value(QStringLiteral("outputFolder")).toString();
        } else {
            return fail(TaskListRecovery::tr("change %1 cannot be read").arg(i));
        }
    }
    return list;
}

int RestoreTasks(TaskListModel &tasks, const SavedTaskList &list)
{
    // The rows go in as one block; a path the list names twice comes once.
    QList<ltvItemData> records;
    QList<const SavedTask *> restored;
    QSet<QString> taken;
    for (const SavedTask &task : list.tasks) {
        if (tasks.hasInput(task.record.InputFile) || taken.contains(task.record.InputFile))
            continue;
        taken.insert(task.record.InputFile);
        records << task.record;
        // Its engine was cut off (converting, at a percent or paused): it waits
        // again, showing what a row waiting to be converted shows.
        if (ConversionRun::IsRunningStatus(task.record.StatusText) || task.record.StatusText.isEmpty())
            records.last().StatusText = QStringLiteral("OK");
        restored << &task;
    }
    const int first = tasks.appendTasks(records);
    for (qsizetype i = 0; i < restored.size(); ++i) {
        const QModelIndex caption = tasks.index(first + static_cast<int>(i), 0);
        if (!restored[i]->notes.isEmpty())
            tasks.setData(caption, restored[i]->notes, TaskListModel::ResultNotesRole);
        if (!restored[i]->engineOutput.isEmpty())
            tasks.setData(caption, restored[i]->engineOutput, TaskListModel::EngineOutputRole);
    }
    return static_cast<int>(records.size());
}

int RemoveUnfinishedOutputs(const SavedTaskList &list)
{
    int removed = 0;
    QStringList swept;
    for (const SavedTask &task : list.tasks) {
        if (!ConversionRun::IsRunningStatus(task.record.StatusText) || task.temporary.isEmpty())
            continue;
        if (WorkFolder::IsWorkPath(task.temporary)) {
            // The run's own folder goes only once its lock is free: a window
            // still running there keeps its work.
            const QString folder = WorkFolder::OutputFolderOf(task.temporary);
            if (!swept.contains(folder)) {
                swept << folder;
                qCInfo(lcRecovery) << "sweeping the work folders of ended runs in" << folder;
                removed += WorkFolder::SweepAbandoned(folder);
            }
        } else if (isTemporaryOutputName(task.temporary)) {
            const QFileInfo left(task.temporary);
            if ((left.exists() || left.isSymLink()) && RemoveOutputFile(task.temporary)) {
                qCInfo(lcRecovery) << "removed the unfinished output" << task.temporary;
                ++removed;
            }
        }
    }
    return removed;
}

QString DefaultRecoveryFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

TaskListRecovery::TaskListRecovery(TaskListModel &tasks, const QString &folder, BatchSource batch, QObject *parent)
    : QObject(parent)
    , m_tasks(tasks)
    , m_folder(folder)
    , m_batch(std::move(batch))
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &TaskListRecovery::save);
    // The first write, too, comes a second after the first change.
    m_sinceSave.start();
    if (m_folder.isEmpty() || !QDir().mkpath(m_folder))
        return;
    m_path = QDir(m_folder).filePath(QStringLiteral("TaskList-%1.json")
                                         .arg(QUuid::createUuid().toString(QUuid::WithoutBraces)));
    auto lock = makeLock(m_path);
    if (!lock->tryLock(0))
        return;
    m_lock = std::move(lock);
    // Rows changed or added at the end are appended; anything that moves
    // rows or changes a caption (what a row is known by) has the list
    // written whole.
    connect(&m_tasks, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex &, int first, int last) {
        if (last == m_tasks.rowCount() - 1)
            rowsChanged(first, last);
        else
            rewriteWhole();
    });
    connect(&m_tasks, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &topLeft, const QModelIndex &bottomRight, const QList<int> &roles) {
                if (topLeft.column() == 0
                    && (roles.isEmpty() || roles.contains(Qt::DisplayRole) || roles.contains(Qt::EditRole)))
                    rewriteWhole();
                else
                    rowsChanged(topLeft.row(), bottomRight.row());
            });
    connect(&m_tasks, &QAbstractItemModel::rowsRemoved, this, &TaskListRecovery::rewriteWhole);
    connect(&m_tasks, &QAbstractItemModel::rowsMoved, this, &TaskListRecovery::rewriteWhole);
    connect(&m_tasks, &QAbstractItemModel::modelReset, this, &TaskListRecovery::rewriteWhole);
    connect(&m_tasks, &QAbstractItemModel::layoutChanged, this, &TaskListRecovery::rewriteWhole);
}

TaskListRecovery::~TaskListRecovery() = default;

QString TaskListRecovery::QuestionText(int count)
{
    return tr("The last session ended without closing. Restore its %1 %2 to the task list?")
        .arg(count)
        .arg(count == 1 ? tr("file") : tr("files"));
}

void TaskListRecovery::offerLeftLists(IInteractive &interactive, OfferDone done)
{
    Offer offer;
    offer.interactive = &interactive;
    offer.done = std::move(done);
    if (!m_folder.isEmpty()) {
        // Newest first.
        for (const QFileInfo &file : QDir(m_folder).entryInfoList({FilePattern}, QDir::Files, QDir::Time))
            if (file.absoluteFilePath() != QFileInfo(m_path).absoluteFilePath())
                offer.paths << file.absoluteFilePath();
    }
    m_offer = std::move(offer);
    offerNext();
}

void TaskListRecovery::offerNext()
{
    Offer &offer = *m_offer;
    while (offer.next < offer.paths.size()) {
        const QString path = offer.paths[offer.next++];
        std::shared_ptr<QLockFile> lock = makeLock(path);
        if (!lock->tryLock(0))
            continue; // a running window's
        QFile input(path);
        if (!input.open(QIODevice::ReadOnly)) {
            setAside(path, input.errorString(), *offer.interactive);
            continue;
        }
        QString error;
        std::optional<SavedTaskList> list = ParseTaskListText(input.readAll(), &error);
        input.close();
        if (!list) {
            setAside(path, error, *offer.interactive);
            continue;
        }
        // What its engines were writing goes whatever the answer: restored
        // rows convert again from the start.
        RemoveUnfinishedOutputs(*list);
        const int count = int(list->tasks.size());
        const auto answered = [self = QPointer<TaskListRecovery>(this), list = std::move(*list), path,
                               lock](bool restore) {
            if (!self || !self->m_offer)
                return;
            if (restore) {
                qCInfo(lcRecovery) << "restoring" << list.tasks.size() << "tasks from" << path;
                RestoreTasks(self->m_tasks, list);
                if (!self->m_offer->restored)
                    self->m_offer->restored = list.batch;
            }
            qCInfo(lcRecovery) << "removing the task list" << path;
            QFile::remove(path);
            lock->unlock();
            self->offerNext();
        };
        if (count == 0) {
            answered(false);
            return;
        }
        offer.interactive->ask(Caption, QuestionText(count), IInteractive::DefaultAnswer::Yes, answered);
        return;
    }
    const Offer finished = *std::exchange(m_offer, std::nullopt);
    if (!m_folder.isEmpty()) {
        // Locks of windows that were lost before they wrote anything.
        for (const QFileInfo &file :
             QDir(m_folder).entryInfoList({FilePattern + QStringLiteral(".lock")}, QDir::Files)) {
            const QString path = file.absoluteFilePath().chopped(5);
            if (!QFileInfo::exists(path))
                makeLock(path)->tryLock(0); // taken from a gone owner, then let go: removed
        }
        // What was restored is written a second from now, with the window up.
        m_sinceSave.start();
        if (m_timer.isActive())
            m_timer.start(MinSaveIntervalMs);
    }
    if (finished.done)
        finished.done(finished.restored);
}

void TaskListRecovery::setAside(const QString &path, const QString &reason, IInteractive &interactive)
{
    QString aside = path + QStringLiteral(".damaged");
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = path + QStringLiteral(".damaged-%1").arg(n);
    const bool moved = QFile::rename(path, aside);
    qCInfo(lcRecovery) << "unreadable task list" << path << reason << (moved ? "set aside as" : "left as it is")
                       << aside;
    interactive.warning(Caption, moved ? tr("The task list of an earlier session cannot be read (%1). "
                                            "It was set aside as %2.")
                                             .arg(reason, QDir::toNativeSeparators(aside))
                                       : tr("The task list of an earlier session cannot be read (%1): %2")
                                             .arg(reason, QDir::toNativeSeparators(path)));
}

void TaskListRecovery::batchChanged()
{
    schedule();
}

void TaskListRecovery::schedule()
{
    if (!m_lock || m_timer.isActive())
        return;
    m_timer.start(int(std::max<qint64>(0, MinSaveIntervalMs - m_sinceSave.elapsed())));
}

void TaskListRecovery::rowsChanged(int first, int last)
{
    if (!m_wholeDue) {
        for (int row = first; row <= last; ++row)
            m_changedRows.insert(row);
    }
    schedule();
}

void TaskListRecovery::rewriteWhole()
{
    m_wholeDue = true;
    m_changedRows.clear();
    schedule();
}

void TaskListRecovery::save()
{
    if (!m_lock)
        return;
    m_sinceSave.start();
    const SavedBatch batch = m_batch();
    // Appending stops paying once the lines outgrow the list: the file is
    // then read mostly as changes that later ones replace.
    const bool whole = m_wholeDue || m_appendedBytes > std::max<qint64>(m_wholeBytes, MinAppendedBytes);
    if (whole ? writeWhole(batch) : append(batch)) {
        m_wholeDue = false;
        m_changedRows.clear();
        m_writtenBatch = batch;
        return;
    }
    // The file may end in a part of a line now: nothing more is appended to
    // it until it was written whole again, which is tried at once.
    m_wholeDue = true;
    m_changedRows.clear();
    if (!whole)
        schedule();
}

bool TaskListRecovery::writeWhole(const SavedBatch &batch)
{
    const QByteArray text = TaskListText(m_tasks, batch);
    QSaveFile file(m_path);
    if (file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.commit()) {
        m_wholeBytes = text.size();
        m_appendedBytes = 0;
        return true;
    }
    // Said once: the window goes on without it.
    if (!m_warned)
        qWarning("The task list cannot be kept in %s: %s", qPrintable(m_path), qPrintable(file.errorString()));
    m_warned = true;
    return false;
}

bool TaskListRecovery::append(const SavedBatch &batch)
{
    QList<int> rows(m_changedRows.cbegin(), m_changedRows.cend());
    std::sort(rows.begin(), rows.end());
    QByteArray text;
    for (int row : rows) {
        if (row < m_tasks.rowCount())
            text += TaskListRowText(m_tasks, row);
    }
    if (batch.profile != m_writtenBatch.profile || batch.outputFolder != m_writtenBatch.outputFolder)
        text += TaskListBatchText(batch);
    if (text.isEmpty())
        return true;
    // One write: a stop in the middle of it leaves one line cut short at
    // the end, which the reader leaves out.
    QFile file(m_path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered | QIODevice::ExistingOnly) || file.write(text) != text.size()) {
        qCInfo(lcRecovery) << "appending to the task list failed:" << file.errorString();
        return false;
    }
    m_appendedBytes += text.size();
    return true;
}

void TaskListRecovery::closeNormally()
{
    if (!m_lock)
        return;
    m_timer.stop();
    disconnect(&m_tasks, nullptr, this, nullptr);
    QFile::remove(m_path);
    m_lock.reset(); // removes the lock file
}
