// The Output grid against the task list: it speaks for the first selected row
// however that row became selected, an edit lands on the row it shows, and a
// new name never leads out of the output folder.
#include "windowfixture.h"

#include "ui/valuelistgrid.h"

#include <QAction>
#include <QTreeView>

#include <functional>

namespace {

const QString NewFilename = QStringLiteral("New Filename");
const QString StartTime = QStringLiteral("Start Time");
const QString EndTime = QStringLiteral("End Time");

class OutputGridTest : public WindowTest
{
protected:
    // Rows a, b, c, d whose inputs last 100, 50, 40 and 30 seconds.
    void addClips(TMainForm &form)
    {
        const QStringList lengths = {"00:01:40.00", "00:00:50.00", "00:00:40.00", "00:00:30.00"};
        for (int i = 0; i < lengths.size(); ++i) {
            const QString name = QString(QLatin1Char('a' + i)) + QStringLiteral(".avi");
            const QString path = folder.filePath(QStringLiteral("in/") + name);
            touchFile(path);
            folder.setScriptFor(name, QStringLiteral("print 0 Input #0, avi, from '%1':\\n  Duration: %2, start: "
                                                     "0.000000\\n")
                                          .arg(path, lengths[i]));
            form.AddTaskFile(path);
        }
        ASSERT_TRUE(waitAdded());
        ASSERT_EQ(form.tasks().rowCount(), 4);
        ASSERT_EQ(task(1).EndText, QStringLiteral("00:00:50.00"));
    }

    QTreeView *list() const { return child<QTreeView>("ltvTask"); }
    QString shown(const QString &key) const { return window->outputGrid().value(key); }
    QString shownName() const { return shown(NewFilename); }
    QString named(const char *name) const { return QString::fromLatin1(name) + window->OutputExt(); }

    void clickRow(int row)
    {
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, Qt::NoModifier,
                          list()->visualRect(list()->model()->index(row, 0)).center());
    }
    void key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        list()->setFocus();
        QTest::keyClick(list(), key, modifiers);
    }

    // What the user typed into the grid, stored as when they leave it.
    void edit(const QString &name, const QString &start, const QString &end)
    {
        window->outputGrid().setValue(NewFilename, name);
        window->outputGrid().setValue(StartTime, start);
        window->outputGrid().setValue(EndTime, end);
        window->vleOutputValidate();
    }
};

TEST_F(OutputGridTest, KeyboardSelectionMovesTheGridAndAnEditLandsOnTheRowItShows)
{
    TMainForm &form = open();
    addClips(form);
    clickRow(0);
    ASSERT_TRUE(waitFor([&] { return shownName() == named("a"); }));

    key(Qt::Key_Down);
    EXPECT_EQ(shownName(), named("b"));
    EXPECT_EQ(shown(EndTime), QStringLiteral("00:00:50.00"));

    // Only the name is changed: b keeps its own times, a is untouched.
    edit(QStringLiteral("bee.mkv"), shown(StartTime), shown(EndTime));
    EXPECT_EQ(task(1).NewName, QStringLiteral("bee"));
    EXPECT_EQ(task(1).NewExt, QStringLiteral(".mkv"));
    EXPECT_EQ(task(1).EndText, QStringLiteral("00:00:50"));
    EXPECT_EQ(task(1).ClipLengthText, QStringLiteral("00:00:50"));
    EXPECT_EQ(task(0).NewName, QStringLiteral("a"));
    EXPECT_EQ(task(0).EndText, QStringLiteral("00:01:40.00"));

    key(Qt::Key_End);
    EXPECT_EQ(shownName(), named("d"));
    EXPECT_EQ(shown(EndTime), QStringLiteral("00:00:30.00"));
    key(Qt::Key_Home);
    EXPECT_EQ(shownName(), named("a"));
    key(Qt::Key_Down);
    EXPECT_EQ(shownName(), named("bee"));
}

