#pragma once
// A main window in a temporary program folder, with every dialog, message,
// shell request and power request recorded instead of shown.

#include "app/mainform.h"
#include "conversion/taskrecord.h"
#include "fakes/clips.h"
#include "fakes/programfolder.h"
#include "fakes/recordedservices.h"
#include "ui/settingform.h"
#include "ui/sizeform.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

inline void touchFile(const QString &path, const QByteArray &content = QByteArray("x"))
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

class WindowTest : public ::testing::Test
{
protected:
    explicit WindowTest(TestProgramFolder::Engine engine = TestProgramFolder::Engine::Fake)
        : folder(engine)
    {
    }

    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        const QDir shipped(QStringLiteral(VANTORIX_PROGRAM_FOLDER "/Profiles"));
        QDir().mkpath(folder.filePath(QStringLiteral("Profiles")));
        for (const QString &name : shipped.entryList({QStringLiteral("*.apf")}, QDir::Files))
            QFile::copy(shipped.filePath(name), folder.filePath(QStringLiteral("Profiles/") + name));
    }

    void TearDown() override
    {
        sizeForm.reset();
        settingForm.reset();
        window.reset();
    }

    // Creates the window with these command-line arguments and shows it.
    TMainForm &open(const QStringList &arguments = {}, bool show = true)
    {
        window = std::make_unique<TMainForm>(recorded.services(folder.path(), arguments));
        if (show) {
            window->show();
            EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        }
        return *window;
    }

    // The main window with the Settings window and the custom size dialog,
    // made and joined as the program does it, then shown. Every window's
    // messages are recorded in interactive.
    TMainForm &openAll(const QStringList &arguments = {})
    {
        TMainForm &form = open(arguments, false);
        settingForm = std::make_unique<TSettingForm>(form, form.ProgramFolder(), interactive, dialogs);
        form.setSettingForm(settingForm.get());
        sizeForm = std::make_unique<TSizeForm>(&form, form.grids().video, interactive);
        form.setSizeForm(sizeForm.get());
        form.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&form));
        return form;
    }

    template <typename W>
    W *child(const char *name) const
    {
        W *widget = window->findChild<W *>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    // Until every queued file has its row and the window has acted on the new
    // rows (it sends addingFinished() then; isAdding() holds until it has).
    bool waitAdded() { return waitFor([this] { return !window->isAdding(); }); }

    QString cell(int row, int column) const { return window->tasks().index(row, column).data().toString(); }
    QStringList captions() const
    {
        QStringList result;
        for (int row = 0; row < window->tasks().rowCount(); ++row)
            result << cell(row, 0);
        return result;
    }
    ltvItemData task(int row) const
    {
        ltvItemData record;
        ReadItemData(window->tasks(), row, WholeRowField, record);
        return record;
    }

    TestProgramFolder folder;
    RecordedServices recorded;
    RecordingInteractive &interactive = recorded.interactive;
    RecordingDialogs &dialogs = recorded.dialogs;
    RecordingShell &shell = recorded.shell;
    RecordingPowerControl &power = recorded.power;
    RecordingSleepInhibitor &sleep = recorded.sleep;
    std::unique_ptr<TMainForm> window;
    std::unique_ptr<TSettingForm> settingForm;
    std::unique_ptr<TSizeForm> sizeForm;
};
