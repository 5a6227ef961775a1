// The real dialogs and message boxes, answered from the event loop.
#include "fakes/recordingdialogs.h"
#include "profiles/parametergrid.h"
#include "profiles/profiles.h"
#include "ui/dialogs.h"
#include "ui/widgetinteractive.h"
#include "uitesthelpers.h"

#include <QPushButton>
#include <QCheckBox>
#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
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
    QList<QStringList> chosen;
    const auto answered = [&chosen](const QStringList &files) { chosen << files; };
    dialogs.openFiles(nullptr, filters, answered);
    // Up when the call returns; nothing chosen yet.
    auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(chosen.isEmpty());
    EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFiles);
    QStringList entries;
    auto *types = dialog->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
    ASSERT_NE(types, nullptr);
    for (int i = 0; i < types->count(); ++i)
        entries << types->itemText(i);
    EXPECT_EQ(entries, filters);
    EXPECT_EQ(dialog->selectedNameFilter(), filters.first());
    auto *files = dialog->findChild<QFileSystemModel *>();
    ASSERT_NE(files, nullptr);
    EXPECT_EQ(files->nameFilters(), (QStringList{QStringLiteral("*.avi"), QStringLiteral("*.mpg")}));
    dialog->setDirectory(folder.path());
    dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("\"b.mpg\" \"a.avi\""));
    static_cast<QDialog *>(dialog)->accept();
    const QStringList both{QDir::toNativeSeparators(QDir(folder.path()).filePath(QStringLiteral("b.mpg"))),
                           QDir::toNativeSeparators(QDir(folder.path()).filePath(QStringLiteral("a.avi")))};
    EXPECT_EQ(chosen, QList<QStringList>{both});

    // The next one starts where the last was left; Cancel gives nothing.
    chosen.clear();
    dialogs.openFiles(nullptr, filters, answered);
    dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(QDir(dialog->directory().absolutePath()), QDir(folder.path()));
    dialog->reject();
    EXPECT_EQ(chosen, QList<QStringList>{QStringList()});
}

// The folder chooser and the save dialog open and return at once, modal to
// every window of the program; OK gives the choice, Cancel nothing, and a
// dialog whose owner went away answers never.
TEST(FileDialogs, ChooseOrCancelWithoutWaiting)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    ASSERT_TRUE(QDir(root.path()).mkdir(QStringLiteral("Output")));
    const QString output = QDir(root.path()).filePath(QStringLiteral("Output"));
    const QString saved = QDir(root.path()).filePath(QStringLiteral("Mine.apf"));
    WidgetDialogs dialogs;
    auto owner = std::make_unique<QWidget>();
    owner->show();
    QList<std::optional<QString>> answers;
    const auto answered = [&answers](const std::optional<QString> &path) { answers << path; };
    const struct
    {
        bool save;
        bool ok;
        QString title;
        std::optional<QString> answer;
    } cases[] = {
        {false, true, QStringLiteral("Select the output directory."), QDir::toNativeSeparators(output)},
        {false, false, QStringLiteral("Add a directory to the Task List"), std::nullopt},
        {true, true, QStringLiteral("Save As"), QDir::toNativeSeparators(saved)},
        {true, false, QStringLiteral("Save As"), std::nullopt},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.title.toStdString() + (c.ok ? " OK" : " Cancel"));
        answers.clear();
        if (c.save)
            dialogs.saveFile(owner.get(), root.path(), QStringLiteral(".apf"), {QStringLiteral("Profiles (*.apf)")},
                             answered);
        else
            dialogs.pickFolder(owner.get(), c.title, answered);
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(answers.isEmpty());
        EXPECT_EQ(dialog->windowModality(), Qt::ApplicationModal);
        EXPECT_EQ(dialog->windowTitle(), c.title);
        EXPECT_EQ(dialog->parentWidget(), owner.get());
        if (c.save)
            dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("Mine"));
        else
            dialog->setDirectory(output);
        if (c.ok)
            static_cast<QDialog *>(dialog)->accept();
        else
            dialog->reject();
        ASSERT_EQ(answers.size(), 1);
        EXPECT_EQ(answers.first().has_value(), c.answer.has_value());
        if (answers.first() && c.answer) {
            EXPECT_EQ(QFileInfo(*answers.first()).absoluteFilePath(), QFileInfo(*c.answer).absoluteFilePath());
        }
    }
    answers.clear();
    dialogs.pickFolder(owner.get(), QStringLiteral("Watch a directory for new files"), answered);
    owner.reset();
    EXPECT_TRUE(answers.isEmpty());
}

