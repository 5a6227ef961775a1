#pragma once

#include <QPointer>
#include <QSlider>

#include <optional>

class PreviewPlayer;
class QTimer;

// The preview's seek bar: whole seconds, one tick mark each. While the player
// plays it follows the playback position once a second; its timer runs only
// then, not while paused, stopped or resting at the end. Releasing the thumb
// after a drag or a click on the channel seeks there. Keyboard changes move
// only the thumb (the next tick puts it back).
class SeekBar final : public QSlider
{
    Q_OBJECT
public:
    // The timer's period and the bar's unit, milliseconds.
    static constexpr int TimerInterval = 1000;

    explicit SeekBar(QWidget *parent = nullptr);
    Q_DISABLE_COPY_MOVE(SeekBar)

    // Links the bar to the player: it seeks in the player while the player is
    // active and runs its timer while the player plays.
    void setPlayer(PreviewPlayer *player);

    bool isDragging() const { return m_dragging; }
    bool isTimerRunning() const;
    // One tick of the timer: range and thumb from the player's length and
    // position, then timer().
    void tick();

    // Where a release of the thumb at `position` of `maximum` seeks to, in
    // milliseconds of a file whose end is at stopMs; nothing while the bar
    // has no length.
    static std::optional<qint64> SeekTarget(qint64 stopMs, int position, int maximum);

signals:
    // After each tick that read the player: its position and its end, ms.
    void timer(quint32 currentPos, quint32 stopPos);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void startTimer();
    void stopTimer();

    QTimer *m_timer = nullptr;
    QPointer<PreviewPlayer> m_player;  // linked
    QPointer<PreviewPlayer> m_seeking; // held while the player is active
    bool m_dragging = false;
};
