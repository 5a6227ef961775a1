// The main window against the scripted fake engine: layout, the task list's
// ways in and out, the output settings and batch control.
#include "windowfixture.h"
#include "conversion/outputfile.h"
#include "fakes/processes.h"

#include "conversion/conversionrun.h"
#include "ui/generalsettings.h"
#include "ui/valuelistgrid.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <QUrl>

#include <unistd.h>

namespace {

using MainFormTest = WindowTest;

QPoint placeIn(const QWidget *widget, const QWidget *ancestor)
{
    return widget->mapTo(ancestor, QPoint(0, 0));
}

TEST_F(MainFormTest, CaptionFollowsTheStoredVersion)
{
    EXPECT_EQ(open().windowTitle(), QStringLiteral("Vantorix V3.0"));
    window.reset();
    QFile prefs(folder.filePath(QStringLiteral("Preferences.ini")));
    ASSERT_TRUE(prefs.open(QIODevice::WriteOnly));
    prefs.write("[Main]\r\nVersion=3.1\r\n");
    prefs.close();
    EXPECT_EQ(open().windowTitle(), QStringLiteral("Vantorix V3.1"));
}

TEST_F(MainFormTest, DesignLayoutPlacesTheRegionsAndControls)
{
    TMainForm &form = open();
    EXPECT_EQ(form.size(), QSize(790, 505));
    EXPECT_EQ(child<QWidget>("panMain")->geometry(), QRect(0, 15, 580, 413));
    EXPECT_EQ(child<QWidget>("panSplitter")->geometry(), QRect(580, 15, 10, 413));
    EXPECT_EQ(child<QWidget>("panProfile")->geometry(), QRect(590, 15, 200, 413));
    EXPECT_EQ(child<QWidget>("panBottom")->geometry(), QRect(0, 428, 790, 77));
    EXPECT_EQ(child<QTreeView>("ltvTask")->geometry(), QRect(10, 0, 570, 338));
    EXPECT_EQ(child<QWidget>("Toolbar1")->geometry(), QRect(0, 338, 580, 75));
    EXPECT_EQ(child<QWidget>("panGettingStarted")->geometry(), QRect(11, 1, 568, 335));
    EXPECT_TRUE(child<QWidget>("panGettingStarted")->isVisible());

    const QWidget *bottom = child<QWidget>("panBottom");
    EXPECT_EQ(placeIn(child<QWidget>("imgStart"), bottom), QPoint(592, 8));
    EXPECT_EQ(child<QWidget>("imgStart")->size(), QSize(188, 58));
    EXPECT_EQ(placeIn(child<QWidget>("imgStop"), bottom), QPoint(592, 8));
    // A click at the picture's place reaches the Start picture, which lies on top.
    const QWidget *clicked = form.childAt(QPoint(592 + 94, 505 - 77 + 8 + 29));
    EXPECT_EQ(clicked ? clicked->objectName() : QString(), QStringLiteral("imgStart"));

    // FormResize at the design size: the task area is 580 wide.
    EXPECT_EQ(child<QWidget>("panBottomCenter")->width(), 580);
    EXPECT_EQ(child<QWidget>("panBottomLeft")->width(), 580);
    EXPECT_EQ(child<QWidget>("bbtnSetting")->x(), 490);
    EXPECT_EQ(child<QWidget>("bbtnOpen")->x(), 490);
    EXPECT_EQ(child<QWidget>("bbtnBrowser")->x(), 405);
    EXPECT_EQ(child<QWidget>("cmbProfile")->width(), 407);
    EXPECT_EQ(child<QWidget>("edtOutputdir")->width(), 322);
    // The percent reaches the panel's edge and holds "100%" whole; the bar
    // ends 8 pixels before it.
    for (const char *name : {"labCurProgress", "labTotalProgress"}) {
        const QWidget *label = child<QWidget>(name);
        EXPECT_EQ(label->geometry().right(), 580 - 1) << name;
        EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(QStringLiteral("100%"))) << name;
        EXPECT_LE(label->x(), 553) << name;
    }
    const int barWidth = child<QWidget>("labCurProgress")->x() - 8 - 115;
    EXPECT_EQ(child<QWidget>("pgbCurrent")->width(), barWidth);
    EXPECT_FALSE(child<QWidget>("panBottomLeft")->isVisible());

    const QTreeView *list = child<QTreeView>("ltvTask");
    EXPECT_EQ(list->columnWidth(0), 260);
    EXPECT_EQ(list->columnWidth(1), 90);
    EXPECT_EQ(list->columnWidth(2), 80);
    EXPECT_EQ(list->columnWidth(3), 100);
    EXPECT_EQ(form.LastListWidth(), 570);
    // The list shows, and tells a screen reader of, four columns only.
    EXPECT_EQ(list->model()->columnCount(), 4);
    EXPECT_EQ(list->header()->count(), 4);

    // The toolbar: seven 54-pixel buttons with two 26-pixel gaps.
    const char *buttons[] = {"ibtnAddFile", "ibtnAddDir", "ibtnRemove", "ibtnClear",
                             "ibtnSetting", "ibtnAbout", "ibtnHelp"};
    // Each hint names the button's key.
    const char *hints[] = {"Add File (Ctrl+O, Insert)", "Add Directory (Ctrl+Shift+O)", "Remove (Delete)",
                           "Clear (Backspace)", "Settings", "About", "Help (F1)"};
    int expected = child<QWidget>("ibtnAddFile")->x();
    for (int i = 0; i < 7; ++i) {
        const QWidget *button = child<QWidget>(buttons[i]);
        EXPECT_EQ(button->size(), QSize(54, 54)) << buttons[i];
        EXPECT_EQ(button->x(), expected) << buttons[i];
        EXPECT_EQ(button->toolTip(), QString::fromLatin1(hints[i]));
        expected += 54 + (i == 1 || i == 3 ? 26 : 0);
    }

    // A wider window: the task area takes the difference, the pictures keep
    // their distance from the right edge.
    form.resize(890, 505);
    EXPECT_EQ(child<QWidget>("panMain")->width(), 680);
    EXPECT_EQ(child<QWidget>("bbtnOpen")->x(), 590);
    EXPECT_EQ(child<QWidget>("edtOutputdir")->width(), 422);
    EXPECT_EQ(child<QWidget>("pgbTotal")->width(), barWidth + 100);
    EXPECT_EQ(placeIn(child<QWidget>("imgStart"), bottom), QPoint(692, 8));
}

TEST_F(MainFormTest, ListColumnsShareAWidthChange)
{
    TMainForm &form = open();
    QTreeView *list = child<QTreeView>("ltvTask");
    form.resize(890, 505);
    QCoreApplication::processEvents();
    EXPECT_EQ(list->width(), 670);
    EXPECT_EQ(list->columnWidth(0), 309);
    EXPECT_EQ(list->columnWidth(1), 107);
    EXPECT_EQ(list->columnWidth(2), 95);
    EXPECT_EQ(list->columnWidth(3), 119);
    // One pixel more is lost: every share rounds to nothing.
    form.resize(891, 505);
    QCoreApplication::processEvents();
    EXPECT_EQ(form.LastListWidth(), 671);
    EXPECT_EQ(list->columnWidth(0) + list->columnWidth(1) + list->columnWidth(2) + list->columnWidth(3), 630);

    // A window manager that ignores the minimum size (a tiling one) makes the
    // window far too small for a moment; back at the design size the columns
    // are as they were there, Size and Status in view.
    for (const QSize tooSmall : {QSize(100, 100), QSize(400, 300)}) {
        form.resize(790, 505);
        QCoreApplication::processEvents();
        const QList<int> atDesign = {list->columnWidth(0), list->columnWidth(1), list->columnWidth(2),
                                     list->columnWidth(3)};
        const QSize minimum = form.minimumSize();
        form.setMinimumSize(0, 0);
        form.resize(tooSmall);
        QCoreApplication::processEvents();
        ASSERT_LT(list->width(), 570);
        form.setMinimumSize(minimum);
        form.resize(790, 505);
        ASSERT_TRUE(waitFor([&] { return form.size() == QSize(790, 505) && list->width() == 570; }));
        EXPECT_EQ(QList<int>({list->columnWidth(0), list->columnWidth(1), list->columnWidth(2), list->columnWidth(3)}),
                  atDesign);
        EXPECT_LE(list->columnWidth(0) + list->columnWidth(1) + list->columnWidth(2) + list->columnWidth(3),
                  list->viewport()->width());
    }
}

