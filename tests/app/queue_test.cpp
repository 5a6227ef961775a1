// The task list as a queue: its order is the order of conversion and the user
// changes it with keys, the pop-up menu, dragging and the column headers;
// every row moves whole, with what it keeps besides its cells.
#include "app/watchcontroller.h"
#include "windowfixture.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTreeView>

#include <functional>

namespace {

class QueueTest : public WindowTest
{
public:
    // Rows a, b, c, d: inputs of 100, 50, 40 and 30 seconds, frames of
    // 320x240, 1920x1080, 64x48 and 640x480, and the given Status texts.
    // Each keeps an engine output naming its row.
    void addRows(TMainForm &form, const QStringList &statuses = {"OK", "OK", "OK", "OK"})
    {
        const QStringList lengths = {"00:01:40.00", "00:00:50.00", "00:00:40.00", "00:00:30.00"};
        const QStringList sizes = {"320x240", "1920x1080", "64x48", "640x480"};
        for (int i = 0; i < 4; ++i) {
            const QString name = QString(QLatin1Char('a' + i)) + QStringLiteral(".avi");
            const QString path = folder.filePath(QStringLiteral("in/") + name);
            touchFile(path);
            folder.setScriptFor(name, QStringLiteral("print 0 Input #0, avi, from '%1':\\n  Duration: %2, start: 0\\n"
                                                     "  Stream #0:0: Video: mpeg4, yuv420p, %3, 25 fps\\n")
                                          .arg(path, lengths[i], sizes[i]));
            form.AddTaskFile(path);
            ASSERT_TRUE(waitAdded());
        }
        ASSERT_EQ(form.tasks().rowCount(), 4);
        for (int row = 0; row < 4; ++row) {
            ltvItemData record = task(row);
            record.StatusText = statuses[row];
            WriteItemData(form.tasks(), row, 2, record);
            form.tasks().setData(form.tasks().index(row, 0), QStringLiteral("output of ") + record.NewName,
                                               TaskListModel::EngineOutputRole);
        }
    }