// Every box opens over its owner and returns at once; a question's answer
// follows from its button, Enter giving the default one.
TEST(WidgetInteractive, BoxesCarryTheirIconButtonsAndOwner)
{
    QWidget owner;
    QWidget otherOwner;
    WidgetInteractive interactive(&owner);
    using Kind = IInteractive::MessageKind;
    using Default = IInteractive::DefaultAnswer;
    const struct
    {
        std::optional<Kind> kind; // nothing: a question
        Default enter;
        QWidget *owner;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton;
        QMessageBox::StandardButton click; // NoButton: Enter
        QList<bool> answers;
    } cases[] = {
        {Kind::Information, Default::Yes, &owner, QMessageBox::Information, QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok, {true}},
        {Kind::Plain, Default::Yes, &owner, QMessageBox::NoIcon, QMessageBox::Ok, QMessageBox::Ok, QMessageBox::NoButton, {true}},
        {Kind::Warning, Default::Yes, &owner, QMessageBox::Warning, QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok, {true}},
        {Kind::Error, Default::Yes, &owner, QMessageBox::Critical, QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok, {true}},
        {std::nullopt, Default::Yes, &otherOwner, QMessageBox::Question, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes, QMessageBox::Yes, {true}},
        {std::nullopt, Default::Yes, &otherOwner, QMessageBox::Question, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes, QMessageBox::No, {false}},
        {std::nullopt, Default::Yes, &otherOwner, QMessageBox::Question, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes, QMessageBox::NoButton, {true}},
        {std::nullopt, Default::No, &otherOwner, QMessageBox::Question, QMessageBox::Yes | QMessageBox::No, QMessageBox::No, QMessageBox::NoButton, {false}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(int(c.icon) * 100 + int(c.enter) * 10 + (c.click == QMessageBox::NoButton));
        interactive.setOwner(c.owner);
        QList<bool> answers;
        if (c.kind)
            interactive.showMessage(*c.kind, QStringLiteral("Caption"), QStringLiteral("text"), [&answers] { answers << true; });
        else
            interactive.ask(QStringLiteral("Caption"), QStringLiteral("text"), c.enter, [&answers](bool yes) { answers << yes; });
        QMessageBox *box = interactive.box();
        ASSERT_NE(box, nullptr);
        EXPECT_TRUE(answers.isEmpty());
        EXPECT_EQ(box->icon(), c.icon);
        EXPECT_EQ(box->standardButtons(), c.buttons);
        EXPECT_EQ(box->standardButton(box->defaultButton()), c.defaultButton);
        EXPECT_EQ(box->parentWidget(), c.owner);
        EXPECT_EQ(box->text(), QStringLiteral("text"));
        if (c.click == QMessageBox::NoButton)
            QTest::keyClick(box, Qt::Key_Return);
        else
            box->button(c.click)->click();
        EXPECT_EQ(answers, c.answers);
        EXPECT_EQ(interactive.box(), nullptr);
    }
}

// One box at a time: what is asked while a box is up waits for it, in order;
// a request the same as one up or waiting shares its box and its answer (a
// watched folder refused at every new file cannot pile boxes up); discard()
// drops what waits; a box gone with its window answers nobody.
TEST(WidgetInteractive, OneBoxAtATimeTheSameOnceAndNothingAfterItsWindowWent)
{
    auto owner = std::make_unique<QWidget>();
    WidgetInteractive interactive(owner.get());
    QStringList said;
    const auto message = [&](const QString &text) {
        interactive.showMessage(IInteractive::MessageKind::Information, QStringLiteral("Output path does not exist"),
                                text, [&said, text] { said << text; });
    };
    const auto question = [&](const QString &text) {
        interactive.ask(QStringLiteral("Vantorix"), text, IInteractive::DefaultAnswer::No,
                        [&said, text](bool yes) { said << text + (yes ? QStringLiteral(":yes") : QStringLiteral(":no")); });
    };
    message(QStringLiteral("first"));
    question(QStringLiteral("stop?"));
    message(QStringLiteral("first"));
    message(QStringLiteral("second"));
    question(QStringLiteral("stop?"));
    const auto visibleBoxes = [&] {
        QStringList shown;
        for (QMessageBox *box : owner->findChildren<QMessageBox *>())
            if (box->isVisible())
                shown << box->text();
        return shown;
    };
    const struct
    {
        QString up;
        qsizetype waiting;
        QMessageBox::StandardButton click;
        QStringList said;
    } steps[] = {
        {QStringLiteral("first"), 2, QMessageBox::Ok, {QStringLiteral("first"), QStringLiteral("first")}},
        {QStringLiteral("stop?"), 1, QMessageBox::Yes, {QStringLiteral("stop?:yes"), QStringLiteral("stop?:yes")}},
        {QStringLiteral("second"), 0, QMessageBox::Ok, {QStringLiteral("second")}},
    };
    for (const auto &step : steps) {
        SCOPED_TRACE(step.up.toStdString());
        said.clear();
        EXPECT_EQ(visibleBoxes(), QStringList{step.up});
        EXPECT_EQ(interactive.waiting(), step.waiting);
        interactive.box()->button(step.click)->click();
        EXPECT_EQ(said, step.said);
    }
    EXPECT_EQ(interactive.box(), nullptr);

    said.clear();
    question(QStringLiteral("stop?"));
    message(QStringLiteral("dropped"));
    interactive.discard();
    EXPECT_EQ(interactive.waiting(), 0);
    interactive.box()->close(); // closed, not answered: No
    EXPECT_EQ(said, QStringList{QStringLiteral("stop?:no")});
    EXPECT_EQ(interactive.box(), nullptr);

    said.clear();
    message(QStringLiteral("gone"));
    message(QStringLiteral("gone too"));
    owner.reset();
    EXPECT_EQ(interactive.box(), nullptr);
    EXPECT_EQ(interactive.waiting(), 0);
    EXPECT_TRUE(said.isEmpty());
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
    ParameterGrids grids;
    EXPECT_EQ(LoadProfile(path, grids, interactive), ProfileStatus::Malformed);
    QMessageBox *shown = interactive.box();
    ASSERT_NE(shown, nullptr);
    const QRect box = shown->frameGeometry();
    const QRect screen = shown->screen()->availableGeometry();
    QAbstractButton *ok = shown->button(QMessageBox::Ok);
    ASSERT_NE(ok, nullptr);
    EXPECT_TRUE(ok->isVisible());
    ok->click();
    EXPECT_LE(box.height(), screen.height());
    EXPECT_LE(box.width(), screen.width());
}

// The scripted stand-in must stay a complete IDialogs.
static_assert(!std::is_abstract_v<RecordingDialogs>);

} // namespace
