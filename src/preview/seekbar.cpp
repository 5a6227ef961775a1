#include "preview/seekbar.h"

#include "preview/previewplayer.h"

#include <QMouseEvent>
#include <QTimer>

SeekBar::SeekBar(QWidget *parent)
    : QSlider(Qt::Horizontal, parent)
{
    setObjectName(QStringLiteral("TrackBar"));
    setRange(0, 10);
    setValue(0);
    setSingleStep(1);
    setPageStep(2);
    setTickPosition(QSlider::TicksAbove);
    setTickInterval(1);
    m_timer = new QTimer(this);
    m_timer->setInterval(TimerInterval);
    connect(m_timer, &QTimer::timeout, this, &SeekBar::tick);
}

void SeekBar::setPlayer(PreviewPlayer *player)
{
    if (m_player)
        m_player->disconnect(this);
    m_player = player;
    m_seeking = player && player->isActive() ? player : nullptr;
    if (!player)
        return;
    connect(player, &PreviewPlayer::activated, this, [this] { m_seeking = m_player; });
    connect(player, &PreviewPlayer::deactivated, this, [this] {
        stopTimer();
        m_seeking = nullptr;
    });
    connect(player, &PreviewPlayer::aboutToPlay, this, [this] {
        if (isEnabled())
            startTimer();
    });
    connect(player, &PreviewPlayer::aboutToPause, this, &SeekBar::stopTimer);
    connect(player, &PreviewPlayer::aboutToStop, this, &SeekBar::stopTimer);
    // At the end nothing moves until a seek or a new preview: the thumb goes
    // to the end once and the timer rests.
    connect(player, &PreviewPlayer::ended, this, [this] {
        stopTimer();
        tick();
    });
}

bool SeekBar::isTimerRunning() const
{
    return m_timer->isActive();
}

void SeekBar::startTimer()
{
    m_timer->stop();
    m_timer->start();
}

void SeekBar::stopTimer()
{
    m_timer->stop();
}

void SeekBar::tick()
{
    if (!m_seeking || m_dragging)
        return;
    const auto stopMs = static_cast<quint32>(m_seeking->duration());
    const auto currentMs = static_cast<quint32>(m_seeking->position());
    setRange(0, static_cast<int>(stopMs / TimerInterval));
    setValue(static_cast<int>(currentMs / TimerInterval));
    emit timer(currentMs, stopMs);
}

std::optional<qint64> SeekBar::SeekTarget(qint64 stopMs, int position, int maximum)
{
    if (maximum == 0)
        return std::nullopt;
    return stopMs * position / maximum;
}

void SeekBar::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        m_dragging = true;
    QSlider::mousePressEvent(event);
}

void SeekBar::mouseReleaseEvent(QMouseEvent *event)
{
    QSlider::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && m_seeking) {
        if (const std::optional<qint64> target = SeekTarget(m_seeking->duration(), value(), maximum()))
            m_seeking->setPosition(*target);
    }
    m_dragging = false;
}
