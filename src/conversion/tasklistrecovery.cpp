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
#include <QSaveFile>
#include <QStandardPaths>
#include <QUuid>

#include <algorithm>
#include <array>

namespace {

const QString Format = QStringLiteral("Vantorix task list");
constexpr int Version = 1;
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

QString roleText(const QStandardItemModel &tasks, int row, int role)
{
    return tasks.index(row, 0).data(role).toString();
}

} // namespace

QByteArray TaskListText(const QStandardItemModel &tasks, const SavedBatch &batch)
{
    QJsonArray rows;
    for (int row = 0; row < tasks.rowCount(); ++row) {
        ltvItemData record;
        ReadItemData(tasks, row, WholeRowField, record);
        QJsonArray fields;
        for (QString ltvItemData::*field : SubItems)
            fields.append(record.*field);
        QJsonObject task{{QStringLiteral("input"), record.InputFile}, {QStringLiteral("fields"), fields}};
        const std::pair<const char *, int> extras[] = {{"notes", TaskListModel::ResultNotesRole},
                                                       {"engineOutput", TaskListModel::EngineOutputRole},
                                                       {"temporary", TaskListModel::TemporaryOutputRole}};
        for (const auto &[key, role] : extras) {
            const QString text = roleText(tasks, row, role);
            if (!text.isEmpty())
                task.insert(QLatin1String(key), text);
        }
        rows.append(task);
    }
    const QJsonObject root{{QStringLiteral("format"), Format},
                           {QStringLiteral("version"), Version},
                           {QStringLiteral("profile"), batch.profile},
                           {QStringLiteral("outputFolder"), batch.outputFolder},
                           {QStringLiteral("tasks"), rows}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

std::optional<SavedTaskList> ParseTaskListText(const QByteArray &text, QString *error)
{
    const auto fail = [error](const QString &why) -> std::optional<SavedTaskList> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(text, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return fail(QStringLiteral("%1 at byte %2").arg(parseError.errorString()).arg(parseError.offset));
    const QJsonObject root = document.object();
    if (!document.isObject() || root.value(QStringLiteral("format")).toString() != Format)
        return fail(QStringLiteral("not a task list"));
    if (root.value(QStringLiteral("version")).toInt() != Version)
        return fail(QStringLiteral("a version this program does not know"));
    const QJsonValue rows = root.value(QStringLiteral("tasks"));
    if (!rows.isArray())
        return fail(QStringLiteral("no rows"));

    SavedTaskList list;
    list.batch.profile = root.value(QStringLiteral("profile")).toString();
    list.batch.outputFolder = root.value(QStringLiteral("outputFolder")).toString();
    for (const QJsonValue &value : rows.toArray()) {
        const QJsonObject row = value.toObject();
        const QJsonArray fields = row.value(QStringLiteral("fields")).toArray();
        SavedTask task;
        task.record.InputFile = row.value(QStringLiteral("input")).toString();
        const bool textFields = std::all_of(fields.begin(), fields.end(), [](const QJsonValue &v) { return v.isString(); });
        if (task.record.InputFile.isEmpty() || fields.size() != TaskListModel::SubItemCount || !textFields)
            return fail(QStringLiteral("row %1 is incomplete").arg(list.tasks.size() + 1));
        for (qsizetype i = 0; i < fields.size(); ++i)
            task.record.*SubItems[static_cast<size_t>(i)] = fields[i].toString();
        task.notes = row.value(QStringLiteral("notes")).toString();
        task.engineOutput = row.value(QStringLiteral("engineOutput")).toString();
        task.temporary = row.value(QStringLiteral("temporary")).toString();
        list.tasks.append(task);
    }
    return list;
}

int RestoreTasks(TaskListModel &tasks, const SavedTaskList &list)
{
    int added = 0;
    for (SavedTask task : list.tasks) {
        if (!tasks.findItems(task.record.InputFile, Qt::MatchExactly | Qt::MatchCaseSensitive, 0).isEmpty())
            continue;
        // Its engine was cut off (converting, at a percent or paused): it waits
        // again, showing what a row waiting to be converted shows.
        if (ConversionRun::IsRunningStatus(task.record.StatusText) || task.record.StatusText.isEmpty())
            task.record.StatusText = QStringLiteral("OK");
        const int row = tasks.appendTask(task.record);
        if (!task.notes.isEmpty())
            tasks.item(row, 0)->setData(task.notes, TaskListModel::ResultNotesRole);
        if (!task.engineOutput.isEmpty())
            tasks.item(row, 0)->setData(task.engineOutput, TaskListModel::EngineOutputRole);
        ++added;
    }
    return added;
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
    if (m_folder.isEmpty() || !QDir().mkpath(m_folder))
        return;
    m_path = QDir(m_folder).filePath(QStringLiteral("TaskList-%1.json")
                                         .arg(QUuid::createUuid().toString(QUuid::WithoutBraces)));
    auto lock = makeLock(m_path);
    if (!lock->tryLock(0))
        return;
    m_lock = std::move(lock);
    connect(&m_tasks, &QAbstractItemModel::rowsInserted, this, &TaskListRecovery::schedule);
    connect(&m_tasks, &QAbstractItemModel::rowsRemoved, this, &TaskListRecovery::schedule);
    connect(&m_tasks, &QAbstractItemModel::rowsMoved, this, &TaskListRecovery::schedule);
    connect(&m_tasks, &QAbstractItemModel::dataChanged, this, &TaskListRecovery::schedule);
    connect(&m_tasks, &QAbstractItemModel::modelReset, this, &TaskListRecovery::schedule);
    connect(&m_tasks, &QAbstractItemModel::layoutChanged, this, &TaskListRecovery::schedule);
}

TaskListRecovery::~TaskListRecovery() = default;

QString TaskListRecovery::QuestionText(int count)
{
    return QStringLiteral("The last session ended without closing. Restore its %1 %2 to the task list?")
        .arg(count)
        .arg(count == 1 ? QStringLiteral("file") : QStringLiteral("files"));
}

std::optional<SavedBatch> TaskListRecovery::offerLeftLists(IInteractive &interactive)
{
    std::optional<SavedBatch> restored;
    if (m_folder.isEmpty())
        return restored;
    const QDir folder(m_folder);
    // Newest first.
    for (const QFileInfo &file : folder.entryInfoList({FilePattern}, QDir::Files, QDir::Time)) {
        const QString path = file.absoluteFilePath();
        if (path == QFileInfo(m_path).absoluteFilePath())
            continue;
        const std::unique_ptr<QLockFile> lock = makeLock(path);
        if (!lock->tryLock(0))
            continue; // a running window's
        QFile input(path);
        if (!input.open(QIODevice::ReadOnly)) {
            setAside(path, input.errorString(), interactive);
            continue;
        }
        QString error;
        const std::optional<SavedTaskList> list = ParseTaskListText(input.readAll(), &error);
        input.close();
        if (!list) {
            setAside(path, error, interactive);
            continue;
        }
        // What its engines were writing goes whatever the answer: restored
        // rows convert again from the start.
        RemoveUnfinishedOutputs(*list);
        if (!list->tasks.isEmpty() && interactive.question(Caption, QuestionText(int(list->tasks.size())))) {
            qCInfo(lcRecovery) << "restoring" << list->tasks.size() << "tasks from" << path;
            RestoreTasks(m_tasks, *list);
            if (!restored)
                restored = list->batch;
        }
        qCInfo(lcRecovery) << "removing the task list" << path;
        QFile::remove(path);
    }
    // Locks of windows that were lost before they wrote anything.
    for (const QFileInfo &file : folder.entryInfoList({FilePattern + QStringLiteral(".lock")}, QDir::Files)) {
        const QString path = file.absoluteFilePath().chopped(5);
        if (!QFileInfo::exists(path))
            makeLock(path)->tryLock(0); // taken from a gone owner, then let go: removed
    }
    return restored;
}

void TaskListRecovery::setAside(const QString &path, const QString &reason, IInteractive &interactive)
{
    QString aside = path + QStringLiteral(".damaged");
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = path + QStringLiteral(".damaged-%1").arg(n);
    const bool moved = QFile::rename(path, aside);
    qCInfo(lcRecovery) << "unreadable task list" << path << reason << (moved ? "set aside as" : "left as it is")
                       << aside;
    interactive.warning(Caption, moved ? QStringLiteral("The task list of an earlier session cannot be read (%1). "
                                                        "It was set aside as %2.")
                                             .arg(reason, QDir::toNativeSeparators(aside))
                                       : QStringLiteral("The task list of an earlier session cannot be read (%1): %2")
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
    const qint64 since = m_sinceSave.isValid() ? m_sinceSave.elapsed() : MinSaveIntervalMs;
    m_timer.start(int(std::max<qint64>(0, MinSaveIntervalMs - since)));
}

void TaskListRecovery::save()
{
    if (!m_lock)
        return;
    m_sinceSave.start();
    QSaveFile file(m_path);
    if (file.open(QIODevice::WriteOnly) && file.write(TaskListText(m_tasks, m_batch())) >= 0 && file.commit())
        return;
    // Said once: the window goes on without it.
    if (!m_warned)
        qWarning("The task list cannot be kept in %s: %s", qPrintable(m_path), qPrintable(file.errorString()));
    m_warned = true;
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