TEST_F(OutputGridTest, SelectAllRemovalAndClearMoveTheGrid)
{
    TMainForm &form = open();
    addClips(form);
    clickRow(2);
    ASSERT_TRUE(waitFor([&] { return shownName() == named("c"); }));

    // Select All: the first selected row is the first row.
    key(Qt::Key_A, Qt::ControlModifier);
    ASSERT_EQ(list()->selectionModel()->selectedRows().size(), 4);
    EXPECT_EQ(shownName(), named("a"));

    // c and d selected, c shown; c goes away: d, still selected, is shown,
    // and an edit is stored into d.
    key(Qt::Key_End);
    key(Qt::Key_Up, Qt::ShiftModifier);
    ASSERT_EQ(shownName(), named("c"));
    form.tasks().removeRow(2);
    EXPECT_EQ(shownName(), named("d"));
    EXPECT_EQ(shown(EndTime), QStringLiteral("00:00:30.00"));
    edit(QStringLiteral("dee"), shown(StartTime), QStringLiteral("00:00:20"));
    EXPECT_EQ(task(2).NewName, QStringLiteral("dee"));
    EXPECT_EQ(task(2).EndText, QStringLiteral("00:00:20"));
    EXPECT_EQ(task(1).NewName, QStringLiteral("b"));

    // The shown row removed with nothing else selected: the grid empties and
    // an edit typed then is stored nowhere.
    clickRow(1);
    ASSERT_TRUE(waitFor([&] { return shownName() == named("b"); }));
    form.tasks().removeRow(1);
    EXPECT_TRUE(shownName().isEmpty());
    EXPECT_TRUE(shown(EndTime).isEmpty());
    edit(QStringLiteral("lost"), QStringLiteral("00:00:01"), QStringLiteral("00:00:02"));
    for (int row = 0; row < form.tasks().rowCount(); ++row)
        EXPECT_NE(task(row).NewName, QStringLiteral("lost")) << row;
    // The arrow keys select a row again, and the grid shows it.
    key(Qt::Key_Down);
    const QModelIndexList selected = list()->selectionModel()->selectedRows();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(shownName(), task(selected.first().row()).NewName + form.OutputExt());

    key(Qt::Key_Home);
    ASSERT_EQ(shownName(), named("a"));
    key(Qt::Key_Backspace); // Clear
    EXPECT_EQ(form.tasks().rowCount(), 0);
    EXPECT_TRUE(shownName().isEmpty());
    EXPECT_TRUE(shown(StartTime).isEmpty());
}

TEST_F(OutputGridTest, ANameThatLeavesTheOutputFolderIsRefusedWithAMessage)
{
    TMainForm &form = open();
    addClips(form);
    clickRow(0);
    ASSERT_TRUE(waitFor([&] { return shownName() == named("a"); }));
    edit(QStringLiteral("holiday.wmv"), QStringLiteral("00:00:00"), QStringLiteral("00:01:00"));
    ASSERT_EQ(task(0).NewName, QStringLiteral("holiday"));
    ASSERT_TRUE(interactive.messages.isEmpty());

    const QStringList refused = {QStringLiteral("../x"), QStringLiteral("sub/x"), QStringLiteral("a\\b"),
                                 QStringLiteral(".."), QStringLiteral("."), QStringLiteral("../x.mp4"),
                                 QStringLiteral("sub/"), QStringLiteral("..mp4"), QStringLiteral("...mkv")};
    for (const QString &name : refused) {
        interactive.messages.clear();
        const QString storedExt = task(0).NewExt;
        edit(name, QStringLiteral("00:00:05"), QStringLiteral("00:01:00"));
        EXPECT_EQ(task(0).NewName, QStringLiteral("holiday")) << name.toStdString();
        EXPECT_EQ(task(0).NewExt, storedExt) << name.toStdString();
        // The grid shows the stored name again; the valid start is stored.
        EXPECT_EQ(shownName(), named("holiday")) << name.toStdString();
        EXPECT_EQ(task(0).StartText, QStringLiteral("00:00:05"));
        ASSERT_EQ(interactive.messages.size(), 1) << name.toStdString();
        EXPECT_TRUE(interactive.messages.first().startsWith(QStringLiteral("information|Invalid file name|")));
        EXPECT_TRUE(interactive.messages.first().contains(QLatin1Char('"') + name + QLatin1Char('"')));
        // Shown again, the refused name is not offered a second time.
        interactive.messages.clear();
        edit(shownName(), QStringLiteral("00:00:00"), QStringLiteral("00:01:00"));
        EXPECT_TRUE(interactive.messages.isEmpty());
    }

    // Points inside a name are fine; a point before a ":" starts no extension.
    const struct
    {
        QString typed, name, ext;
    } kept[] = {{"my..clip.v2.mkv", "my..clip.v2", ".mkv"}, {"take.2:final", "take.2:final", ""}};
    for (const auto &k : kept) {
        edit(k.typed, QStringLiteral("00:00:00"), QStringLiteral("00:01:00"));
        EXPECT_EQ(task(0).NewName, k.name);
        EXPECT_EQ(task(0).NewExt, k.ext);
    }
    EXPECT_TRUE(interactive.messages.isEmpty());
}