TEST_F(MainFormTest, SplitterBarDragsTheRightPane)
{
    open();
    QWidget *bar = child<QWidget>("panSplitter");
    QWidget *pane = child<QWidget>("panProfile");
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 100), bar->mapToGlobal(QPointF(5, 100)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(bar, &press);
    QMouseEvent move(QEvent::MouseMove, QPointF(-15, 100), bar->mapToGlobal(QPointF(-15, 100)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(bar, &move);
    EXPECT_EQ(pane->width(), 220);
    EXPECT_EQ(child<QWidget>("panMain")->width(), 560);
    // A move reported at 0, or with a key held, changes nothing.
    QMouseEvent still(QEvent::MouseMove, QPointF(0, 100), bar->mapToGlobal(QPointF(0, 100)), Qt::NoButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(bar, &still);
    QMouseEvent shifted(QEvent::MouseMove, QPointF(-30, 100), bar->mapToGlobal(QPointF(-30, 100)), Qt::NoButton,
                        Qt::LeftButton, Qt::ShiftModifier);
    QCoreApplication::sendEvent(bar, &shifted);
    EXPECT_EQ(pane->width(), 220);
}

TEST_F(MainFormTest, OpenDialogOffersTheSupportedTypesThenAllFiles)
{
    TMainForm &form = open();
    EXPECT_EQ(form.InputMask(), QStringLiteral("*.avi;*.mpg;*.mpeg;*.mp4;*.wmv;*.mov;*.vob;*.asf;*.mkv;*.webm;*.m4v;*.ts;*.m2ts;*.mts;*.3gp;*.flv;*.ogv;*.mxf;"));
    dialogs.fileLists.append(QStringList());
    form.tbtnAddFileClick();
    ASSERT_EQ(dialogs.openFilesCalls.size(), 1);
    const QStringList filters = dialogs.openFilesCalls.first();
    ASSERT_EQ(filters.size(), 20);
    EXPECT_EQ(filters[0], QStringLiteral("All Support Files(*.avi;*.mpg;*.mpeg;*.mp4;*.wmv;*.mov;*.vob;*.asf;*.mkv;*.webm;*.m4v;*.ts;*.m2ts;*.mts;*.3gp;*.flv;*.ogv;*.mxf;)"));
    EXPECT_EQ(filters[1], QStringLiteral("AVI Files (*.avi)"));
    EXPECT_EQ(filters[3], QStringLiteral("MPEG Files (*.mpeg)"));
    EXPECT_EQ(filters[8], QStringLiteral("ASF Files (*.asf)"));
    EXPECT_EQ(filters[9], QStringLiteral("MKV Files (*.mkv)"));
    EXPECT_EQ(filters[18], QStringLiteral("MXF Files (*.mxf)"));
    EXPECT_EQ(filters[19], QStringLiteral("All Files (*.*)"));
    EXPECT_EQ(form.tasks().rowCount(), 0);
}

TEST_F(MainFormTest, AddFilesAddsTheFirstListedLastAndSelectsALoneRow)
{
    TMainForm &form = open();
    const QString a = folder.filePath(QStringLiteral("in/a.avi"));
    const QString b = folder.filePath(QStringLiteral("in/b.mp4"));
    const QString c = folder.filePath(QStringLiteral("in/c.rm")); // any type under "All Files"
    for (const QString &path : {a, b, c})
        touchFile(path);

    dialogs.fileLists.append({a});
    form.tbtnAddFileClick();
    ASSERT_TRUE(waitAdded());
    EXPECT_EQ(captions(), QStringList({a}));
    EXPECT_FALSE(child<QWidget>("panGettingStarted")->isVisible());
    // The one row is selected and its output settings are shown.
    EXPECT_EQ(child<QTreeView>("ltvTask")->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(form.outputGrid().value(QStringLiteral("New Filename")), QStringLiteral("a") + form.OutputExt());
    EXPECT_EQ(task(0).StatusText, QStringLiteral("OK"));
    EXPECT_EQ(task(0).NewExt, form.OutputExt());
    EXPECT_FALSE(form.OutputExt().isEmpty());

    form.tbtnClearClick();
    child<QTreeView>("ltvTask")->clearSelection();
    dialogs.fileLists.append({a, b, c});
    form.tbtnAddFileClick();
    ASSERT_TRUE(waitAdded());
    EXPECT_EQ(captions(), QStringList({b, c, a}));
    EXPECT_TRUE(child<QTreeView>("ltvTask")->selectionModel()->selectedRows().isEmpty());
    // The getting-started panel stays hidden after Clear.
    EXPECT_FALSE(child<QWidget>("panGettingStarted")->isVisible());
}

TEST_F(MainFormTest, AddingLastsUntilTheWindowHasActedOnTheNewRows)
{
    // The last row comes in a moment before the window selects it: whoever
    // waits for the adding to end must not see it end before that.
    TMainForm &form = open();
    const QString a = folder.filePath(QStringLiteral("in/a.avi"));
    touchFile(a);
    QList<bool> addingWhenARowCame;
    QObject::connect(&form.tasks(), &QAbstractItemModel::rowsInserted,
                     [&] { addingWhenARowCame << form.isAdding(); });
    int selectedWhenFinished = -1;
    QObject::connect(&form, &TMainForm::addingFinished, [&] {
        selectedWhenFinished = static_cast<int>(child<QTreeView>("ltvTask")->selectionModel()->selectedRows().size());
    });
    dialogs.fileLists.append({a});
    form.tbtnAddFileClick();
    EXPECT_TRUE(form.isAdding());
    ASSERT_TRUE(waitFor([&] { return !form.isAdding(); }));
    EXPECT_EQ(addingWhenARowCame, QList<bool>({true}));
    EXPECT_EQ(selectedWhenFinished, 1);
    EXPECT_EQ(child<QTreeView>("ltvTask")->selectionModel()->selectedRows().size(), 1);
}

TEST_F(MainFormTest, DuplicatesAreSkippedButLetterCaseMakesAnotherFile)
{
    TMainForm &form = open();
    const QString lower = folder.filePath(QStringLiteral("in/clip.avi"));
    const QString upper = folder.filePath(QStringLiteral("in/Clip.avi"));
    touchFile(lower);
    touchFile(upper);
    form.AddTaskFile(lower);
    form.AddTaskFile(lower); // queued twice before the first probe ended
    ASSERT_TRUE(waitAdded());
    form.AddTaskFile(lower); // already a row
    form.AddTaskFile(upper);
    ASSERT_TRUE(waitAdded());
    EXPECT_EQ(captions(), QStringList({lower, upper}));
}

TEST_F(MainFormTest, AddDirectoryListsDirectMembersSortedIgnoringCase)
{
    TMainForm &form = open();
    const QString dir = folder.filePath(QStringLiteral("videos"));
    for (const char *name : {"b.MPG", "A.avi", "c.wmv", "notes.txt", ".hidden.avi", "sub/inner.avi"})
        touchFile(dir + QLatin1Char('/') + QString::fromLatin1(name));
    QDir().mkpath(dir + QStringLiteral("/folder.avi"));

    dialogs.folders.append(std::nullopt); // cancelled: nothing changes
    form.tbtnAddDirClick();
    dialogs.folders.append(dir);
    form.tbtnAddDirClick();
    ASSERT_TRUE(waitAdded());
    EXPECT_EQ(dialogs.pickFolderTitles,
              QStringList({QStringLiteral("Add a directory to the Task List"),
                           QStringLiteral("Add a directory to the Task List")}));
    EXPECT_EQ(captions(), QStringList({dir + QStringLiteral("/A.avi"), dir + QStringLiteral("/b.MPG"),
                                       dir + QStringLiteral("/c.wmv")}));
    EXPECT_TRUE(child<QTreeView>("ltvTask")->selectionModel()->selectedRows().isEmpty());

    // A lower-case name before an upper-case one when its letters come first.
    form.tbtnClearClick();
    const QString fruit = folder.filePath(QStringLiteral("fruit"));
    touchFile(fruit + QStringLiteral("/Banana.avi"));
    touchFile(fruit + QStringLiteral("/apple.avi"));
    form.AddTaskFolder(fruit);
    ASSERT_TRUE(waitAdded());
    EXPECT_EQ(captions(), QStringList({fruit + QStringLiteral("/apple.avi"), fruit + QStringLiteral("/Banana.avi")}));
}

TEST_F(MainFormTest, IncludeSubfoldersIsAskedRememberedAndFollowedByDropsAndTheCommandLine)
{
    TMainForm &form = open();
    const QString dir = folder.filePath(QStringLiteral("tree"));
    const QStringList tree{dir + QStringLiteral("/b one.mkv"), dir + QStringLiteral("/sub/c.WEBM"),
                           dir + QStringLiteral("/sub/ü deep/d.ts")};
    for (const QString &path : tree)
        touchFile(path);
    touchFile(dir + QStringLiteral("/sub/notes.txt"));
    ASSERT_EQ(::symlink("..", QFile::encodeName(dir + QStringLiteral("/sub/ü deep/loop")).constData()), 0);
    const auto preferences = [&] {
        QFile file(folder.filePath(QStringLiteral("Preferences.ini")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };

    // Cancel in the second box adds nothing and keeps the choice.
    dialogs.folders.append(dir);
    dialogs.subfolderAnswers.append(std::nullopt);
    form.tbtnAddDirClick();
    QCoreApplication::processEvents();
    EXPECT_EQ(form.tasks().rowCount(), 0);
    // Checked: the whole tree, each folder's files before its subfolders'; the
    // loop named in one message.
    dialogs.folders.append(dir);
    dialogs.subfolderAnswers.append(true);
    form.tbtnAddDirClick();
    ASSERT_TRUE(waitAdded());
    EXPECT_EQ(dialogs.subfolderQuestions, QList<bool>({false, false}));
    EXPECT_EQ(captions(), tree);
    EXPECT_EQ(task(2).FoundUnder, dir);
    ASSERT_EQ(interactive.messages.size(), 1);
    EXPECT_TRUE(interactive.messages.first().contains(dir + QStringLiteral("/sub/ü deep/loop")))
        << qPrintable(interactive.messages.first());
    EXPECT_TRUE(preferences().contains("Include Subfolders=1")) << preferences().constData();

    // A dropped folder follows the choice, and so does the next start's command line.
    form.tbtnClearClick();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(dir + QStringLiteral("/sub"))});
    QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&form, &enter);
    QDropEvent dropEvent(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&form, &dropEvent);
    ASSERT_TRUE(waitAdded());
    EXPECT_EQ(captions(), tree.mid(1));
    window.reset();
    open({dir});
    ASSERT_TRUE(waitAdded());
    EXPECT_EQ(captions(), tree);
    window.reset();

    // Unchecked: the folder's own files only, and the choice is kept.
    TMainForm &again = open();
    dialogs.folders.append(dir);
    dialogs.subfolderAnswers.append(false);
    again.tbtnAddDirClick();
    ASSERT_TRUE(waitAdded());
    EXPECT_EQ(dialogs.subfolderQuestions.last(), true);
    EXPECT_EQ(captions(), tree.mid(0, 1));
    EXPECT_TRUE(preferences().contains("Include Subfolders=0"));
}

TEST_F(MainFormTest, DropsAddFoldersAndSupportedFilesOnlyWhileTheListIsEnabled)
{
    TMainForm &form = open();
    const QString dir = folder.filePath(QStringLiteral("dropped"));
    touchFile(dir + QStringLiteral("/x.mov"));
    touchFile(dir + QStringLiteral("/sub/y.avi"));
    const QString upperCase = folder.filePath(QStringLiteral("clip.AVI"));
    const QString flash = folder.filePath(QStringLiteral("clip.rm")); // not a supported type
    touchFile(upperCase);
    touchFile(flash);

    auto drop = [&](const QStringList &paths) {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString &path : paths)
            urls << QUrl::fromLocalFile(path);
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&form, &enter);
        QDropEvent dropEvent(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&form, &dropEvent);
        return enter.isAccepted();
    };

    EXPECT_TRUE(drop({flash, dir, upperCase}));
    ASSERT_TRUE(waitAdded());
    EXPECT_EQ(captions(), QStringList({dir + QStringLiteral("/x.mov"), upperCase}));
    EXPECT_TRUE(child<QTreeView>("ltvTask")->selectionModel()->selectedRows().isEmpty());

    form.tbtnClearClick();
    child<QTreeView>("ltvTask")->setEnabled(false);
    EXPECT_FALSE(drop({upperCase}));
    QCoreApplication::processEvents();
    EXPECT_EQ(form.tasks().rowCount(), 0);
}

TEST_F(MainFormTest, CommandLineTakesFilesFoldersAndAListFile)
{
    const QString clip = folder.filePath(QStringLiteral("in/clip.avi"));
    const QString notes = folder.filePath(QStringLiteral("in/notes.txt"));
    const QString dir = folder.filePath(QStringLiteral("videos"));
    touchFile(clip);
    touchFile(notes);
    touchFile(dir + QStringLiteral("/v.vob"));
    touchFile(dir + QStringLiteral("/w.asf"));

    open({clip, notes, dir, folder.filePath(QStringLiteral("missing.avi"))});
    ASSERT_TRUE(waitAdded());
    EXPECT_EQ(captions(), QStringList({clip, dir + QStringLiteral("/v.vob"), dir + QStringLiteral("/w.asf")}));
    // Added before any profile was loaded: no extension of their own.
    EXPECT_TRUE(task(0).NewExt.isEmpty());
    EXPECT_TRUE(interactive.messages.isEmpty());
    window.reset();

    // A list file: its lines only; a second argument is ignored.
    const QString list = folder.filePath(QStringLiteral("list.TMP"));
    touchFile(list, (dir + QStringLiteral("/w.asf\r\n") + clip + QStringLiteral("\n")).toUtf8());
    open({list, notes});
    ASSERT_TRUE(waitAdded());
    EXPECT_EQ(captions(), QStringList({dir + QStringLiteral("/w.asf"), clip}));
    window.reset();

    // An unreadable list file is reported and start-up goes on.
    open({folder.filePath(QStringLiteral("absent.tmp"))});
    ASSERT_TRUE(waitAdded());
    EXPECT_EQ(window->tasks().rowCount(), 0);
    ASSERT_EQ(interactive.messages.size(), 1);
    EXPECT_TRUE(interactive.messages.first().contains(QStringLiteral("absent.tmp")));
    EXPECT_TRUE(window->isVisible());
}

TEST_F(MainFormTest, RemoveClearKeysAndThePopupMenu)
{
    TMainForm &form = open();
    QStringList paths;
    for (const char *name : {"a.avi", "b.avi", "c.avi", "d.avi"}) {
        paths << folder.filePath(QStringLiteral("in/") + QString::fromLatin1(name));
        touchFile(paths.last());
        folder.setScriptFor(QString::fromLatin1(name), QStringLiteral("print 0 Input #0, avi, from '") + paths.last()
                                                           + QStringLiteral("':\\n  Duration: 00:00:30.00, start: 0\\n"));
        form.AddTaskFile(paths.last());
    }
    ASSERT_TRUE(waitAdded());
    QTreeView *list = child<QTreeView>("ltvTask");
    QMenu *menu = child<QMenu>("ppmTask");
    auto enabled = [menu](const char *name) {
        return menu->findChild<QAction *>(QString::fromLatin1(name)) != nullptr
            && menu->findChild<QAction *>(QString::fromLatin1(name))->isEnabled();
    };
    QStringList texts;
    for (QAction *action : menu->actions())
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    EXPECT_EQ(texts, QStringList({"Open", "-", "Add Files...", "Add Directorys...", "Watch Folder...", "-", "Remove",
                                  "Clear", "Remove Completed", "Retry Failed", "-", "Move Up", "Move Down", "-",
                                  "Pause", "Resume", "-", "Engine Output..."}));

    form.ppmTaskPopup();
    EXPECT_FALSE(enabled("mniOpen"));
    EXPECT_FALSE(enabled("mniRemove"));
    EXPECT_TRUE(enabled("mniClear"));
    EXPECT_TRUE(enabled("mniAddFiles"));

    list->selectionModel()->select(form.tasks().index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    list->selectionModel()->select(form.tasks().index(3, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    form.ltvTaskClick();
    EXPECT_EQ(form.outputGrid().value(QStringLiteral("New Filename")), QStringLiteral("b") + form.OutputExt());
    form.ppmTaskPopup();
    EXPECT_TRUE(enabled("mniOpen"));
    EXPECT_TRUE(enabled("mniRemove"));

    list->setFocus();
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(captions(), QStringList({paths[0], paths[2]}));
    const auto outputSettingsEmpty = [&] {
        return form.outputGrid().value(QStringLiteral("New Filename")).isEmpty()
            && form.outputGrid().value(QStringLiteral("Start Time")).isEmpty()
            && form.outputGrid().value(QStringLiteral("End Time")).isEmpty();
    };
    EXPECT_TRUE(outputSettingsEmpty());

    // Backspace with a row's settings shown empties them too.
    list->selectionModel()->select(form.tasks().index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    form.ltvTaskClick();
    ASSERT_EQ(form.outputGrid().value(QStringLiteral("End Time")), QStringLiteral("00:00:30.00"));
    ASSERT_FALSE(form.outputGrid().value(QStringLiteral("Start Time")).isEmpty());
    QTest::keyClick(list, Qt::Key_Backspace, Qt::ShiftModifier);
    EXPECT_EQ(form.tasks().rowCount(), 0);
    EXPECT_TRUE(outputSettingsEmpty());
    form.ppmTaskPopup();
    EXPECT_FALSE(enabled("mniClear"));
    EXPECT_TRUE(enabled("mniAddDirectory"));
}

TEST_F(MainFormTest, OutputSettingsAreCheckedWhenStored)
{
    TMainForm &form = open();
    // A 100-second input from the engine's report.
    const QString clip = folder.filePath(QStringLiteral("in/clip.avi"));
    touchFile(clip);
    folder.setScript(QStringLiteral("print 0 Input #0, avi, from '") + clip
                     + QStringLiteral("':\\n  Duration: 00:01:40.00, start: 0.000000, bitrate: 1 kb/s\\n"
                                      "  Stream #0:0: Video: mpeg4 (FMP4), yuv420p, 320x240, 25 fps\\n"));
    form.AddTaskFile(clip);
    ASSERT_TRUE(waitAdded());
    ASSERT_EQ(task(0).LengthText, QStringLiteral("00:01:40.00"));
    ASSERT_EQ(cell(0, 2), QStringLiteral(" 320x240"));
    child<QTreeView>("ltvTask")->selectionModel()->select(form.tasks().index(0, 0),
                                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    form.ltvTaskClick();

    auto edit = [&](const QString &name, const QString &start, const QString &end) {
        form.outputGrid().setValue(QStringLiteral("New Filename"), name);
        form.outputGrid().setValue(QStringLiteral("Start Time"), start);
        form.outputGrid().setValue(QStringLiteral("End Time"), end);
        form.vleOutputValidate();
        return task(0);
    };

    ltvItemData t = edit(QStringLiteral("holiday.wmv"), QStringLiteral("00:00:10"), QStringLiteral("00:01:00"));
    EXPECT_EQ(t.NewName, QStringLiteral("holiday"));
    EXPECT_EQ(t.NewExt, QStringLiteral(".wmv"));
    EXPECT_EQ(t.StartText, QStringLiteral("00:00:10"));
    EXPECT_EQ(t.EndText, QStringLiteral("00:01:00"));
    EXPECT_EQ(t.ClipLengthText, QStringLiteral("00:00:50"));

    // Not a time, and the input's end as start: both keep the stored start;
    // an end beyond the input is accepted.
    t = edit(QStringLiteral("holiday"), QStringLiteral("abc"), QStringLiteral("00:05:00"));
    EXPECT_EQ(t.NewExt, QString());
    EXPECT_EQ(t.StartText, QStringLiteral("00:00:10"));
    EXPECT_EQ(t.EndText, QStringLiteral("00:05:00"));
    t = edit(QStringLiteral("holiday"), QStringLiteral("00:01:40"), QStringLiteral("00:00:00"));
    EXPECT_EQ(t.StartText, QStringLiteral("00:00:10"));
    EXPECT_EQ(t.EndText, QStringLiteral("00:05:00"));
    // The input's end as start is refused also before a later end.
    t = edit(QStringLiteral("holiday"), QStringLiteral("00:01:40"), QStringLiteral("00:05:00"));
    EXPECT_EQ(t.StartText, QStringLiteral("00:00:10"));
    EXPECT_EQ(t.ClipLengthText, QStringLiteral("00:04:50"));

    // Start equal to end is refused; the end is then checked against the
    // restored start. Tenths are kept, rounded half to even.
    t = edit(QStringLiteral("holiday"), QStringLiteral("00:00:20"), QStringLiteral("00:00:20"));
    EXPECT_EQ(t.StartText, QStringLiteral("00:00:10"));
    EXPECT_EQ(t.EndText, QStringLiteral("00:00:20"));
    t = edit(QStringLiteral("holiday"), QStringLiteral("00:00:10.25"), QStringLiteral("00:00:20"));
    EXPECT_EQ(t.StartText, QStringLiteral("00:00:10.2"));
    EXPECT_EQ(t.ClipLengthText, QStringLiteral("00:00:09.8"));

    // Without a selected row nothing is stored.
    child<QTreeView>("ltvTask")->clearSelection();
    edit(QStringLiteral("other"), QStringLiteral("00:00:30"), QStringLiteral("00:00:40"));
    EXPECT_EQ(task(0).NewName, QStringLiteral("holiday"));
}

TEST_F(MainFormTest, TypingInTheOutputGridIsStoredWhenTheUserMovesOn)
{
    TMainForm &form = open();
    const QString clip = folder.filePath(QStringLiteral("in/clip.avi"));
    touchFile(clip);
    folder.setScript(QStringLiteral("print 0 Input #0, avi, from '") + clip
                     + QStringLiteral("':\\n  Duration: 00:00:30.00, start: 0.000000\\n"));
    form.AddTaskFile(clip);
    ASSERT_TRUE(waitAdded());
    QTreeView *list = child<QTreeView>("ltvTask");
    // A click on the row shows its settings.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, list->visualRect(list->model()->index(0, 0)).center());
    ASSERT_TRUE(waitFor([&] { return !form.outputGrid().value(QStringLiteral("End Time")).isEmpty(); }));
    EXPECT_EQ(form.outputGrid().value(QStringLiteral("Start Time")), QStringLiteral("00:00:00.0"));
    EXPECT_EQ(form.outputGrid().value(QStringLiteral("End Time")), QStringLiteral("00:00:30.00"));

    ValueListGrid *grid = child<ValueListGrid>("vleOutput");
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, grid->visualRect(grid->model()->index(1, 1)).center());
    QWidget *editor = grid->currentEditor();
    ASSERT_NE(editor, nullptr);
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(editor, QStringLiteral("00:00:05"));
    // Leaving the grid for the list stores the edit.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, list->visualRect(list->model()->index(0, 0)).center());
    ASSERT_TRUE(waitFor([&] { return task(0).StartText == QLatin1String("00:00:05"); }));
    EXPECT_EQ(task(0).ClipLengthText, QStringLiteral("00:00:25"));
}

TEST_F(MainFormTest, PressOnAnEmptyOutputGridGivesATipAndNoEditor)
{
    open();
    ValueListGrid *grid = child<ValueListGrid>("vleOutput");
    const QRect valueCell = grid->visualRect(grid->model()->index(0, 1));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, valueCell.center());
    QCoreApplication::processEvents();
    EXPECT_EQ(grid->currentEditor(), nullptr);
    // Once a task is shown the same press edits.
    window->outputGrid().setValue(QStringLiteral("New Filename"), QStringLiteral("clip.mp4"));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, valueCell.center());
    QCoreApplication::processEvents();
    EXPECT_NE(grid->currentEditor(), nullptr);
}

// Every control of the window a screen reader shows, below `accessible`, that
// a person acts on and that has no name.
QStringList unnamedControls(QAccessibleInterface *accessible)
{
    static const QList<QAccessible::Role> controls = {
        QAccessible::Button, QAccessible::PushButton, QAccessible::ComboBox, QAccessible::EditableText,
        QAccessible::Slider, QAccessible::Table, QAccessible::Tree, QAccessible::List, QAccessible::CheckBox,
        QAccessible::RadioButton, QAccessible::SpinBox, QAccessible::PageTab};
    QStringList unnamed;
    for (int i = 0; i < accessible->childCount(); ++i) {
        QAccessibleInterface *child = accessible->child(i);
        if (!child || child->state().invisible)
            continue;
        const QString name = child->text(QAccessible::Name);
        if (controls.contains(child->role()) && (name.trimmed().isEmpty() || name != name.trimmed() || name == "-"))
            unnamed << (child->object() ? child->object()->objectName() : QString::number(child->role()));
        if (child->role() != QAccessible::Tree) // the list's cells are its rows, named by their text
            unnamed << unnamedControls(child);
    }
    return unnamed;
}

TEST_F(MainFormTest, AScreenReaderFindsEveryControlNamedAndOnlyTheColumnsAndPicturesShown)
{
    TMainForm &form = openAll();
    QAccessibleInterface *root = QAccessible::queryAccessibleInterface(&form);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->role(), QAccessible::Window);
    EXPECT_EQ(unnamedControls(root), QStringList());

    const struct
    {
        const char *control;
        QAccessible::Role role;
        const char *name;
    } cases[] = {
        {"ltvTask", QAccessible::Tree, "Files to convert"},
        {"edtOutputdir", QAccessible::EditableText, "Output Path"},
        {"vleOutput", QAccessible::Table, "Output parameters"},
        {"vleVideo", QAccessible::Table, "Video parameters"},
        {"vleAudio", QAccessible::Table, "Audio parameters"},
        {"vleAdvanced", QAccessible::Table, "Advanced parameters"},
        {"panVideo", QAccessible::StaticText, "Video"},
        {"btnVideo", QAccessible::Button, "Fold Video"},
        {"sbtnPlay", QAccessible::Button, "Play"},
        {"sbtnPause", QAccessible::Button, "Pause / Resume"},
        {"sbtnStop", QAccessible::Button, "Stop"},
        {"imgStart", QAccessible::Button, "Start"},
    };
    for (const auto &c : cases) {
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(child<QWidget>(c.control));
        ASSERT_NE(accessible, nullptr) << c.control;
        EXPECT_EQ(accessible->role(), c.role) << c.control;
        EXPECT_EQ(accessible->text(QAccessible::Name), QString::fromUtf8(c.name)) << c.control;
    }
    // A drop-down box tells its value as its name on Linux: its label names it.
    QAccessibleInterface *profile = QAccessible::queryAccessibleInterface(child<QWidget>("cmbProfile"));
    EXPECT_EQ(child<QWidget>("cmbProfile")->accessibleName(), QStringLiteral("Profile"));
    const auto labels = profile->relations(QAccessible::Label);
    ASSERT_EQ(labels.size(), 1);
    EXPECT_EQ(labels.first().first->text(QAccessible::Name), QStringLiteral("Profile:"));
    // A folded section's button says so.
    child<QAbstractButton>("btnVideo")->click();
    EXPECT_EQ(child<QWidget>("btnVideo")->accessibleName(), QStringLiteral("Unfold Video"));

    // The idle Stop picture lies under Start: no focus, nothing to read.
    QAccessibleInterface *stop = QAccessible::queryAccessibleInterface(child<QWidget>("imgStop"));
    EXPECT_TRUE(stop->state().invisible);
    EXPECT_EQ(child<QWidget>("imgStop")->focusPolicy(), Qt::NoFocus);
    EXPECT_FALSE(QAccessible::queryAccessibleInterface(child<QWidget>("imgStart"))->state().invisible);

    // The list tells of its four columns; a failed row says why.
    const QString clip = folder.filePath(QStringLiteral("in/clip.avi"));
    touchFile(clip);
    form.AddTaskFile(clip);
    ASSERT_TRUE(waitAdded());
    ltvItemData failed = task(0);
    failed.StatusText = RowStatus::Failed;
    WriteItemData(form.tasks(), 0, 2, failed);
    form.tasks().setData(form.tasks().index(0, 0), QStringLiteral("The disk is full."), TaskListModel::ResultNotesRole);
    QAccessibleInterface *list = QAccessible::queryAccessibleInterface(child<QWidget>("ltvTask"));
    QAccessibleTableInterface *table = list->tableInterface();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->columnCount(), 4);
    auto headers = [](QAccessibleInterface *view) {
        QStringList names;
        for (int i = 0; i < view->childCount(); ++i)
            if (view->child(i)->role() == QAccessible::ColumnHeader)
                names << view->child(i)->text(QAccessible::Name);
        return names;
    };
    EXPECT_EQ(headers(list), QStringList({"Input File", "Length", "Size", "Status"}));
    EXPECT_EQ(headers(QAccessible::queryAccessibleInterface(child<QWidget>("vleVideo"))),
              QStringList({"Parameter", "Value"}));
    QAccessibleInterface *status = table->cellAt(0, 3);
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->text(QAccessible::Name), QStringLiteral("Failed"));
    EXPECT_TRUE(status->text(QAccessible::Description).contains(QStringLiteral("The disk is full.")))
        << qPrintable(status->text(QAccessible::Description));
    EXPECT_EQ(table->cellAt(0, 0)->text(QAccessible::Name), clip);
}

