// A batch whose profile keeps all streams, against the fake engine: the
// input's streams are read before its engine starts, and what cannot be read
// is said in the row's tip.
#include "conversion/enginecommand.h"

#include "runfixture.h"

#include <QFile>
#include <QSignalSpy>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using AllStreamsRun = ConversionRunTest;

const QString AllStreams = QStringLiteral(" -vcodec libx264 -map all -b:a 128k");

TEST_F(AllStreamsRun, AnInputTheLibraryCannotReadKeepsItsVideoAndEveryAudioStream)
{
    addTask(QStringLiteral("fake"));
    runBatch(AllStreams);

    ASSERT_EQ(folder.callCount(), 1);
    const QStringList arguments = folder.arguments(1);
    EXPECT_EQ(arguments.mid(3, 8),
              QStringList({"-vcodec", "libx264", "-map", "0:v:0?", "-map", "0:a?", "-b:a", "128k"}));
    EXPECT_EQ(status(0), RowStatus::Complete);
    EXPECT_EQ(tip(0), QStringLiteral("The input's streams could not be read: its subtitles were left out."));
}

TEST_F(AllStreamsRun, AStopWhileTheStreamsAreReadStartsNoEngine)
{
    addTask(QStringLiteral("held"));
    // A pipe nobody writes to: the library's read of it waits until stopped.
    const QString input = folder.filePath(QStringLiteral("held.avi"));
    ASSERT_TRUE(QFile::remove(input));
    ASSERT_EQ(::mkfifo(QFile::encodeName(input).constData(), 0600), 0);

    QSignalSpy finished(&run, &ConversionRun::finished);
    QSignalSpy phases(&run, &ConversionRun::jobPhaseChanged);
    run.RunConversion(AllStreams);
    ASSERT_TRUE(phases.count() > 0 || phases.wait(20000));
    ASSERT_EQ(phases.last().at(1).value<ConversionJob::Phase>(), ConversionJob::Starting);
    run.requestStop();
    ASSERT_TRUE(finished.count() == 1 || finished.wait(20000));
    EXPECT_EQ(status(0), RowStatus::Stop);
    EXPECT_EQ(folder.callCount(), 0);

    // Lets the read end, so that its worker does not outlive the test.
    const int fd = ::open(QFile::encodeName(input).constData(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0)
        ::close(fd);
}

} // namespace