// Rows removed through the window: the grid shows the first row still
// selected (name, start and end), or is empty.
TEST_F(OutputGridTest, AfterARemovalTheGridShowsTheRowNowSelectedOrNothing)
{
    const struct
    {
        const char *name;
        int selectRow;
        std::function<void(TMainForm &)> remove;
        QString shown; // "" for an empty grid
    } cases[] = {
        {"Remove Completed takes the rows above", 2,
         [](TMainForm &form) {
             for (int row : {0, 1}) {
                 ltvItemData done;
                 ReadItemData(form.tasks(), row, 2, done);
                 done.StatusText = QStringLiteral("Complete");
                 WriteItemData(form.tasks(), row, 2, done);
             }
             form.findChild<QAction *>(QStringLiteral("mniRemoveCompleted"))->trigger();
         },
         "c"},
        {"Remove takes the shown row", 1, [](TMainForm &form) { form.tbtnRemoveClick(); }, ""},
        {"Clear takes every row", 1, [](TMainForm &form) { form.tbtnClearClick(); }, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        window.reset();
        TMainForm &form = open();
        addClips(form);
        clickRow(c.selectRow);
        ASSERT_TRUE(waitFor([&] { return !shownName().isEmpty(); }));
        c.remove(form);
        const QModelIndexList selected = list()->selectionModel()->selectedRows();
        if (c.shown.isEmpty()) {
            ASSERT_TRUE(selected.isEmpty());
            EXPECT_EQ(QStringList({shownName(), shown(StartTime), shown(EndTime)}), QStringList({"", "", ""}));
        } else {
            EXPECT_EQ(shownName(), named(qPrintable(c.shown)));
            EXPECT_EQ(shown(EndTime), task(selected.value(0).row()).EndText);
        }
    }
}

TEST_F(OutputGridTest, TypingARefusedNameAndLeavingTheGridKeepsTheStoredName)
{
    TMainForm &form = open();
    addClips(form);
    clickRow(1);
    ASSERT_TRUE(waitFor([&] { return shownName() == named("b"); }));
    ValueListGrid *grid = child<ValueListGrid>("vleOutput");
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier,
                      grid->visualRect(grid->model()->index(0, 1)).center());
    QWidget *editor = grid->currentEditor();
    ASSERT_NE(editor, nullptr);
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(editor, QStringLiteral("../escaped"));
    // Leaving the grid for the list validates the typed name.
    clickRow(1);
    ASSERT_TRUE(waitFor([&] { return !interactive.messages.isEmpty(); }));
    EXPECT_EQ(task(1).NewName, QStringLiteral("b"));
    EXPECT_EQ(shownName(), named("b"));
}

} // namespace