// ---------------------------------------------------------------------------
// Batch control

class BatchControlTest : public WindowTest
{
protected:
    // Rows for the listed names (the fake engine's probe reports nothing).
    void addRows(TMainForm &form, const QStringList &names)
    {
        for (const QString &name : names) {
            const QString path = folder.filePath(QStringLiteral("in/") + name);
            touchFile(path);
            form.AddTaskFile(path);
        }
        ASSERT_TRUE(waitAdded());
    }

    void setOutputFolder(const QString &path) { child<QLineEdit>("edtOutputdir")->setText(path); }

    // The argument lists of the conversion starts, in order.
    QList<QStringList> conversions() const
    {
        QList<QStringList> result;
        for (int call = 1; call <= folder.callCount(); ++call) {
            const QStringList arguments = folder.arguments(call);
            if (arguments.value(0) == QLatin1String("-y"))
                result << arguments;
        }
        return result;
    }

    // One row converted into `output` by an engine that runs until stopped;
    // true once its conversion has started.
    bool startHeldRun(TMainForm &form, const QString &output)
    {
        addRows(form, {QStringLiteral("a.avi")});
        setOutputFolder(output);
        folder.setScript(QStringLiteral("sleep 30000\n"));
        form.tbtnStartClick();
        return waitFor([&] { return conversions().size() == 1; });
    }

