// The Engine Output window on what the real engine says when a task fails (and
// when it does not): the plain sentence first, the banner left out, the lines
// that name the failure marked, wrapped, opened at the top.
#include "ui/engineoutputform.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <gtest/gtest.h>

namespace {

class EngineOutputFormTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }

    // Everything the engine prints for these arguments, banner included.
    QString engine(const QStringList &arguments) const
    {
        QProcess process;
        process.setWorkingDirectory(folder.path());
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral(VANTORIX_FFMPEG), arguments);
        process.waitForFinished(60000);
        return QString::fromUtf8(process.readAll());
    }

    QTemporaryDir folder;
};

TEST_F(EngineOutputFormTest, SaysWhyFirstMarksTheFailureAndLeavesTheBannerOut)
{
    engine({"-v", "error", "-f", "lavfi", "-i", "testsrc=d=1:s=160x120", "-c:v", "wmv2", "in.wmv"});
    engine({"-v", "error", "-f", "lavfi", "-i", "testsrc=d=1:s=160x120", "-c:v", "mpeg4", "in.avi"});
    const struct
    {
        const char *name;
        QStringList arguments;
        QString sentence; // empty: nothing names a failure
        QString failureLine;
        bool longerThanWindow = true;
    } cases[] = {
        {"copied into a container that cannot hold it",
         {"-y", "-i", "in.wmv", "-vcodec", "copy", "out.mp4"},
         QStringLiteral("WMV2 video cannot be copied into MP4: choose a converting MP4 profile or the \"MKV Copy "
                        "Streams\" profile."),
         QStringLiteral("Could not find tag for codec wmv2 in stream #0")},
        {"no such input",
         {"-y", "-i", "gone.avi", "out.mp4"},
         QStringLiteral("\"gone.avi\" does not exist: it may have been moved, renamed or deleted."),
         QStringLiteral("gone.avi: No such file or directory"), false},
        {"a conversion that went well", {"-y", "-i", "in.avi", "-vcodec", "mpeg4", "out.mkv"}, QString(), QString()},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString output = engine(c.arguments);
        ASSERT_TRUE(output.contains(QStringLiteral("libavutil"))) << output.toStdString();
        EngineOutputForm form;
        form.resize(320, 200);
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        form.showOutput(folder.filePath(QStringLiteral("in.avi")), output);
        auto *memo = form.findChild<QPlainTextEdit *>(QStringLiteral("memOutput"));
        ASSERT_NE(memo, nullptr);

        const QStringList lines = form.text().split(QLatin1Char('\n'));
        if (c.sentence.isEmpty())
            EXPECT_TRUE(lines.first().startsWith(QStringLiteral("Input #0"))) << lines.first().toStdString();
        else
            EXPECT_EQ(lines.first(), c.sentence);
        for (const QString &line : lines)
            EXPECT_FALSE(line.contains(QStringLiteral("libavutil")) || line.contains(QStringLiteral("configuration:"))
                         || line.contains(QStringLiteral("built with")) || line.startsWith(QStringLiteral("ffmpeg version")))
                << line.toStdString();
        // Marked lines: a sign a screen reader reads, and bold. The rest is plain.
        int marked = 0;
        QTextBlock block = memo->document()->begin();
        if (!c.sentence.isEmpty())
            block = block.next();
        for (; block.isValid(); block = block.next()) {
            const bool mark = block.text().startsWith(EngineOutputForm::FailureMark);
            EXPECT_EQ(block.begin().fragment().charFormat().fontWeight() == QFont::Bold, mark) << block.text().toStdString();
            if (!c.failureLine.isEmpty() && block.text().contains(c.failureLine)) {
                EXPECT_TRUE(mark) << block.text().toStdString();
            }
            marked += mark ? 1 : 0;
        }
        EXPECT_EQ(marked > 0, !c.failureLine.isEmpty());

        // Wrapped and at the top, though longer than the window.
        EXPECT_EQ(memo->lineWrapMode(), QPlainTextEdit::WidgetWidth);
        EXPECT_EQ(memo->horizontalScrollBar()->maximum(), 0);
        EXPECT_EQ(memo->verticalScrollBar()->maximum() > 0, c.longerThanWindow);
        EXPECT_EQ(memo->verticalScrollBar()->value(), 0);

        // A report needs the banner: Copy gives the engine's words whole.
        QGuiApplication::clipboard()->clear();
        QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("btnCopy")), Qt::LeftButton);
        EXPECT_EQ(QGuiApplication::clipboard()->text(), c.sentence.isEmpty() ? output : c.sentence + '\n' + output);
    }
}

} // namespace
