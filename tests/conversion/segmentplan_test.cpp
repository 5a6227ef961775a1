#include "conversion/segmentedjob.h"
#include "conversion/segmentplan.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(SegmentPlan, OnlyAWholeLongTaskWhoseFormatJoinsWithoutConvertingGoesInSegments)
{
    ltvItemData whole;
    whole.LengthSecs = 600;
    whole.ClipLengthSecs = 600;
    ltvItemData ranged = whole;
    ranged.StartSecs = 10;
    ranged.ClipLengthSecs = 590;
    const QString h264 = QStringLiteral(" -vcodec libx264 -acodec aac -b:a 128k -preset medium -movflags +faststart");
    const struct
    {
        ltvItemData task;
        QString params;
        QString output;
        double segmentSecs;
        bool segments;
    } cases[] = {
        {whole, h264, "/o/a.mp4", 60, true},
        {whole, h264, "/o/a.mp4", 0, false},   // off
        {whole, h264, "/o/a.mp4", 600, false}, // not longer than a segment
        {ranged, h264, "/o/a.mp4", 60, false}, // a range of its own
        {whole, h264, "/o/a.avi", 60, false},  // a format not joined here
        {whole, " -c:v libx265 -c:a aac", "/o/a.mkv", 60, true},
        {whole, " -c:v libvpx-vp9 -c:a libopus", "/o/a.webm", 60, true},
        {whole, " -vcodec mpeg4 -acodec mp2 -f mpegts", "/o/a.ts", 60, true},
        {whole, " -vcodec mpeg2video -acodec mp2", "/o/a.ts", 60, false}, // an encoder not joined here
        {whole, " -c copy", "/o/a.mkv", 60, false},
        {whole, " -vcodec copy -acodec aac", "/o/a.mp4", 60, false},
        {whole, h264 + " -r 30", "/o/a.mp4", 60, false},           // other frames
        {whole, h264 + " -vf \"scale=640:-2,fps=24\"", "/o/a.mp4", 60, false},
        {whole, h264 + " -vf scale=640:-2", "/o/a.mp4", 60, true}, // the same frames, smaller
        {whole, h264 + " -map 0:0 -map 0:1", "/o/a.mp4", 60, false},
        {whole, h264 + " -fs 1000", "/o/a.mp4", 60, false},
        {whole, " -vn -acodec aac", "/o/a.mp4", 60, false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ConvertsInSegments(c.task, c.params, c.output, c.segmentSecs), c.segments)
            << qPrintable(c.params) << " " << qPrintable(c.output) << " " << c.segmentSecs;
}

TEST(SegmentPlan, TheRecordKeepsWhatIsDoneAndItsIdentityFollowsTheInputAndTheSettings)
{
    QTemporaryDir folder;
    const QString input = folder.filePath(QStringLiteral("in.mp4"));
    QFile file(input);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(3 << 20, 'x'));
    file.close();
    const SegmentIdentity identity = IdentityOf(input, QStringLiteral(" -vcodec libx264"), 60, input);

    SegmentRecord record;
    record.identity = identity;
    record.cut = true;
    record.inputFrames = 250;
    record.pieces = *ParseSegmentList("piece00000.nut,0.000000,6.000000\npiece00001.nut,6.000000,10.000000\n");
    record.pieces[0].done = true;
    const std::optional<SegmentRecord> read = SegmentRecord::FromJson(record.toJson());
    ASSERT_TRUE(read);
    EXPECT_EQ(read->identity, identity);
    EXPECT_EQ(read->pieces.size(), 2);
    EXPECT_TRUE(read->pieces[0].done);
    EXPECT_FALSE(read->pieces[1].done);
    EXPECT_DOUBLE_EQ(read->doneShare(), 0.6);

    // A name that leads out of the folder is no record of ours.
    EXPECT_FALSE(SegmentRecord::FromJson(QString::fromUtf8(record.toJson())
                                             .replace(QStringLiteral("piece00001.nut"), QStringLiteral("../x"))
                                             .toUtf8()));
    EXPECT_FALSE(ParseSegmentList("piece00000.nut,0,x\n"));
    EXPECT_FALSE(ParseSegmentList("../piece.nut,0,1\n"));

    // Other settings, another length, the last MiB changed: another identity.
    EXPECT_NE(IdentityOf(input, QStringLiteral(" -vcodec libx265"), 60, input), identity);
    EXPECT_NE(IdentityOf(input, QStringLiteral(" -vcodec libx264"), 30, input), identity);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    file.seek(file.size() - 10);
    file.write("y");
    file.close();
    // (the same size and, to the second, perhaps the same time: the hash tells)
    SegmentIdentity changed = IdentityOf(input, QStringLiteral(" -vcodec libx264"), 60, input);
    EXPECT_NE(changed.inputEnds, identity.inputEnds);
}

TEST(SegmentPlan, RemovingTheFolderTakesOnlyItsOwnFiles)
{
    QTemporaryDir output;
    const QString ours = output.filePath(SegmentFolderName(QStringLiteral("/in/a.mp4"), QStringLiteral("/o/a.mp4")));
    const QString theirs = output.filePath(QStringLiteral("holiday"));
    for (const QString &folder : {ours, theirs}) {
        ASSERT_TRUE(QDir().mkpath(folder));
        for (const char *name : {"record.json", "piece00001.nut", "segment00001.mp4", "audio.mp4", "notes.txt"}) {
            QFile file(folder + QLatin1Char('/') + QLatin1String(name));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        }
    }
    SegmentedEngine::RemoveFolder(ours);
    SegmentedEngine::RemoveFolder(theirs);
    // A file of the user's keeps the folder; a folder not named as ours is left whole.
    EXPECT_EQ(QDir(ours).entryList(QDir::Files), QStringList{QStringLiteral("notes.txt")});
    EXPECT_EQ(QDir(theirs).entryList(QDir::Files).size(), 5);
    QFile::remove(ours + QStringLiteral("/notes.txt"));
    SegmentedEngine::RemoveFolder(ours);
    EXPECT_FALSE(QFileInfo::exists(ours));
}

} // namespace
