// The real dialogs and message boxes, answered from the event loop.
#include "fakes/recordingdialogs.h"
#include "profiles/parametergrid.h"
#include "profiles/profiles.h"
#include "ui/dialogs.h"
#include "ui/widgetinteractive.h"
#include "uitesthelpers.h"

#include <QPushButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include <type_traits>

namespace {

// The countdown opens and returns at once; its answer follows from the event loop.
TEST(Countdown, CancelStopsItAndRunningOutConfirms)
{
    WidgetDialogs dialogs;
    QWidget owner;
    QString shown;
    QAbstractButton *defaultButton = nullptr;
    QAbstractButton *cancel = nullptr;
    QList<bool> answers;
    const auto answered = [&answers](bool ranOut) { answers << ranOut; };
    dialogs.countdown(&owner, QStringLiteral("Vantorix"), QStringLiteral("The computer turns off in %1 seconds."), 30,
                      answered);
    auto *box = owner.findChild<QMessageBox *>(QStringLiteral("countdownBox"));
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(answers.isEmpty());
    shown = box->text();
    defaultButton = box->defaultButton();
    cancel = box->button(QMessageBox::Cancel);
    ASSERT_NE(cancel, nullptr);
    cancel->click();
    EXPECT_EQ(answers, QList<bool>{false});
    EXPECT_EQ(shown, QStringLiteral("The computer turns off in 30 seconds."));
    EXPECT_EQ(defaultButton, cancel);

    // Left alone, the count runs down to the end; the text follows it.
    answers.clear();
    QStringList texts;
    dialogs.countdown(&owner, QStringLiteral("Vantorix"), QStringLiteral("%1 s left"), 2, answered);
    const auto boxes = owner.findChildren<QMessageBox *>(QStringLiteral("countdownBox"));
    ASSERT_FALSE(boxes.isEmpty());
    QPointer<QMessageBox> second = boxes.last();
    texts << second->text();
    QTimer watch;
    watch.setInterval(20);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (second && texts.last() != second->text())
            texts << second->text();
    });
    watch.start();
    for (int i = 0; i < 500 && answers.isEmpty(); ++i)
        QTest::qWait(20);
    EXPECT_EQ(answers, QList<bool>{true});
    EXPECT_EQ(texts, (QStringList{QStringLiteral("2 s left"), QStringLiteral("1 s left")}));
}