    bool controlsEnabled() const
    {
        for (const char *name : {"ibtnAddFile", "ibtnAddDir", "ibtnRemove", "ibtnClear", "ibtnSetting", "ltvTask",
                                 "panSplitter", "gpbProfile"})
            if (!window->findChild<QWidget *>(QString::fromLatin1(name))->isEnabled())
                return false;
        return true;
    }
};

TEST_F(BatchControlTest, StartIsRefusedWithoutRowsOrWithoutAnOutputFolder)
{
    TMainForm &form = open();
    QWidget *start = child<QWidget>("imgStart");
    QWidget *stop = child<QWidget>("imgStop");
    QTest::mouseClick(start, Qt::LeftButton);
    EXPECT_TRUE(start->isVisible());
    EXPECT_TRUE(stop->isVisible()); // at start-up both show, Start on top
    EXPECT_TRUE(interactive.messages.isEmpty());

    addRows(form, {QStringLiteral("a.avi")});
    setOutputFolder(folder.filePath(QStringLiteral("nowhere")));
    QTest::mouseClick(start, Qt::LeftButton);
    EXPECT_EQ(interactive.messages,
              QStringList({"information|Output path does not exist|The output path does not exist. Please "
                           "specify another one."}));
    EXPECT_TRUE(start->isVisible());
    EXPECT_FALSE(stop->isVisible());
    EXPECT_EQ(form.RunState(), 0);
    EXPECT_EQ(folder.callCount(), 1); // the probe only
    setOutputFolder(QString());
    QTest::mouseClick(start, Qt::LeftButton);
    EXPECT_EQ(interactive.messages.size(), 2);
}

