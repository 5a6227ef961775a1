#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <optional>

class QAudioOutput;
class QMediaPlayer;
class QVideoWidget;

// Why a file cannot be previewed: the player's own text and its error code.
struct PreviewError
{
    int code = 0;
    QString text;

    // As the message box shows it: the text followed by " ($<code in hex>).".
    QString message() const;
};

// The media player behind the preview: one file at a time, its picture in a
// video area given by the panel, its sound on the default audio output.
//
// Loading a file is asynchronous: render() starts it, and either
// fileRendered() or failed() follows from the event loop. A file whose video
// stream has no decoder fails too (the playback service itself would play
// such a file silently without its picture). Play, pause, stop and state do
// nothing (state reports Uninitialised) until the player is activated.
//
// At the end of a file the player rests there and still counts as playing:
// pause and resume switch between playing and paused without moving, and a
// seek plays (or, paused, shows) the file from the new position again.
class PreviewPlayer final : public QObject
{
    Q_OBJECT
public:
    enum class State { Uninitialised, Stopped, Paused, Playing };
    Q_ENUM(State)

    // Codes of failed(): the playback service's error numbers.
    static constexpr int ResourceErrorCode = 1;
    static constexpr int FormatErrorCode = 2;

    explicit PreviewPlayer(QObject *parent = nullptr);
    ~PreviewPlayer() override;
    Q_DISABLE_COPY_MOVE(PreviewPlayer)

    // The video area the picture goes to; set before activate().
    void setVideoOutput(QVideoWidget *video);

    bool isActive() const { return m_player != nullptr; }
    // Creates the playback service with its audio output on first use.
    void activate();
    // Drops the playback service again; the player is as before activate().
    void deactivate();

    // Stops and unloads the file; the video area turns black.
    void clear();
    // Starts loading a file given by its path.
    void render(const QString &path);
    // True between render() and its fileRendered() or failed().
    bool isRendering() const { return m_rendering; }
    // False when the player is not active.
    bool play();
    void pause();
    void stop();
    State state() const;
    // True while the player rests at the end of the file.
    bool isAtEnd() const { return m_atEnd.has_value(); }

    bool hasVideo() const;
    bool hasAudio() const;
    // Milliseconds: the length of the loaded file, the playback position
    // (the length at the end of the file).
    qint64 duration() const;
    qint64 position() const;
    // Seeks; at the end of the file playback goes on from there.
    void setPosition(qint64 milliseconds);
    // The path of the file loaded last; empty when none is.
    QString source() const;

signals:
    void activated();
    void deactivated();
    void fileRendering();
    void fileRendered();
    // At most once per rendered file: loading or playback failed.
    void failed(const PreviewError &error);
    // Sent just before the playback service is told to play, pause or stop.
    void aboutToPlay();
    void aboutToPause();
    void aboutToStop();
    void stateChanged(PreviewPlayer::State state);
    // Playback has reached the end of the file; the state stays playing.
    void ended();

private:
    void onMediaStatusChanged();
    void onPlaybackStateChanged();
    void reportState();
    // Stops the playback service itself (not the player's own stop).
    void stopService();
    void onError(int code, const QString &text);
    void fail(const PreviewError &error);
    bool missingVideoDecoder(QString *codec) const;

    QPointer<QVideoWidget> m_video;
    QMediaPlayer *m_player = nullptr;
    QAudioOutput *m_audio = nullptr;
    bool m_rendering = false;
    bool m_failed = false;
    // The service's own stop is under way: the stop is not the file's end.
    bool m_stopping = false;
    // While resting at the end of the file: playing or paused there.
    std::optional<State> m_atEnd;
    State m_reported = State::Uninitialised;
};
