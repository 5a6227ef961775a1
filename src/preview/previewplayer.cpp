#include "preview/previewplayer.h"

#include <QAudioOutput>
#include <QMediaMetaData>
#include <QMediaPlayer>
#include <QUrl>
#include <QVideoFrame>
#include <QVideoSink>
#include <QVideoWidget>

QString PreviewError::message() const
{
    return text + QStringLiteral(" ($%1).").arg(QString::number(static_cast<uint>(code), 16));
}

PreviewPlayer::PreviewPlayer(QObject *parent)
    : QObject(parent)
{
}

PreviewPlayer::~PreviewPlayer()
{
    deactivate();
}

void PreviewPlayer::setVideoOutput(QVideoWidget *video)
{
    m_video = video;
    if (m_player)
        m_player->setVideoOutput(video);
}

void PreviewPlayer::activate()
{
    if (m_player)
        return;
    m_player = new QMediaPlayer(this);
    // Always an audio output: without one the service cannot play a file
    // that has only sound. On a machine without a sound device it plays the
    // picture and drops the sound.
    m_audio = new QAudioOutput(this);
    m_audio->setVolume(1.0f);
    m_player->setAudioOutput(m_audio);
    if (m_video)
        m_player->setVideoOutput(m_video.data());
    connect(m_player, &QMediaPlayer::mediaStatusChanged, this, &PreviewPlayer::onMediaStatusChanged);
    connect(m_player, &QMediaPlayer::errorOccurred, this,
            [this](QMediaPlayer::Error error, const QString &text) { onError(static_cast<int>(error), text); });
    connect(m_player, &QMediaPlayer::playbackStateChanged, this, &PreviewPlayer::onPlaybackStateChanged);
    emit activated();
    reportState();
}

void PreviewPlayer::deactivate()
{
    if (!m_player)
        return;
    emit deactivated();
    m_player->disconnect(this);
    m_player->stop();
    delete m_player;
    m_player = nullptr;
    delete m_audio;
    m_audio = nullptr;
    m_rendering = false;
    m_atEnd.reset();
    m_reported = State::Uninitialised;
}

void PreviewPlayer::clear()
{
    if (!m_player)
        return;
    stop();
    m_rendering = false;
    m_failed = false;
    m_stopping = true;
    m_player->setSource(QUrl());
    m_stopping = false;
    // The last picture of the previous file would otherwise stay.
    if (m_video && m_video->videoSink())
        m_video->videoSink()->setVideoFrame(QVideoFrame());
}

void PreviewPlayer::render(const QString &path)
{
    if (!m_player)
        return;
    m_rendering = true;
    m_failed = false;
    m_atEnd.reset();
    reportState();
    emit fileRendering();
    m_player->setSource(QUrl::fromLocalFile(path));
}

bool PreviewPlayer::play()
{
    if (!m_player)
        return false;
    if (m_atEnd) {
        // Nothing is left to play: only the state changes.
        m_atEnd = State::Playing;
        reportState();
        return true;
    }
    emit aboutToPlay();
    m_player->play();
    return m_player->error() == QMediaPlayer::NoError;
}

void PreviewPlayer::pause()
{
    if (!m_player)
        return;
    emit aboutToPause();
    if (m_atEnd) {
        // The service would go back to the start: the position stays.
        m_atEnd = State::Paused;
        reportState();
        return;
    }
    m_player->pause();
}

void PreviewPlayer::stop()
{
    if (!m_player)
        return;
    emit aboutToStop();
    m_atEnd.reset();
    stopService();
    reportState();
}

void PreviewPlayer::stopService()
{
    m_stopping = true;
    m_player->stop();
    m_stopping = false;
}

PreviewPlayer::State PreviewPlayer::state() const
{
    if (!m_player)
        return State::Uninitialised;
    if (m_atEnd)
        return *m_atEnd;
    switch (m_player->playbackState()) {
    case QMediaPlayer::PlayingState:
        return State::Playing;
    case QMediaPlayer::PausedState:
        return State::Paused;
    case QMediaPlayer::StoppedState:
        break;
    }
    return State::Stopped;
}

bool PreviewPlayer::hasVideo() const
{
    return m_player && m_player->hasVideo();
}

bool PreviewPlayer::hasAudio() const
{
    return m_player && m_player->hasAudio();
}

qint64 PreviewPlayer::duration() const
{
    return m_player ? m_player->duration() : 0;
}

qint64 PreviewPlayer::position() const
{
    if (!m_player)
        return 0;
    return m_atEnd ? m_player->duration() : m_player->position();
}

void PreviewPlayer::setPosition(qint64 milliseconds)
{
    if (!m_player)
        return;
    m_player->setPosition(milliseconds);
    if (!m_atEnd)
        return;
    // The service has stopped at the end: it goes on from the new position
    // in the state the player shows. Seeking first keeps it from going back
    // to the start.
    const State resume = *m_atEnd;
    m_atEnd.reset();
    if (resume == State::Playing) {
        emit aboutToPlay();
        m_player->play();
    } else {
        m_player->pause();
    }
    reportState();
}

void PreviewPlayer::onPlaybackStateChanged()
{
    // The service stops by itself at the end of the file (before it reports
    // the end as a media status). The player rests there, still playing.
    if (m_player->playbackState() == QMediaPlayer::StoppedState && !m_stopping && m_reported == State::Playing
        && !m_atEnd) {
        m_atEnd = State::Playing;
        emit ended();
        return;
    }
    reportState();
}

void PreviewPlayer::reportState()
{
    const State now = state();
    if (now == m_reported)
        return;
    m_reported = now;
    emit stateChanged(now);
}

// The service names the codec of every stream of the container, decodable or
// not, but reports a video stream only when it found a decoder for it.
bool PreviewPlayer::missingVideoDecoder(QString *codec) const
{
    const QMediaMetaData data = m_player->metaData();
    const QString name = data.stringValue(QMediaMetaData::VideoCodec);
    const bool described = !name.isEmpty() || data.value(QMediaMetaData::Resolution).toSize().isValid();
    if (codec)
        *codec = name;
    return described && !m_player->hasVideo();
}

void PreviewPlayer::onMediaStatusChanged()
{
    const QMediaPlayer::MediaStatus status = m_player->mediaStatus();
    if (status == QMediaPlayer::InvalidMedia) {
        fail({ResourceErrorCode, m_player->errorString().isEmpty() ? tr("The file cannot be played.")
                                                                   : m_player->errorString()});
        return;
    }
    if (!m_rendering || (status != QMediaPlayer::LoadedMedia && status != QMediaPlayer::BufferedMedia))
        return;
    m_rendering = false;
    QString codec;
    if (missingVideoDecoder(&codec)) {
        stopService();
        fail({FormatErrorCode, codec.isEmpty()
                                   ? tr("No decoder is installed for the video stream.")
                                   : tr("No decoder is installed for the video stream (%1).").arg(codec)});
        return;
    }
    if (!m_player->hasVideo() && !m_player->hasAudio()) {
        fail({FormatErrorCode, tr("The file has no stream that can be played.")});
        return;
    }
    m_audio->setVolume(1.0f);
    m_player->setPlaybackRate(1.0);
    emit fileRendered();
}

void PreviewPlayer::onError(int code, const QString &text)
{
    fail({code, text.isEmpty() ? tr("The file cannot be played.") : text});
}

void PreviewPlayer::fail(const PreviewError &error)
{
    m_rendering = false;
    if (m_failed)
        return;
    m_failed = true;
    emit failed(error);
}

QString PreviewPlayer::source() const
{
    return m_player ? m_player->source().toLocalFile() : QString();
}