TEST_F(BatchControlTest, TabSkipsTheHiddenPictureF5StartsEscapeStopsAndTheFocusStays)
{
    TMainForm &form = open();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    addRows(form, {QStringLiteral("a.avi")});
    setOutputFolder(folder.path());
    folder.setScript(QStringLiteral("sleep 30000\n"));
    auto *start = child<QWidget>("imgStart");
    auto *stop = child<QWidget>("imgStop");
    EXPECT_EQ(start->toolTip(), QStringLiteral("Start (F5)"));
    EXPECT_EQ(stop->toolTip(), QStringLiteral("Stop (Esc)"));
    // Tab goes from the Open button to Start and on, never to Stop under it.
    child<QWidget>("bbtnOpen")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), start);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), stop);

    // Where the focus was before F5 and where it is once the batch runs: a
    // control the batch locks or hides hands it to Stop.
    const struct
    {
        const char *before;
        const char *running;
        const char *after; // once Escape stopped the batch
    } cases[] = {
        {"ibtnHelp", "ibtnHelp", "ibtnHelp"},
        {"ltvTask", "imgStop", "imgStart"},
        {"imgStart", "imgStop", "imgStart"},
    };
    int runs = 0;
    for (const auto &c : cases) {
        child<QWidget>(c.before)->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F5);
        ASSERT_TRUE(waitFor([&] { return conversions().size() == runs + 1; })) << c.before;
        ++runs;
        EXPECT_EQ(form.RunState(), 1) << c.before;
        ASSERT_NE(QApplication::focusWidget(), nullptr) << c.before;
        EXPECT_EQ(QApplication::focusWidget()->objectName(), QString::fromLatin1(c.running)) << c.before;
        // F5 again starts nothing more.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F5);

        // Paused, the line still names the file.
        auto *converting = child<QLabel>("labConvertingFile");
        EXPECT_TRUE(converting->text().startsWith(QStringLiteral("a.avi"))) << qPrintable(converting->text());
        form.run().pause();
        EXPECT_EQ(converting->text(), QStringLiteral("a.avi \u2014 paused, Ctrl+P resumes"));
        form.run().resume();
        EXPECT_TRUE(converting->text().startsWith(QStringLiteral("a.avi \u2014 Ctrl+P"))) << qPrintable(converting->text());

        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        ASSERT_TRUE(waitFor([&] { return form.RunState() == 0; })) << c.before;
        EXPECT_EQ(cell(0, 3), QStringLiteral("Stop"));
        ASSERT_NE(QApplication::focusWidget(), nullptr) << c.before;
        EXPECT_EQ(QApplication::focusWidget()->objectName(), QString::fromLatin1(c.after)) << c.before;
    }
    EXPECT_EQ(conversions().size(), 3);
    // Idle, Escape stops nothing and starts nothing.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_EQ(form.RunState(), 0);
}

