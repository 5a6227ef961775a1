#pragma once

#include "preview/previewplayer.h"

#include <QWidget>

class IInteractive;
class QLabel;
class QToolButton;
class QVideoWidget;
class SeekBar;

// The row that Play previews in a list of rowCount rows of which the given
// rows are selected: the lowest selected row, row 0 when none is selected,
// -1 for an empty list.
int PlayRow(int rowCount, const QList<int> &selectedRows);

// The preview panel: a black video area above a strip with the seek bar,
// Play, Pause / Resume and Stop, and the playback time. It plays one file at
// a time; which file is the main window's choice (playClicked()).
class PreviewPanel final : public QWidget
{
    Q_OBJECT
public:
    static constexpr int DesignWidth = 200;
    static constexpr int DesignHeight = 177;
    static constexpr int StripHeight = 54;
    static constexpr int MarginWidth = 10;

    explicit PreviewPanel(IInteractive &interactive, QWidget *parent = nullptr);
    ~PreviewPanel() override;
    Q_DISABLE_COPY_MOVE(PreviewPanel)

    // Plays a file from its beginning, replacing what played before. A file
    // that cannot be played is reported with IInteractive::error and plays
    // nothing.
    void previewFile(const QString &path);
    // Playing: pause; paused: play on; otherwise nothing.
    void pauseOrResume();
    // Stops playback; the seek bar and the time keep their values.
    void stop();

    PreviewPlayer &player() { return m_player; }
    PreviewPlayer::State state() const { return m_player.state(); }
    // True while a file is loading to be played.
    bool isStarting() const { return m_playWhenRendered; }
    QString timeText() const;
    SeekBar *seekBar() const { return TrackBar; }
    // The video surface, made by the first preview; null until then.
    QVideoWidget *videoWindow() const { return m_video; }

    QSize sizeHint() const override { return {DesignWidth, DesignHeight}; }

signals:
    // The Play button: the main window picks the row and calls previewFile().
    void playClicked();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void sbtnPauseClick();
    void sbtnStopClick();
    void TrackBarTimer();
    void onRendered();
    void onFailed(const PreviewError &error);
    void layoutChildren();
    void makeVideoWindow();

    IInteractive &m_interactive;
    PreviewPlayer m_player;
    bool m_playWhenRendered = false;

    // The video area: a black stand-in, then the video surface.
    QWidget *VideoWindow1 = nullptr;
    QVideoWidget *m_video = nullptr;
    QWidget *panRight1 = nullptr;
    QWidget *panPreviewButton = nullptr;
    SeekBar *TrackBar = nullptr;
    QToolButton *sbtnPlay = nullptr;
    QToolButton *sbtnPause = nullptr;
    QToolButton *sbtnStop = nullptr;
    QLabel *imgPreviewTime = nullptr;
    QLabel *labPreviewTime = nullptr;
};
