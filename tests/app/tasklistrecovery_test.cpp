// The main window keeps its task list against a crash and offers it again at
// the next start; the task list's "Engine Output..." window.
#include "windowfixture.h"

#include "conversion/outputfile.h"
#include "conversion/tasklistrecovery.h"
#include "conversion/workfolder.h"
#include "ui/engineoutputform.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
#include <QGuiApplication>
#include <QLineEdit>
#include <QLockFile>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeView>

namespace {

const QString Question = QStringLiteral("question|Restore Task List|");

class TaskListRecoveryTest : public WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        // Every window of a test keeps its list here, as the windows of one
        // user do.
        data = folder.filePath(QStringLiteral("data"));
        recorded.recoveryFolder = data;
    }

    QStringList listFiles(const QString &pattern = QStringLiteral("TaskList-*")) const
    {
        return QDir(data).entryList({pattern}, QDir::Files, QDir::Name);
    }

    // Every task list file in the folder that can be read, by name.
    QMap<QString, SavedTaskList> keptLists() const
    {
        QMap<QString, SavedTaskList> lists;
        for (const QString &name : listFiles(QStringLiteral("TaskList-*.json"))) {
            QFile file(QDir(data).filePath(name));
            if (!file.open(QIODevice::ReadOnly))
                continue;
            if (const std::optional<SavedTaskList> list = ParseTaskListText(file.readAll()))
                lists.insert(name, *list);
        }
        return lists;
    }

    // The one task list file in the folder, read; nothing while there is
    // none.
    std::optional<SavedTaskList> keptList() const
    {
        const QMap<QString, SavedTaskList> lists = keptLists();
        if (lists.size() != 1 || listFiles(QStringLiteral("TaskList-*.json")).size() != 1)
            return std::nullopt;
        return lists.first();
    }

    // Until the kept list satisfies the condition.
    bool waitKept(const std::function<bool(const SavedTaskList &)> &condition)
    {
        return waitFor([&] {
            const std::optional<SavedTaskList> list = keptList();
            return list && condition(*list);
        });
    }

    QString addFile(TMainForm &form, const QString &name)
    {
        const QString path = folder.filePath(QStringLiteral("in/") + name);
        touchFile(path);
        form.AddTaskFile(path);
        EXPECT_TRUE(waitFor([&] { return !form.isAdding(); }));
        return path;
    }

    // The window goes as in a kill -9: nothing of its close runs, and the
    // lock file stays behind naming a process that is gone.
    void crash()
    {
        const QStringList lists = listFiles(QStringLiteral("TaskList-*.json"));
        window.reset();
        QProcess gone;
        gone.start(QStringLiteral("true"));
        ASSERT_TRUE(gone.waitForStarted());
        const qint64 deadPid = gone.processId();
        ASSERT_TRUE(gone.waitForFinished());
        for (const QString &list : lists) {
            const QString lockPath = QDir(data).filePath(list + QStringLiteral(".lock"));
            QByteArray content;
            {
                QLockFile lock(lockPath);
                ASSERT_TRUE(lock.tryLock(0));
                QFile file(lockPath);
                ASSERT_TRUE(file.open(QIODevice::ReadOnly));
                content = file.readAll();
            }
            content = QByteArray::number(deadPid) + content.mid(content.indexOf('\n'));
            touchFile(lockPath, content);
        }
    }

    QStringList questions() const { return interactive.messages.filter(Question); }

    QString data;
};