TEST_F(BatchControlTest, StopCancelsTheRunningTaskAndEnablesTheControls)
{
    TMainForm &form = open();
    addRows(form, {QStringLiteral("a.avi"), QStringLiteral("b.avi")});
    setOutputFolder(folder.path());
    folder.setScript(QStringLiteral("print 0 starting\\r\nprint 10 frame=1\\r\nsleep 20000\n"));

    QTest::mouseClick(child<QWidget>("imgStart"), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return conversions().size() == 1; }));
    EXPECT_EQ(form.RunState(), 1);
    EXPECT_FALSE(controlsEnabled());
    EXPECT_TRUE(child<QWidget>("cmbProfile")->isEnabled());
    EXPECT_TRUE(child<QWidget>("edtOutputdir")->isEnabled());
    EXPECT_FALSE(child<QWidget>("imgStart")->isVisible());
    EXPECT_TRUE(child<QWidget>("imgStop")->isVisible());
    EXPECT_TRUE(child<QWidget>("panBottomLeft")->isVisible());
    EXPECT_FALSE(child<QWidget>("panBottomCenter")->isVisible());
    EXPECT_TRUE(child<QTimer>("timerTime")->isActive());
    EXPECT_EQ(child<QTimer>("timerTime")->interval(), 1000);
    EXPECT_EQ(cell(0, 3), QStringLiteral("Converting"));
    EXPECT_EQ(sleep.inhibits, 1);

    QTest::mouseClick(child<QWidget>("imgStop"), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return form.RunState() == 0; }));
    EXPECT_EQ(cell(0, 3), QStringLiteral("Stop"));
    EXPECT_EQ(cell(1, 3), QStringLiteral("OK"));
    EXPECT_TRUE(interactive.messages.contains(QStringLiteral("information|Cancel|The Coversion is canceled.")));
    EXPECT_TRUE(controlsEnabled());
    EXPECT_TRUE(child<QWidget>("imgStart")->isVisible());
    EXPECT_FALSE(child<QWidget>("imgStop")->isVisible());
    EXPECT_TRUE(child<QWidget>("panBottomCenter")->isVisible());
    EXPECT_FALSE(child<QTimer>("timerTime")->isActive());
    EXPECT_EQ(sleep.releases, 1);
}

TEST_F(BatchControlTest, TimerTicksShowElapsedAndRemainingTime)
{
    TMainForm &form = open();
    const QString clip = folder.filePath(QStringLiteral("in/clip.avi"));
    touchFile(clip);
    folder.setScriptFor(QStringLiteral("clip.avi"),
                        QStringLiteral("print 0 Input #0, avi, from '") + clip
                            + QStringLiteral("':\\n  Duration: 00:00:10.00, start: 0.000000\\n"));
    form.AddTaskFile(clip);
    ASSERT_TRUE(waitAdded());
    ASSERT_EQ(task(0).LengthText, QStringLiteral("00:00:10.00"));
    setOutputFolder(folder.path());
    // Two chunks that are never read for progress, then a quarter of the clip.
    folder.setScriptFor(QStringLiteral("clip.avi"), QStringLiteral("print 0 one\\r\nprint 50 two\\r\n"
                                                                    "print 50 frame=1 time=00:00:02.50 bitrate=1\\r\n"
                                                                    "sleep 20000\n"));
    form.tbtnStartClick();
    QLabel *elapsed = child<QLabel>("labElapsed");
    QLabel *remaining = child<QLabel>("labRemaining");
    form.timerTimeTimer();
    // No progress yet: the estimate keeps its reset value.
    EXPECT_EQ(remaining->text(), QStringLiteral("00:00:00"));
    ASSERT_TRUE(waitFor([&] { return child<QLabel>("labTotalProgress")->text() == QLatin1String("25%"); }));
    EXPECT_EQ(child<QProgressBar>("pgbTotal")->value(), 25);
    EXPECT_EQ(child<QProgressBar>("pgbCurrent")->value(), 25);
    for (int i = 1; i < 90; ++i)
        form.timerTimeTimer();
    EXPECT_EQ(elapsed->text(), QStringLiteral("00:01:30"));
    EXPECT_EQ(remaining->text(), QStringLiteral("00:04:30"));
    EXPECT_EQ(child<QLabel>("labConvertingFile")->text(), QStringLiteral("clip.avi \u2014 Ctrl+P pauses"));
    form.tbtnStopClick();
    ASSERT_TRUE(waitFor([&] { return form.RunState() == 0; }));
}

TEST_F(BatchControlTest, AProfileChangedDuringARunAppliesToTheNextBatch)
{
    TMainForm &form = open();
    QComboBox *profiles = child<QComboBox>("cmbProfile");
    const int mkv = profiles->findText(QStringLiteral("MKV H.264"));
    const int wav = profiles->findText(QStringLiteral("WAV Audio"));
    ASSERT_GE(mkv, 0);
    ASSERT_GE(wav, 0);
    profiles->setCurrentIndex(mkv);
    ASSERT_EQ(form.OutputExt(), QStringLiteral(".mkv"));
    addRows(form, {QStringLiteral("a.avi"), QStringLiteral("b.avi")});
    const QString out = folder.filePath(QStringLiteral("out"));
    QDir().mkpath(out);
    setOutputFolder(out);
    folder.setScript(QStringLiteral("sleep 300\n"));

    form.tbtnStartClick();
    ASSERT_TRUE(waitFor([&] { return conversions().size() == 1; }));
    const QStringList first = conversions().first();
    profiles->setCurrentIndex(wav);
    setOutputFolder(folder.path());
    EXPECT_EQ(form.OutputExt(), QStringLiteral(".wav"));
    ASSERT_TRUE(waitFor([&] { return form.RunState() == 0; }));
    const QList<QStringList> calls = conversions();
    ASSERT_EQ(calls.size(), 2);
    EXPECT_TRUE(IsWorkFileFor(calls[1].last(), out + QStringLiteral("/b.mkv")));
    // The second task got the first profile's options too.
    EXPECT_EQ(calls[1].mid(3, calls[1].size() - 4), first.mid(3, first.size() - 4));
    EXPECT_EQ(cell(1, 3), QStringLiteral("Complete"));
}

