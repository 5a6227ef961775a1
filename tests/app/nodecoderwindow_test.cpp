// The preview in the main window on a machine without a decoder for MPEG-4
// video. In a transport stream the playback service names the video codec
// but reports no frame size for a stream it cannot decode; the tone alone
// would play without a word.
#include "windowfixture.h"

#include <QTreeView>

namespace {

// Before the playback service starts: it finds no decoder for MPEG-4 video.
const bool s_decoderHidden = [] {
    qputenv("GST_PLUGIN_FEATURE_RANK", "avdec_mpeg4:NONE,avdec_mpeg4_vdpau:NONE");
    return true;
}();

using NoDecoderWindowTest = WindowTest;

TEST_F(NoDecoderWindowTest, AVideoWhoseCodecIsNamedButNotSizedIsReported)
{
    ASSERT_TRUE(s_decoderHidden);
    // MPEG-4 video and MPEG audio in a transport stream, under a name the
    // task list takes.
    const QString clip = folder.filePath(QStringLiteral("in/clip.mpg"));
    QDir().mkpath(folder.filePath(QStringLiteral("in")));
    ASSERT_TRUE(runEngine({"-f", "lavfi", "-i", "testsrc=size=320x240:rate=25", "-f", "lavfi", "-i",
                           "sine=frequency=440", "-t", "3", "-c:v", "mpeg4", "-c:a", "mp2", "-f", "mpegts"},
                          clip));
    TMainForm &form = open();
    form.AddTaskFile(clip);
    ASSERT_TRUE(waitAdded());
    child<QTreeView>("ltvTask")->selectionModel()->select(form.tasks().index(0, 0),
                                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    form.PreviewSelectedTask();
    ASSERT_TRUE(waitFor([&] { return !interactive.messages.isEmpty(); }));
    EXPECT_TRUE(interactive.messages.first().startsWith(QStringLiteral("error||No decoder is installed for the "
                                                                       "video stream")))
        << interactive.messages.first().toStdString();
}

} // namespace