    QTreeView *list() const { return child<QTreeView>("ltvTask"); }
    // The rows as "name" letters, in order.
    QString order() const
    {
        QString letters;
        for (int row = 0; row < window->tasks().rowCount(); ++row)
            letters += task(row).NewName;
        return letters;
    }
    QString selected() const
    {
        QList<int> rows;
        for (const QModelIndex &index : list()->selectionModel()->selectedRows())
            rows << index.row();
        std::sort(rows.begin(), rows.end());
        QString letters;
        for (int row : rows)
            letters += task(row).NewName;
        return letters;
    }
    void select(const QString &letters)
    {
        list()->selectionModel()->clear();
        for (int row = 0; row < window->tasks().rowCount(); ++row)
            if (letters.contains(task(row).NewName))
                list()->selectionModel()->select(window->tasks().index(row, 0),
                                                 QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    QAction *menuItem(const char *name) const
    {
        window->ppmTaskPopup();
        return child<QMenu>("ppmTask")->findChild<QAction *>(QString::fromLatin1(name));
    }
    void clickHeader(int column)
    {
        QHeaderView *header = list()->header();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
    }
    // Drags the selected rows onto a row (-1: below the last).
    void dragOnto(int row) { window->ltvTaskDragDrop(row); }
};

struct OrderCase
{
    const char *name;
    QString select;
    std::function<void(QueueTest &)> act;
    QString order;    // afterwards
    QString selected; // afterwards
};

TEST_F(QueueTest, EveryWayOfReorderingMovesWholeRowsAndKeepsTheSelection)
{
    const OrderCase cases[] = {
        {"Ctrl+Up moves a block", "bc", [](QueueTest &t) { QTest::keyClick(t.list(), Qt::Key_Up, Qt::ControlModifier); },
         "bcad", "bc"},
        {"Ctrl+Down at the end moves nothing", "d",
         [](QueueTest &t) { QTest::keyClick(t.list(), Qt::Key_Down, Qt::ControlModifier); }, "abcd", "d"},
        {"Move Up at the top moves nothing", "ac", [](QueueTest &t) { t.menuItem("mniMoveUp")->trigger(); }, "abcd",
         "ac"},
        {"Move Down moves rows apart", "ac", [](QueueTest &t) { t.menuItem("mniMoveDown")->trigger(); }, "badc",
         "ac"},
        {"dragging to a row puts them before it", "a", [](QueueTest &t) { t.dragOnto(3); }, "bcad", "a"},
        {"dragging below the rows puts them last", "ab", [](QueueTest &t) { t.dragOnto(-1); }, "cdab", "ab"},
        {"Input File sorts by name", "", [](QueueTest &t) { t.clickHeader(0); t.clickHeader(0); }, "dcba", ""},
        {"Length sorts by seconds", "", [](QueueTest &t) { t.clickHeader(1); }, "dcba", ""},
        {"Size sorts by frame area", "", [](QueueTest &t) { t.clickHeader(2); }, "cadb", ""},
        {"Status sorts by its text", "", [](QueueTest &t) { t.clickHeader(3); }, "cdab", ""},
    };
    for (const OrderCase &c : cases) {
        SCOPED_TRACE(c.name);
        window.reset();
        TMainForm &form = open();
        ASSERT_NO_FATAL_FAILURE(addRows(form, {"OK", "Stop", "Complete", "Failed"}));
        list()->setFocus();
        select(c.select);
        c.act(*this);
        EXPECT_EQ(order(), c.order);
        EXPECT_EQ(selected(), c.selected);
        for (int row = 0; row < 4; ++row) {
            const ltvItemData moved = task(row);
            EXPECT_EQ(QFileInfo(moved.InputFile).baseName(), moved.NewName);
            EXPECT_EQ(form.tasks().index(row, 0).data(TaskListModel::EngineOutputRole).toString(),
                      QStringLiteral("output of ") + moved.NewName);
        }
    }
}

TEST_F(QueueTest, RemoveCompletedLeavesTheOthersAndIsOfferedOnlyWithSomethingToRemove)
{
    TMainForm &form = open();
    ASSERT_NO_FATAL_FAILURE(addRows(form, {"Complete", "Failed", "Complete", "OK"}));
    QAction *removeCompleted = menuItem("mniRemoveCompleted");
    ASSERT_TRUE(removeCompleted->isEnabled());
    removeCompleted->trigger();
    EXPECT_EQ(order(), QStringLiteral("bd"));
    EXPECT_FALSE(menuItem("mniRemoveCompleted")->isEnabled());
    EXPECT_FALSE(menuItem("mniMoveUp")->isEnabled()) << "nothing selected";
}

TEST_F(QueueTest, RetryFailedConvertsTheFailedAndStoppedRowsInABatchOfTheirOwn)
{
    TMainForm &form = open();
    ASSERT_NO_FATAL_FAILURE(addRows(form, {"Complete", "Failed", "OK", "Stop"}));
    QDir().mkpath(folder.filePath(QStringLiteral("out")));
    child<QLineEdit>("edtOutputdir")->setText(folder.filePath(QStringLiteral("out")));
    // b (50 s) converts, d (30 s) fails again.
    folder.setScriptFor(QStringLiteral("d.avi"), QStringLiteral("print 0 Conversion failed!\n\nexit 1\n"));
    const int probes = folder.callCount();
    // The user is in another window when the batch ends.
    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);
    ASSERT_TRUE(waitFor([&] { return !form.isActiveWindow(); }));

    QAction *retry = menuItem("mniRetryFailed");
    ASSERT_TRUE(retry->isEnabled());
    retry->trigger();
    EXPECT_FALSE(menuItem("mniRetryFailed")->isEnabled()) << "while the batch runs";
    EXPECT_TRUE(child<QWidget>("imgStop")->isVisible());
    ASSERT_TRUE(waitFor([&] { return form.RunState() == 0 && !interactive.messages.isEmpty(); }));

    EXPECT_EQ(folder.callCount() - probes, 2);
    EXPECT_EQ(QStringList({cell(0, 3), cell(1, 3), cell(2, 3), cell(3, 3)}),
              QStringList({"Complete", "Complete", "OK", "Failed"}));
    for (int row : {0, 2})
        EXPECT_EQ(form.tasks().index(row, 0).data(TaskListModel::EngineOutputRole).toString(),
                  QStringLiteral("output of ") + task(row).NewName);
    EXPECT_EQ(interactive.messages,
              QStringList({"warning|Complete|The conversion is finished, but 1 of 2 files failed."}));
    EXPECT_EQ(child<QLabel>("labTotalProgress")->text(), QStringLiteral("100%"));
    EXPECT_EQ(recorded.desktop.notifications, QStringList{QStringLiteral("1 of 2 files failed")});
    EXPECT_TRUE(recorded.desktop.progress.contains(62)) << ::testing::PrintToString(recorded.desktop.progress);
    EXPECT_TRUE(child<QWidget>("imgStart")->isVisible());
    // Only d is left to retry; once it is gone, nothing is.
    EXPECT_TRUE(menuItem("mniRetryFailed")->isEnabled());
    form.tasks().removeRow(3);
    EXPECT_FALSE(menuItem("mniRetryFailed")->isEnabled());
}

TEST_F(QueueTest, KeysAreNamedWhereTheUserLooks)
{
    TMainForm &form = open();
    const struct
    {
        const char *item;
        QKeySequence key;
    } items[] = {{"mniAddFiles", QKeySequence(Qt::CTRL | Qt::Key_O)},
                 {"mniAddDirectory", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O)},
                 {"mniMoveUp", QKeySequence(Qt::CTRL | Qt::Key_Up)},
                 {"mniMoveDown", QKeySequence(Qt::CTRL | Qt::Key_Down)}};
    for (const auto &item : items)
        EXPECT_EQ(menuItem(item.item)->shortcut(), item.key) << item.item;
    // Each key does what its item does, wherever the focus is in the window.
    const QString clip = folder.filePath(QStringLiteral("in/e.avi"));
    touchFile(clip);
    const QString other = folder.filePath(QStringLiteral("in/f.avi"));
    touchFile(other);
    dialogs.fileLists = {{clip}, {other}};
    child<QWidget>("edtOutputdir")->setFocus();
    for (const QKeyCombination key : {Qt::CTRL | Qt::Key_O, QKeyCombination(Qt::Key_Insert)}) {
        QTest::keyClick(QApplication::focusWidget(), key.key(), key.keyboardModifiers());
        ASSERT_TRUE(waitAdded());
    }
    EXPECT_EQ(captions(), QStringList({clip, other}));
    EXPECT_EQ(dialogs.openFilesCalls.size(), 2);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(dialogs.pickFolderTitles.size(), 1);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
    EXPECT_EQ(shell.opened, QStringList{form.HelpFile()});
}

// One queue for every way in: each step acts as a user or the watched folder
// does, and names the inputs the engine converted because of it, the Status
// column afterwards and the messages shown.
struct QueueStep
{
    const char *what;
    std::function<void(QueueTest &)> act;
    QStringList converted; // the inputs converted during the step, in order
    QString statuses;      // one letter per row: O(K) C(omplete) S(top) F(ailed)
    QStringList messages;  // shown during the step
};

TEST_F(QueueTest, StartRetryStopAndWatchedArrivalsRunOnlyWhatTheyShould)
{
    TMainForm &form = open();
    ASSERT_NO_FATAL_FAILURE(addRows(form));
    const QString out = folder.filePath(QStringLiteral("out"));
    QDir().mkpath(out);
    QDir().mkpath(folder.filePath(QStringLiteral("w")));
    auto *outputFolder = child<QLineEdit>("edtOutputdir");
    outputFolder->setText(out);
    auto *watching = form.findChild<WatchController *>();
    ASSERT_NE(watching, nullptr);
    watching->setSettleMs(100);
    dialogs.folders << folder.filePath(QStringLiteral("w"));
    child<QAction>("mniWatchFolder")->trigger();

    const auto idle = [this]() { return waitFor([this] { return window->RunState() == 0; }); };
    const auto running = [this]() { return waitFor([&] { return window->RunState() == 1; }); };
    // A file lands in the watched folder; its row is listed.
    const auto arrive = [this](const QString &name) {
        const QString path = folder.filePath(QStringLiteral("w/") + name);
        folder.setScriptFor(name, QStringLiteral("print 0 Input #0, avi, from '%1':\\n  Duration: 00:00:10.00, "
                                                   "start: 0\\n  Stream #0:0: Video: mpeg4, 64x48, 25 fps\\n")
                                        .arg(path));
        touchFile(path);
        ASSERT_TRUE(waitFor([&] { return captions().contains(path); }));
    };
    const auto click = [this](const char *picture) {
        QTest::mouseClick(child<QWidget>(picture), Qt::LeftButton);
    };
    // a's engine waits for the file "go" before it converts.
    const auto holdA = [this]() {
        folder.setScriptFor(QStringLiteral("a.avi"),
                            QStringLiteral("touch a-started\nwait-for go\nprint 0 Input #0, avi, from 'a.avi':\\n  Duration: 00:01:40.00, "
                                           "start: 0\\n  Stream #0:0: Video: mpeg4, yuv420p, 320x240, 25 fps\\n\n"));
    };
    const auto releaseA = [this]() {
        QFile::remove(folder.filePath(QStringLiteral("go")));
        touchFile(folder.filePath(QStringLiteral("go")));
    };
    const QString done = QStringLiteral("information|Complete|The coversion is completed successfully.");

    const QueueStep steps[] = {
        {"Stop while a converts: a stops, b c d keep waiting",
         [&](QueueTest &) {
             holdA();
             click("imgStart");
             ASSERT_TRUE(waitFor([&] { return QFile::exists(folder.filePath(QStringLiteral("a-started"))); }));
             click("imgStop");
             ASSERT_TRUE(idle());
         },
         {"a"}, "SOOO", {"information|Cancel|The Coversion is canceled."}},
        {"a watched arrival after Stop converts itself alone, without a message",
         [&](QueueTest &) {
             arrive(QStringLiteral("e.avi"));
             ASSERT_TRUE(waitFor([&] { return cell(4, 3) == QStringLiteral("Complete") && window->RunState() == 0; }));
         },
         {"e"}, "SOOOC", {}},
        {"an arrival refused for want of an output folder changes nothing",
         [&](QueueTest &) {
             outputFolder->setText(folder.filePath(QStringLiteral("missing")));
             arrive(QStringLiteral("f.avi"));
             QCoreApplication::processEvents();
         },
         {}, "SOOOCO", {}},
        {"Start after it converts every row, and an arrival meanwhile joins the batch",
         [&](QueueTest &) {
             outputFolder->setText(out);
             holdA();
             click("imgStart");
             ASSERT_TRUE(running());
             arrive(QStringLiteral("g.avi"));
             releaseA();
             ASSERT_TRUE(idle());
         },
         {"a", "b", "c", "d", "e", "f", "g"}, "CCCCCCC", {done}},
        {"Retry Failed takes the failed and stopped rows only",
         [&](QueueTest &) {
             for (int row : {1, 5}) {
                 ltvItemData record = task(row);
                 record.StatusText = row == 1 ? QStringLiteral("Failed") : QStringLiteral("Stop");
                 WriteItemData(window->tasks(), row, 2, record);
             }
             menuItem("mniRetryFailed")->trigger();
             ASSERT_TRUE(idle());
         },
         {"b", "f"}, "CCCCCCC", {done}},
        {"a watched file moved out and back converts its row once more, alone",
         [&](QueueTest &) {
             const int calls = folder.callCount();
             const QString watched = folder.filePath(QStringLiteral("w/e.avi"));
             ASSERT_TRUE(QFile::rename(watched, folder.filePath(QStringLiteral("e.avi"))));
             QCoreApplication::processEvents();
             touchFile(folder.filePath(QStringLiteral("e.avi")), "written again");
             ASSERT_TRUE(QFile::rename(folder.filePath(QStringLiteral("e.avi")), watched));
             ASSERT_TRUE(waitFor([&] { return folder.callCount() > calls && window->RunState() == 0; }));
         },
         {"e"}, "CCCCCCC", {}},
    };
    for (const QueueStep &step : steps) {
        SCOPED_TRACE(step.what);
        const int calls = folder.callCount();
        const qsizetype messages = interactive.messages.size();
        ASSERT_NO_FATAL_FAILURE(step.act(*this));
        QStringList converted;
        for (int call = calls + 1; call <= folder.callCount(); ++call) {
            const QStringList arguments = folder.arguments(call);
            if (arguments.contains(QStringLiteral("-y")))
                converted << QFileInfo(arguments.value(arguments.indexOf(QStringLiteral("-i")) + 1)).baseName();
        }
        EXPECT_EQ(converted, step.converted);
        QString statuses;
        for (int row = 0; row < form.tasks().rowCount(); ++row)
            statuses += cell(row, 3).at(0);
        EXPECT_EQ(statuses, step.statuses);
        EXPECT_EQ(interactive.messages.mid(messages), step.messages);
        EXPECT_TRUE(child<QWidget>("imgStart")->isVisible());
    }
}

} // namespace