TEST_F(BatchControlTest, AMalformedProfileStartsNothing)
{
    const QString broken = folder.filePath(QStringLiteral("Profiles/Broken.apf"));
    touchFile(broken, "[Main]\r\nType=mp4\r\nPara=1\r\n0=Video Codec\r\n[Video Codec]\r\nSort=1\r\nReadOnly=0\r\n"
                      "List=1\r\nCaption=H.264,\r\nValue=libx264,\r\nIndex=0\r\ncmd=-vcodec\r\n");
    TMainForm &form = open();
    QComboBox *profiles = child<QComboBox>("cmbProfile");
    profiles->setCurrentIndex(profiles->findText(QStringLiteral("Broken")));
    addRows(form, {QStringLiteral("a.avi")});
    setOutputFolder(folder.path());
    // The chosen item's engine value is gone from the file after it was loaded.
    touchFile(broken, "[Main]\r\nType=mp4\r\nPara=1\r\n0=Video Codec\r\n[Video Codec]\r\nSort=1\r\nReadOnly=0\r\n"
                      "List=1\r\nCaption=H.264,\r\nValue=\r\nIndex=0\r\ncmd=-vcodec\r\n");
    interactive.messages.clear();
    QTest::mouseClick(child<QWidget>("imgStart"), Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(form.RunState(), 0);
    EXPECT_EQ(interactive.messages.size(), 1);
    EXPECT_TRUE(conversions().isEmpty());
    EXPECT_TRUE(controlsEnabled());
    EXPECT_TRUE(child<QWidget>("imgStart")->isVisible());
}

TEST_F(BatchControlTest, ClosingDuringARunStopsTheEngineAndSavesThePreferences)
{
    TMainForm &form = open();
    const QString out = folder.filePath(QStringLiteral("out/"));
    QDir().mkpath(out);
    ASSERT_TRUE(startHeldRun(form, out));

    form.close();
    ASSERT_TRUE(waitFor([&] { return !form.isVisible(); }));
    EXPECT_EQ(form.RunState(), 0);
    EXPECT_EQ(cell(0, 3), QStringLiteral("Stop"));
    EXPECT_EQ(sleep.releases, 1);
    // No engine process is left: the fake engine would still sleep.
    EXPECT_FALSE(ProcessRunsWith(folder.enginePath()));
    QFile prefs(folder.filePath(QStringLiteral("Preferences.ini")));
    ASSERT_TRUE(prefs.open(QIODevice::ReadOnly));
    EXPECT_TRUE(prefs.readAll().contains(("Output Path=" + out).toUtf8()));
}

TEST_F(BatchControlTest, PowerOffAsksFirstAndACancelKeepsTheProgramOpen)
{
    TMainForm &form = open();
    GeneralPreferences general;
    general.turnOff = true;
    general.openDir = false;
    StoredGeneralSettings settings(general);
    form.setGeneralSettings(&settings);
    addRows(form, {QStringLiteral("a.avi")});
    setOutputFolder(folder.path());

    dialogs.countdownAnswer = false;
    form.tbtnStartClick();
    ASSERT_TRUE(waitFor([&] { return form.RunState() == 0 && !dialogs.countdowns.isEmpty(); }));
    EXPECT_EQ(dialogs.countdowns.first(), QStringLiteral("The computer will be turned off in %1 seconds."));
    EXPECT_EQ(power.requests, 0);
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(controlsEnabled());

    // Confirmed: the computer is asked to power off and the window closes.
    dialogs.countdownAnswer = true;
    form.tbtnStartClick();
    ASSERT_TRUE(waitFor([&] { return power.requests == 1; }));
    ASSERT_TRUE(waitFor([&] { return !form.isVisible(); }));
    EXPECT_EQ(form.RunState(), 0);
    // Closing for the power off asks nothing.
    EXPECT_FALSE(interactive.messages.join(QLatin1Char('\n')).contains(QStringLiteral("question")));
}

TEST_F(BatchControlTest, CancelWhileAddingKeepsOnlyTheProbedFilesAndLeavesNoEngine)
{
    TMainForm &form = open();
    folder.setScript(QStringLiteral("sleep 400\n"));
    for (int i = 0; i < 12; ++i) {
        const QString path = folder.filePath(QStringLiteral("in/f%1.avi").arg(i, 2, 10, QLatin1Char('0')));
        touchFile(path);
        form.AddTaskFile(path);
    }
    EXPECT_TRUE(form.isAdding());
    // The window keeps answering and, after half a second, shows the progress.
    QProgressDialog *progress = nullptr;
    ASSERT_TRUE(waitFor([&] {
        progress = form.findChild<QProgressDialog *>(QStringLiteral("dlgAddingFiles"));
        return progress && progress->isVisible() && form.tasks().rowCount() > 0;
    }));
    EXPECT_EQ(progress->windowModality(), Qt::WindowModal);
    EXPECT_EQ(progress->maximum(), 12);
    QPushButton *cancel = progress->findChild<QPushButton *>();
    ASSERT_NE(cancel, nullptr);
    cancel->click();
    ASSERT_TRUE(waitFor([&] { return !form.isAdding(); }));
    const int rows = form.tasks().rowCount();
    EXPECT_GT(rows, 0);
    EXPECT_LT(rows, 12);
    for (int row = 0; row < rows; ++row)
        EXPECT_EQ(cell(row, 0), folder.filePath(QStringLiteral("in/f%1.avi").arg(row, 2, 10, QLatin1Char('0'))));
    EXPECT_FALSE(ProcessRunsWith(folder.enginePath()));
    EXPECT_TRUE(waitFor([&] { return !form.findChild<QProgressDialog *>(QStringLiteral("dlgAddingFiles")); }));
}

// ---------------------------------------------------------------------------
// A Start while files are still being added

class PendingStartTest : public BatchControlTest
{
protected:
    QString queue(TMainForm &form, const QString &name)
    {
        const QString path = folder.filePath(QStringLiteral("in/") + name);
        touchFile(path);
        form.AddTaskFile(path);
        return path;
    }

    // The batch looks started: Stop showing, the batch controls disabled and
    // the progress panel saying what it waits for.
    void expectWaiting()
    {
        EXPECT_FALSE(child<QWidget>("imgStart")->isVisible());
        EXPECT_TRUE(child<QWidget>("imgStop")->isVisible());
        for (const char *name : {"ibtnAddFile", "ibtnAddDir", "ibtnRemove", "ibtnClear", "ibtnSetting", "ltvTask",
                                 "panSplitter", "gpbProfile"})
            EXPECT_FALSE(child<QWidget>(name)->isEnabled()) << name;
        EXPECT_TRUE(child<QWidget>("panBottomLeft")->isVisible());
        EXPECT_EQ(child<QLabel>("labConvertingFile")->text(), QStringLiteral("Waiting for the files being added\u2026"));
        EXPECT_EQ(window->RunState(), 0);
    }

    void expectIdle()
    {
        EXPECT_TRUE(child<QWidget>("imgStart")->isVisible());
        EXPECT_FALSE(child<QWidget>("imgStop")->isVisible());
        EXPECT_TRUE(controlsEnabled());
        EXPECT_TRUE(child<QWidget>("panBottomCenter")->isVisible());
        EXPECT_FALSE(child<QWidget>("panBottomLeft")->isVisible());
    }

    QProgressDialog *addingDialog()
    {
        QProgressDialog *dialog = nullptr;
        EXPECT_TRUE(waitFor([&] {
            dialog = window->findChild<QProgressDialog *>(QStringLiteral("dlgAddingFiles"));
            return dialog && dialog->isVisible();
        }));
        return dialog;
    }
};

TEST_F(PendingStartTest, CancelWhileTheFirstFilesAreProbedStartsNothing)
{
    TMainForm &form = open();
    setOutputFolder(folder.path());
    folder.setScript(QStringLiteral("sleep 20000\n"));
    queue(form, QStringLiteral("a.avi"));
    queue(form, QStringLiteral("b.avi"));
    QTest::mouseClick(child<QWidget>("imgStart"), Qt::LeftButton);
    expectWaiting();

    QProgressDialog *dialog = addingDialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_EQ(form.tasks().rowCount(), 0);
    dialog->findChild<QPushButton *>()->click();
    // At once, not only when the adding has wound down.
    expectIdle();
    ASSERT_TRUE(waitAdded());
    expectIdle();
    EXPECT_EQ(form.tasks().rowCount(), 0);
    EXPECT_EQ(form.RunState(), 0);
    EXPECT_TRUE(conversions().isEmpty());
}

TEST_F(PendingStartTest, CancelAfterSomeRowsCameStartsNothing)
{
    TMainForm &form = open();
    setOutputFolder(folder.path());
    folder.setScript(QStringLiteral("sleep 20000\n"));
    folder.setScriptFor(QStringLiteral("a.avi"), QStringLiteral("print 0 a\n"));
    queue(form, QStringLiteral("a.avi"));
    queue(form, QStringLiteral("b.avi"));
    QTest::mouseClick(child<QWidget>("imgStart"), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return form.tasks().rowCount() == 1; }));
    QProgressDialog *dialog = addingDialog();
    ASSERT_NE(dialog, nullptr);
    dialog->findChild<QPushButton *>()->click();
    ASSERT_TRUE(waitAdded());
    QCoreApplication::processEvents();
    expectIdle();
    EXPECT_EQ(form.tasks().rowCount(), 1);
    EXPECT_EQ(form.RunState(), 0);
    EXPECT_TRUE(conversions().isEmpty());
}

TEST_F(PendingStartTest, StopWhileWaitingStartsNothing)
{
    TMainForm &form = open();
    setOutputFolder(folder.path());
    folder.setScript(QStringLiteral("sleep 300\n"));
    queue(form, QStringLiteral("a.avi"));
    QTest::mouseClick(child<QWidget>("imgStart"), Qt::LeftButton);
    expectWaiting();
    QTest::mouseClick(child<QWidget>("imgStop"), Qt::LeftButton);
    expectIdle();
    ASSERT_TRUE(waitAdded());
    EXPECT_EQ(form.tasks().rowCount(), 1);
    EXPECT_EQ(form.RunState(), 0);
    EXPECT_TRUE(conversions().isEmpty());
}