TEST_F(TaskListRecoveryTest, TheListIsKeptAsItChangesAndGoesWithANormalClose)
{
    TMainForm &form = open();
    EXPECT_TRUE(listFiles(QStringLiteral("*.json")).isEmpty());
    const QString a = addFile(form, QStringLiteral("a.avi"));
    const QString b = addFile(form, QStringLiteral("b.avi"));
    ASSERT_TRUE(waitKept([](const SavedTaskList &list) { return list.tasks.size() == 2; }));
    EXPECT_EQ(listFiles(QStringLiteral("*.lock")).size(), 1);

    // A new name and trims typed for a task, and another output folder.
    ltvItemData edited = task(0);
    edited.NewName = QStringLiteral("holiday");
    edited.StartText = QStringLiteral("00:00:01");
    WriteItemData(form.tasks(), 0, WholeRowField, edited);
    child<QLineEdit>("edtOutputdir")->setText(QStringLiteral("/somewhere/else/"));
    ASSERT_TRUE(waitKept([](const SavedTaskList &list) {
        return list.tasks.value(0).record.NewName == QLatin1String("holiday")
               && list.tasks.value(0).record.StartText == QLatin1String("00:00:01")
               && list.batch.outputFolder == QLatin1String("/somewhere/else/");
    }));

    child<QTreeView>("ltvTask")->selectionModel()->select(form.tasks().index(0, 0),
                                                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
    form.tbtnRemoveClick();
    ASSERT_TRUE(waitKept([&](const SavedTaskList &list) {
        return list.tasks.size() == 1 && list.tasks[0].record.InputFile == b;
    }));
    Q_UNUSED(a);

    EXPECT_TRUE(form.close());
    EXPECT_TRUE(listFiles().isEmpty());
    open();
    EXPECT_TRUE(questions().isEmpty());
    EXPECT_EQ(window->tasks().rowCount(), 0);
}

TEST_F(TaskListRecoveryTest, AListLeftByACrashIsRestoredBeforeTheCommandLinesFiles)
{
    TMainForm &form = open();
    const QString a = addFile(form, QStringLiteral("a.avi"));
    const QString b = addFile(form, QStringLiteral("b.avi"));
    const QString c = addFile(form, QStringLiteral("c.avi"));
    const QString out = folder.filePath(QStringLiteral("out/"));
    QDir().mkpath(out);
    child<QLineEdit>("edtOutputdir")->setText(out);
    QComboBox *profiles = child<QComboBox>("cmbProfile");
    profiles->setCurrentIndex(profiles->findText(QStringLiteral("MKV H.264")));

    // a converted and renamed, b cut off while converting, c failed.
    ltvItemData first = task(0);
    first.StatusText = QStringLiteral("Complete");
    first.NewName = QStringLiteral("holiday");
    first.StartText = QStringLiteral("00:00:02");
    WriteItemData(form.tasks(), 0, WholeRowField, first);
    const QString partial = TemporaryOutputPath(out + QStringLiteral("b.mkv"));
    touchFile(partial, "half an output");
    ltvItemData second = task(1);
    second.StatusText = QStringLiteral("Converting");
    WriteItemData(form.tasks(), 1, 2, second);
    form.tasks().setData(form.tasks().index(1, 0), partial, TaskListModel::TemporaryOutputRole);
    ltvItemData third = task(2);
    third.StatusText = QStringLiteral("Failed");
    WriteItemData(form.tasks(), 2, 2, third);
    form.tasks().setData(form.tasks().index(2, 0), QStringLiteral("Conversion failed!"), TaskListModel::EngineOutputRole);
    ASSERT_TRUE(waitKept([&](const SavedTaskList &list) {
        return list.tasks.size() == 3 && list.tasks[1].temporary == partial
               && list.tasks[2].engineOutput == QLatin1String("Conversion failed!")
               && list.batch.profile == QLatin1String("MKV H.264");
    }));
    ASSERT_NO_FATAL_FAILURE(crash());

    // The preferences name another profile and folder; the list's win.
    const QString d = folder.filePath(QStringLiteral("in/d.avi"));
    touchFile(d);
    // Answered once the window is up: the command line's files wait for it.
    interactive.holdQuestions = true;
    TMainForm &again = open({d, a});
    EXPECT_EQ(again.tasks().rowCount(), 0);
    EXPECT_EQ(listFiles(QStringLiteral("*.lock")).size(), 2); // the list offered is held meanwhile
    interactive.answerQuestions(true);
    ASSERT_TRUE(waitAdded());
    EXPECT_EQ(questions(), QStringList{Question + QStringLiteral("The last session ended without closing. "
                                                                 "Restore its 3 files to the task list?")});
    EXPECT_EQ(captions(), QStringList({a, b, c, d}));
    EXPECT_EQ(cell(0, 3), QStringLiteral("Complete"));
    EXPECT_EQ(task(0).NewName, QStringLiteral("holiday"));
    EXPECT_EQ(task(0).StartText, QStringLiteral("00:00:02"));
    EXPECT_DOUBLE_EQ(task(0).StartSecs, 2);
    EXPECT_EQ(cell(1, 3), QStringLiteral("OK"));
    EXPECT_FALSE(QFile::exists(partial));
    EXPECT_EQ(cell(2, 3), QStringLiteral("Failed"));
    EXPECT_EQ(again.tasks().index(2, 0).data(TaskListModel::EngineOutputRole).toString(),
              QStringLiteral("Conversion failed!"));
    EXPECT_EQ(child<QLineEdit>("edtOutputdir")->text(), out);
    EXPECT_EQ(child<QComboBox>("cmbProfile")->currentText(), QStringLiteral("MKV H.264"));
    EXPECT_EQ(again.OutputExt(), QStringLiteral(".mkv"));
    EXPECT_FALSE(child<QWidget>("panGettingStarted")->isVisible());

    // The old list has become this window's own.
    ASSERT_TRUE(waitKept([](const SavedTaskList &list) { return list.tasks.size() == 4; }));
    EXPECT_EQ(listFiles(QStringLiteral("*.lock")).size(), 1);
    EXPECT_TRUE(again.close());
    EXPECT_TRUE(listFiles().isEmpty());
}

TEST_F(TaskListRecoveryTest, NoDiscardsTheListForGood)
{
    addFile(open(), QStringLiteral("a.avi"));
    ASSERT_TRUE(waitKept([](const SavedTaskList &list) { return list.tasks.size() == 1; }));
    ASSERT_NO_FATAL_FAILURE(crash());

    interactive.answer = false;
    open();
    EXPECT_EQ(questions().size(), 1);
    EXPECT_EQ(window->tasks().rowCount(), 0);
    EXPECT_TRUE(child<QWidget>("panGettingStarted")->isVisible());
    EXPECT_TRUE(listFiles(QStringLiteral("*.json")).isEmpty());
    window->close();
    interactive.answer = true;
    open();
    EXPECT_EQ(questions().size(), 1);
    EXPECT_EQ(window->tasks().rowCount(), 0);
}

TEST_F(TaskListRecoveryTest, SeveralListsLeftAreEachOfferedNewestFirst)
{
    // Two windows lost at the same moment; the second saved its list later.
    addFile(open(), QStringLiteral("old.avi"));
    auto second = std::make_unique<TMainForm>(recorded.services(folder.path()));
    const QString out = folder.filePath(QStringLiteral("newer/"));
    second->findChild<QLineEdit *>(QStringLiteral("edtOutputdir"))->setText(out);
    addFile(*second, QStringLiteral("new1.avi"));
    addFile(*second, QStringLiteral("new2.avi"));
    QString older;
    QString newer;
    ASSERT_TRUE(waitFor([&] {
        const QMap<QString, SavedTaskList> lists = keptLists();
        for (auto list = lists.begin(); list != lists.end(); ++list)
            (list->tasks.size() == 1 ? older : newer) = list->tasks.size() <= 2 ? list.key() : QString();
        return lists.size() == 2 && !older.isEmpty() && lists.value(newer).tasks.size() == 2;
    }));
    QFile oldFile(QDir(data).filePath(older));
    ASSERT_TRUE(oldFile.open(QIODevice::ReadWrite));
    ASSERT_TRUE(oldFile.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
    oldFile.close();
    second.reset();
    ASSERT_NO_FATAL_FAILURE(crash());

    open();
    EXPECT_EQ(questions(), QStringList({Question + TaskListRecovery::QuestionText(2),
                                        Question + TaskListRecovery::QuestionText(1)}));
    EXPECT_EQ(captions(), QStringList({folder.filePath(QStringLiteral("in/new1.avi")),
                                       folder.filePath(QStringLiteral("in/new2.avi")),
                                       folder.filePath(QStringLiteral("in/old.avi"))}));
    // The batch of the newest list.
    EXPECT_EQ(child<QLineEdit>("edtOutputdir")->text(), out);
    EXPECT_EQ(TaskListRecovery::QuestionText(1),
              QStringLiteral("The last session ended without closing. Restore its 1 file to the task list?"));
}

TEST_F(TaskListRecoveryTest, ADamagedListIsReportedOnceAndSetAside)
{
    QDir().mkpath(data);
    const QString damaged = QDir(data).filePath(QStringLiteral("TaskList-damaged.json"));
    const QByteArray content("{\"format\": \"Vantorix task list\", \"version\": 1, \"tasks\": [{\"inp");
    touchFile(damaged, content);

    open();
    ASSERT_EQ(interactive.messages.size(), 1);
    EXPECT_TRUE(interactive.messages.first().startsWith(QStringLiteral("warning|Restore Task List|")));
    EXPECT_TRUE(interactive.messages.first().contains(QStringLiteral("TaskList-damaged.json.damaged")));
    EXPECT_TRUE(questions().isEmpty());
    EXPECT_FALSE(QFile::exists(damaged));
    QFile aside(damaged + QStringLiteral(".damaged"));
    ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
    EXPECT_EQ(aside.readAll(), content);
    EXPECT_EQ(window->tasks().rowCount(), 0);

    window->close();
    open();
    EXPECT_EQ(interactive.messages.size(), 1);
}

TEST_F(TaskListRecoveryTest, ARunningWindowsListIsNeverOffered)
{
    TMainForm &first = open();
    addFile(first, QStringLiteral("a.avi"));
    ASSERT_TRUE(waitKept([](const SavedTaskList &list) { return list.tasks.size() == 1; }));
    // However long the first window has run.
    const QString lock = QDir(data).filePath(listFiles(QStringLiteral("*.lock")).first());
    QFile lockFile(lock);
    ASSERT_TRUE(lockFile.open(QIODevice::ReadWrite));
    ASSERT_TRUE(lockFile.setFileTime(QDateTime::currentDateTime().addDays(-1), QFileDevice::FileModificationTime));
    lockFile.close();

    TMainForm second(recorded.services(folder.path()));
    EXPECT_TRUE(questions().isEmpty());
    EXPECT_EQ(second.tasks().rowCount(), 0);
    EXPECT_EQ(first.tasks().rowCount(), 1);
    addFile(second, QStringLiteral("b.avi"));
    ASSERT_TRUE(waitFor([&] { return listFiles(QStringLiteral("*.json")).size() == 2; }));
    // Each window's close takes only its own list.
    second.close();
    ASSERT_TRUE(waitKept([](const SavedTaskList &list) { return list.tasks.size() == 1; }));
    EXPECT_EQ(keptList()->tasks[0].record.InputFile, folder.filePath(QStringLiteral("in/a.avi")));
    EXPECT_EQ(listFiles(QStringLiteral("*.lock")), QStringList{QFileInfo(lock).fileName()});
}

// What the run tells the list about a task's unfinished output, so that a
// crash in the middle of it leaves nothing behind at the next start.
TEST_F(TaskListRecoveryTest, TheConvertingRowNamesItsUnfinishedOutput)
{
    TMainForm &form = open();
    addFile(form, QStringLiteral("a.avi"));
    const QString out = folder.filePath(QStringLiteral("out/"));
    QDir().mkpath(out);
    child<QLineEdit>("edtOutputdir")->setText(out);
    folder.setScript(QStringLiteral("sleep 20000\n"));
    form.tbtnStartClick();
    // The run's work folder in the output folder.
    QString partial;
    ASSERT_TRUE(waitKept([&](const SavedTaskList &list) {
        partial = list.tasks.value(0).temporary;
        return list.tasks.value(0).record.StatusText == QLatin1String("Converting") && WorkFolder::IsWorkPath(partial)
               && QDir::cleanPath(WorkFolder::OutputFolderOf(partial)) == QDir::cleanPath(out);
    }));
    EXPECT_TRUE(QFileInfo(partial).isDir());
    form.tbtnStopClick();
    ASSERT_TRUE(waitFor([&] { return form.RunState() == 0; }));
    EXPECT_FALSE(form.tasks().index(0, 0).data(TaskListModel::TemporaryOutputRole).isValid());
    ASSERT_TRUE(waitKept([](const SavedTaskList &list) {
        return list.tasks.value(0).record.StatusText == QLatin1String("Stop") && list.tasks.value(0).temporary.isEmpty();
    }));
}

using EngineOutputTest = TaskListRecoveryTest;

TEST_F(EngineOutputTest, AFailedTasksOutputIsShownAndCopied)
{
    TMainForm &form = open();
    addFile(form, QStringLiteral("a.avi"));
    addFile(form, QStringLiteral("b.avi"));
    child<QLineEdit>("edtOutputdir")->setText(folder.path());
    folder.setScriptFor(QStringLiteral("a.avi"), QStringLiteral("print 0 Input #0, avi\\n\n"
                                                                 "print 0 Unknown encoder 'nothing'\\n\nexit 1\n"));
    form.tbtnStartClick();
    ASSERT_TRUE(waitFor([&] { return form.RunState() == 0; }));
    ASSERT_EQ(cell(0, 3), QStringLiteral("Failed"));
    ASSERT_EQ(cell(1, 3), QStringLiteral("Complete"));

    QTreeView *list = child<QTreeView>("ltvTask");
    QAction *item = child<QMenu>("ppmTask")->findChild<QAction *>(QStringLiteral("mniEngineOutput"));
    ASSERT_NE(item, nullptr);
    const auto selectOnly = [&](int row) {
        list->selectionModel()->select(form.tasks().index(row, 0),
                                       QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        form.ppmTaskPopup();
    };
    form.ppmTaskPopup();
    EXPECT_FALSE(item->isEnabled());
    selectOnly(1);
    EXPECT_FALSE(item->isEnabled());
    selectOnly(0);
    ASSERT_TRUE(item->isEnabled());

    QGuiApplication::clipboard()->clear();
    item->trigger();
    auto *shown = form.findChild<EngineOutputForm *>();
    ASSERT_NE(shown, nullptr);
    EXPECT_TRUE(shown->isVisible());
    const QString sentence = QStringLiteral("The engine has no encoder \"nothing\": choose another profile or another codec.");
    EXPECT_EQ(shown->text(), sentence + QStringLiteral("\nInput #0, avi\n") + EngineOutputForm::FailureMark
                                 + QStringLiteral("Unknown encoder 'nothing'"));
    EXPECT_TRUE(shown->windowTitle().contains(QStringLiteral("a.avi")));
    auto *memo = shown->findChild<QPlainTextEdit *>(QStringLiteral("memOutput"));
    ASSERT_NE(memo, nullptr);
    EXPECT_TRUE(memo->isReadOnly());
    EXPECT_TRUE(memo->textInteractionFlags() & Qt::TextSelectableByMouse);
    QTest::mouseClick(shown->findChild<QPushButton *>(QStringLiteral("btnCopy")), Qt::LeftButton);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), sentence + QStringLiteral("\nInput #0, avi\nUnknown encoder 'nothing'"));

    // The first selected row decides.
    list->selectionModel()->select(form.tasks().index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    form.ppmTaskPopup();
    EXPECT_TRUE(item->isEnabled());
}

} // namespace
