#include "fakes/recorders.h"
#include "preview/previewpanel.h"
#include "fakes/clips.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>

namespace {

// Before the playback service starts: it finds no decoder for MPEG-4 video.
// The service loads such a file without an error and plays it without its
// picture; the player must notice.
const bool s_decoderHidden = [] {
    qputenv("GST_PLUGIN_FEATURE_RANK", "avdec_mpeg4:NONE,avdec_mpeg4_vdpau:NONE");
    return true;
}();

} // namespace

TEST(MissingDecoderTest, AVideoWithoutDecoderIsReportedAndPlaysNothing)
{
    ASSERT_TRUE(s_decoderHidden);
    QTemporaryDir dir;
    const QString clip = dir.filePath(QStringLiteral("clip.avi"));
    ASSERT_TRUE(makeClip(clip, 3));

    RecordingInteractive interactive;
    PreviewPanel panel(interactive);
    panel.show();
    panel.previewFile(clip);
    ASSERT_TRUE(waitFor([&] { return !interactive.messages.isEmpty(); }));
    QTest::qWait(300);
    ASSERT_EQ(interactive.messages.size(), 1);
    EXPECT_TRUE(interactive.messages.first().startsWith(QStringLiteral("error||No decoder")))
        << interactive.messages.first().toStdString();
    EXPECT_TRUE(interactive.messages.first().endsWith(QStringLiteral(" ($2).")));
    EXPECT_NE(panel.state(), PreviewPlayer::State::Playing);
}