// The subfolder box opens and returns at once: OK gives the check box's
// state, Cancel nothing, and a box whose owner went away answers never.
TEST(IncludeSubfolders, OkGivesTheCheckBoxCancelNothingAndAGoneOwnerNoAnswer)
{
    WidgetDialogs dialogs;
    auto owner = std::make_unique<QWidget>();
    QList<std::optional<bool>> answers;
    const auto answered = [&answers](std::optional<bool> include) { answers << include; };
    const auto box = [&] { return owner->findChildren<QDialog *>(QStringLiteral("dlgIncludeSubfolders")).value(0); };
    const struct
    {
        bool shown;
        bool click;   // the check box is clicked before the button
        bool ok;
        std::optional<bool> answer;
    } cases[] = {{false, true, true, true}, {true, true, true, false}, {true, false, true, true}, {true, true, false, std::nullopt}};
    for (const auto &c : cases) {
        answers.clear();
        dialogs.askIncludeSubfolders(owner.get(), c.shown, answered);
        QDialog *dialog = box();
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(answers.isEmpty());
        auto *check = dialog->findChild<QCheckBox *>(QStringLiteral("chkIncludeSubfolders"));
        ASSERT_NE(check, nullptr);
        EXPECT_EQ(check->text(), QStringLiteral("Include subfolders"));
        EXPECT_EQ(check->isChecked(), c.shown);
        if (c.click)
            check->click();
        auto *buttons = dialog->findChild<QDialogButtonBox *>();
        buttons->button(c.ok ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
        EXPECT_EQ(answers, QList<std::optional<bool>>{c.answer});
        delete dialog; // closed, it would go later: the next case finds its own
    }
    answers.clear();
    dialogs.askIncludeSubfolders(owner.get(), false, answered);
    owner.reset();
    QCoreApplication::processEvents();
    EXPECT_TRUE(answers.isEmpty());
}

TEST(OpenFiles, ShowsTheEntriesAsGivenMatchesTheirPatternsAndStartsWhereItWasLeft)
{
    EXPECT_EQ(ToolkitNameFilter(QStringLiteral("All Support Files(*.avi;*.mpg;)")),
              QStringLiteral("All Support Files(*.avi *.mpg)"));
    EXPECT_EQ(ToolkitNameFilter(QStringLiteral("All Files (*.*)")), QStringLiteral("All Files (*)"));
    EXPECT_EQ(ToolkitNameFilter(QStringLiteral("No patterns")), QStringLiteral("No patterns"));

    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    for (const char *name : {"a.avi", "b.mpg", "c.flv"}) {
        QFile file(QDir(folder.path()).filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    const QStringList filters{QStringLiteral("All Support Files(*.avi;*.mpg;)"), QStringLiteral("All Files (*.*)")};

    WidgetDialogs dialogs;
    QStringList entries;
    QStringList matching;
    QString selectedEntry;
    bool multiple = false;
    WhenModalShows([&](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        ASSERT_NE(dialog, nullptr);
        multiple = dialog->fileMode() == QFileDialog::ExistingFiles;
        auto *types = dialog->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
        ASSERT_NE(types, nullptr);
        for (int i = 0; i < types->count(); ++i)
            entries << types->itemText(i);
        selectedEntry = dialog->selectedNameFilter();
        if (auto *files = dialog->findChild<QFileSystemModel *>())
            matching = files->nameFilters();
        dialog->setDirectory(folder.path());
        dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("\"b.mpg\" \"a.avi\""));
        static_cast<QDialog *>(dialog)->accept();
    });
    const QStringList chosen = dialogs.openFiles(nullptr, filters);

    EXPECT_TRUE(multiple);
    EXPECT_EQ(entries, filters);
    EXPECT_EQ(selectedEntry, filters.first());
    EXPECT_EQ(matching, (QStringList{QStringLiteral("*.avi"), QStringLiteral("*.mpg")}));
    EXPECT_EQ(chosen, (QStringList{QDir::toNativeSeparators(QDir(folder.path()).filePath(QStringLiteral("b.mpg"))),
                                   QDir::toNativeSeparators(QDir(folder.path()).filePath(QStringLiteral("a.avi")))}));

    QString startedIn;
    WhenModalShows([&](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        startedIn = dialog->directory().absolutePath();
        dialog->reject();
    });
    EXPECT_TRUE(dialogs.openFiles(nullptr, filters).isEmpty());
    EXPECT_EQ(QDir(startedIn), QDir(folder.path()));
}

TEST(WidgetInteractive, BoxesCarryTheirIconButtonsAndOwner)
{
    QWidget owner;
    WidgetInteractive interactive(&owner);
    struct Seen
    {
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        QWidget *parent = nullptr;
        QString caption;
        QString text;
    };
    const auto answer = [](Seen &seen, QMessageBox::StandardButton button) {
        WhenModalShows([&seen, button](QWidget *modal) {
            auto *box = qobject_cast<QMessageBox *>(modal);
            seen = {box->icon(), box->standardButtons(), box->parentWidget(), box->windowTitle(), box->text()};
            box->button(button)->click();
        });
    };

    Seen info;
    answer(info, QMessageBox::Ok);
    interactive.information(QStringLiteral("Complete"), QStringLiteral("The coversion is completed successfully."));
    EXPECT_EQ(info.icon, QMessageBox::Information);
    EXPECT_EQ(info.buttons, QMessageBox::Ok);
    EXPECT_EQ(info.parent, &owner);
    EXPECT_EQ(info.caption, QStringLiteral("Complete"));
    EXPECT_EQ(info.text, QStringLiteral("The coversion is completed successfully."));

    Seen plain;
    answer(plain, QMessageBox::Ok);
    interactive.plainMessage(QStringLiteral("Error on CreateProcess()"));
    EXPECT_EQ(plain.icon, QMessageBox::NoIcon);
    EXPECT_EQ(plain.buttons, QMessageBox::Ok);

    Seen warning;
    answer(warning, QMessageBox::Ok);
    interactive.warning(QStringLiteral("Warning"), QStringLiteral("text"));
    EXPECT_EQ(warning.icon, QMessageBox::Warning);

    Seen error;
    answer(error, QMessageBox::Ok);
    interactive.error(QStringLiteral("Cannot write Preferences.ini"));
    EXPECT_EQ(error.icon, QMessageBox::Critical);

    QWidget otherOwner;
    interactive.setOwner(&otherOwner);
    Seen question;
    answer(question, QMessageBox::Yes);
    EXPECT_TRUE(interactive.question(QStringLiteral("Load Default"), QStringLiteral("Sure?")));
    EXPECT_EQ(question.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(question.parent, &otherOwner);
    answer(question, QMessageBox::No);
    EXPECT_FALSE(interactive.question(QStringLiteral("Load Default"), QStringLiteral("Sure?")));
}

// A message that does not wait: the box is up when the call returns, and
// what follows it comes when it is closed, once.
TEST(WidgetInteractive, MessagesThatDoNotWaitGoOnWhenClosed)
{
    QWidget owner;
    WidgetInteractive interactive(&owner);
    const QString program = QGuiApplication::applicationDisplayName();
    const struct
    {
        IInteractive::MessageKind kind;
        QMessageBox::Icon icon;
        QString caption;
    } cases[] = {
        {IInteractive::MessageKind::Information, QMessageBox::Information, QStringLiteral("Complete")},
        {IInteractive::MessageKind::Warning, QMessageBox::Warning, QStringLiteral("Turn off")},
        {IInteractive::MessageKind::Plain, QMessageBox::NoIcon, program},
        {IInteractive::MessageKind::Error, QMessageBox::Critical, program},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.caption.toStdString() + " " + std::to_string(int(c.icon)));
        int closed = 0;
        interactive.showMessage(c.kind, QStringLiteral("Complete"), QStringLiteral("The text"), [&closed] { ++closed; });
        QMessageBox *box = nullptr;
        for (QMessageBox *candidate : owner.findChildren<QMessageBox *>())
            if (candidate->isVisible())
                box = candidate;
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(closed, 0);
        EXPECT_EQ(box->icon(), c.icon);
        EXPECT_EQ(box->windowTitle(), c.kind == IInteractive::MessageKind::Information
                                              || c.kind == IInteractive::MessageKind::Warning
                                          ? QStringLiteral("Complete")
                                          : program);
        EXPECT_EQ(box->text(), QStringLiteral("The text"));
        EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
        box->button(QMessageBox::Ok)->click();
        EXPECT_EQ(closed, 1);
        EXPECT_FALSE(box->isVisible());
    }
}

TEST(WidgetInteractive, MalformedProfileWarningFitsOnTheScreen)
{
    // A damaged profile with a parameter count far beyond its hundreds of
    // lines: the box still shows its OK button on the screen.
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("Damaged.apf"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Main]\r\nType=mp4\r\nPara=100000\r\n0=" + QByteArray(3000, 'n') + "\r\n");
    for (int i = 0; i < 400; ++i)
        file.write("; filler\r\n");
    file.close();

    QWidget owner;
    WidgetInteractive interactive(&owner);
    QRect box;
    QRect screen;
    bool okShown = false;
    WhenModalShows([&](QWidget *modal) {
        auto *shown = qobject_cast<QMessageBox *>(modal);
        ASSERT_NE(shown, nullptr);
        box = shown->frameGeometry();
        screen = shown->screen()->availableGeometry();
        QAbstractButton *ok = shown->button(QMessageBox::Ok);
        okShown = ok && ok->isVisible();
        ok->click();
    });
    ParameterGrids grids;
    EXPECT_EQ(LoadProfile(path, grids, interactive), ProfileStatus::Malformed);
    EXPECT_TRUE(okShown);
    EXPECT_LE(box.height(), screen.height());
    EXPECT_LE(box.width(), screen.width());
}

// The scripted stand-in must stay a complete IDialogs.
static_assert(!std::is_abstract_v<RecordingDialogs>);

} // namespace