TEST_F(PendingStartTest, TheBatchStartsOnceTheFilesAreListedAndConvertsEveryRow)
{
    TMainForm &form = open();
    setOutputFolder(folder.path());
    folder.setScript(QStringLiteral("sleep 200\n"));
    queue(form, QStringLiteral("a.avi"));
    queue(form, QStringLiteral("b.avi"));
    ASSERT_EQ(form.tasks().rowCount(), 0);
    QTest::mouseClick(child<QWidget>("imgStart"), Qt::LeftButton);
    expectWaiting();
    // A file that comes while the batch waits is converted with the others.
    queue(form, QStringLiteral("c.avi"));

    ASSERT_TRUE(waitFor([&] { return conversions().size() == 3 && form.RunState() == 0; }));
    EXPECT_EQ(form.tasks().rowCount(), 3);
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(cell(row, 3), QStringLiteral("Complete")) << row;
    EXPECT_TRUE(interactive.messages.contains(
        QStringLiteral("information|Complete|The coversion is completed successfully.")));
    expectIdle();

    // The waiting start was used up: more files start nothing.
    queue(form, QStringLiteral("d.avi"));
    ASSERT_TRUE(waitAdded());
    QCoreApplication::processEvents();
    EXPECT_EQ(form.RunState(), 0);
    EXPECT_EQ(conversions().size(), 3);
    EXPECT_EQ(cell(3, 3), QStringLiteral("OK"));
}

// How the adding ends decides what a waiting batch does: files queued the
// moment the previous ones are listed are waited for, and an adding that
// leaves no row puts the window back to idle.
TEST_F(PendingStartTest, AWaitingBatchStartsOnlyWithEveryRowThatIsListed)
{
    const struct
    {
        const char *name;
        bool queueMoreAtTheEnd; // a handler of the end of adding queues b.avi
        bool rowsStay;          // false: each row is taken out as it comes
        int converted;
    } cases[] = {
        {"files queued as adding ends are waited for", true, true, 2},
        {"no row listed: back to idle", false, false, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        window.reset();
        const int before = conversions().size();
        TMainForm &form = open();
        setOutputFolder(folder.path());
        folder.setScript(QStringLiteral("sleep 200\n"));
        bool queuedMore = false;
        QObject guard;
        if (c.queueMoreAtTheEnd)
            QObject::connect(&form, &TMainForm::addingFinished, &guard, [&] {
                if (!std::exchange(queuedMore, true))
                    queue(form, QStringLiteral("b.avi"));
            });
        if (!c.rowsStay)
            QObject::connect(&form.tasks(), &QAbstractItemModel::rowsInserted, &guard,
                             [&](const QModelIndex &, int first) { form.tasks().removeRow(first); },
                             Qt::QueuedConnection);
        queue(form, QStringLiteral("a.avi"));
        QTest::mouseClick(child<QWidget>("imgStart"), Qt::LeftButton);
        expectWaiting();
        ASSERT_TRUE(waitFor([&] {
            return !form.isAdding() && form.RunState() == 0 && child<QWidget>("imgStart")->isVisible();
        }));
        ASSERT_TRUE(waitFor([&] { return conversions().size() - before == c.converted; }));
        EXPECT_EQ(form.tasks().rowCount(), c.converted);
        for (int row = 0; row < form.tasks().rowCount(); ++row)
            EXPECT_EQ(cell(row, 3), QStringLiteral("Complete")) << row;
        expectIdle();
    }
}

// ---------------------------------------------------------------------------
// Closing the window during a run

// The question is up while the window goes on: closing again asks nothing
// more; No keeps the run; Yes closes; a signal, or Stop, that comes while it
// is up is handled once, and a late Yes then closes nothing twice.
TEST_F(BatchControlTest, ClosingDuringARunAsksOnceAndTheAnswerDecides)
{
    const QString question = QStringLiteral("question-no|Vantorix|A conversion is running. Stop it and exit?");
    enum Meanwhile { Nothing, Signal, Stop };
    const struct
    {
        Meanwhile meanwhile;
        bool yes;
        bool closes;
        QString status;
    } cases[] = {
        {Nothing, false, false, QStringLiteral("Converting")},
        {Nothing, true, true, QStringLiteral("Stop")},
        {Signal, true, true, QStringLiteral("Stop")},
        {Stop, false, false, QStringLiteral("Stop")},
        {Stop, true, true, QStringLiteral("Stop")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(int(c.meanwhile) * 10 + c.yes);
        window.reset();
        interactive.messages.clear();
        folder.setScript(QString()); // the rows are read at once
        TMainForm &form = open();
        const qsizetype started = conversions().size();
        addRows(form, {QStringLiteral("a.avi")});
        setOutputFolder(folder.path());
        folder.setScript(QStringLiteral("sleep 30000\n"));
        form.tbtnStartClick();
        ASSERT_TRUE(waitFor([&] { return conversions().size() > started; }));
        interactive.holdQuestions = true;
        EXPECT_FALSE(form.close());
        EXPECT_FALSE(form.close());
        EXPECT_EQ(interactive.messages, QStringList{question});
        EXPECT_TRUE(form.isVisible());
        EXPECT_EQ(form.RunState(), 1);

        if (c.meanwhile == Signal) {
            form.closeWithoutAsking();
        } else if (c.meanwhile == Stop) {
            form.tbtnStopClick();
        }
        if (c.meanwhile != Nothing) {
            ASSERT_TRUE(waitFor([&] { return form.RunState() == 0; }));
        }
        const QStringList before = interactive.messages;
        interactive.answerQuestions(c.yes);
        if (c.closes) {
            ASSERT_TRUE(waitFor([&] { return !form.isVisible(); }));
        }
        QCoreApplication::processEvents(); // a late close would come now
        EXPECT_EQ(form.isVisible(), !c.closes);
        EXPECT_EQ(form.RunState(), c.status == QStringLiteral("Converting") ? 1 : 0);
        EXPECT_EQ(cell(0, 3), c.status);
        // Nothing more is asked or said by the answer.
        EXPECT_EQ(interactive.messages, before);
        interactive.holdQuestions = false;
        interactive.closeMessages();
        if (form.RunState() != 0)
            form.closeWithoutAsking();
    }
}

TEST_F(BatchControlTest, ASignalCloseAndTheEndOfBatchDoNotAsk)
{
    TMainForm &form = open();
    ASSERT_TRUE(startHeldRun(form, folder.path()));
    interactive.answer = false;
    form.closeWithoutAsking();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.RunState(), 0);
    EXPECT_TRUE(interactive.messages.isEmpty());

    // "Exit" at the end of a batch.
    window.reset();
    TMainForm &again = open();
    GeneralPreferences general;
    general.exitProgram = true;
    StoredGeneralSettings settings(general);
    again.setGeneralSettings(&settings);
    folder.setScript(QStringLiteral("sleep 100\n"));
    addRows(again, {QStringLiteral("b.avi")});
    setOutputFolder(folder.path());
    again.tbtnStartClick();
    ASSERT_TRUE(waitFor([&] { return !again.isVisible(); }));
    EXPECT_TRUE(interactive.messages.isEmpty());
}

TEST_F(BatchControlTest, BrowseOpenAndHelp)
{
    TMainForm &form = open();
    const QString out = folder.filePath(QStringLiteral("out"));
    QDir().mkpath(out);
    dialogs.folders.append(std::nullopt);
    dialogs.folders.append(out);
    child<QPushButton>("bbtnBrowser")->click();
    EXPECT_EQ(child<QLineEdit>("edtOutputdir")->text(), folder.path());
    child<QPushButton>("bbtnBrowser")->click();
    EXPECT_EQ(child<QLineEdit>("edtOutputdir")->text(), out + QLatin1Char('/'));
    EXPECT_EQ(dialogs.pickFolderTitles.last(), QStringLiteral("Select the output directory."));

    child<QPushButton>("bbtnOpen")->click();
    setOutputFolder(folder.filePath(QStringLiteral("missing")));
    child<QPushButton>("bbtnOpen")->click();
    form.tbtnHelpClick();
    EXPECT_EQ(shell.opened, QStringList({out, folder.filePath(QStringLiteral("Vantorix.html"))}));
    EXPECT_TRUE(interactive.messages.isEmpty());

    // Nothing on the computer opens them: the window says so.
    shell.opens = false;
    setOutputFolder(out);
    child<QPushButton>("bbtnOpen")->click();
    form.tbtnHelpClick();
    EXPECT_EQ(interactive.messages,
              QStringList({"warning|Open|No program on this computer opens folders. The outputs are in " + out,
                           "warning|Help|No web browser opens the manual. It is the file "
                               + folder.filePath(QStringLiteral("Vantorix.html")) + "; any web browser shows it."}));
}

} // namespace
