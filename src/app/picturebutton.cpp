#include "app/picturebutton.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleHints>

PictureButton::PictureButton(QSize size, QWidget *parent)
    : QWidget(parent)
    , m_size(size)
{
    setFixedSize(size);
    setAttribute(Qt::WA_Hover);
}

void PictureButton::setPicture(const QPixmap &picture)
{
    m_picture = picture;
    update();
}

void PictureButton::shareClicks(PictureButton *one, PictureButton *other)
{
    other->m_lastClick = one->m_lastClick;
}

void PictureButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_picture);
}

// A move over the picture is the picture's: it does not pass on to the
// panel below, which would take it for a move over its own background.
void PictureButton::mouseMoveEvent(QMouseEvent *event)
{
    event->accept();
}

bool PictureButton::isSecondPress(const QMouseEvent *event) const
{
    if (!m_lastClick->valid || event->timestamp() < m_lastClick->timestamp)
        return false;
    const QStyleHints *hints = QGuiApplication::styleHints();
    if (event->timestamp() - m_lastClick->timestamp >= static_cast<quint64>(hints->mouseDoubleClickInterval()))
        return false;
    return (event->globalPosition() - m_lastClick->globalPosition).manhattanLength()
           <= hints->mouseDoubleClickDistance();
}

void PictureButton::mousePressEvent(QMouseEvent *event)
{
    // Other buttons' presses are the picture's too, but never click.
    event->accept();
    if (event->button() != Qt::LeftButton)
        return;
    if (isSecondPress(event)) {
        // A third quick press starts a click again.
        m_lastClick->valid = false;
        return;
    }
    m_pressed = true;
    m_pressTimestamp = event->timestamp();
    m_pressPosition = event->globalPosition();
}

void PictureButton::mouseDoubleClickEvent(QMouseEvent *event)
{
    event->accept();
}

void PictureButton::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
    if (event->button() != Qt::LeftButton)
        return;
    const bool click = m_pressed && rect().contains(event->position().toPoint());
    m_pressed = false;
    if (!click)
        return;
    *m_lastClick = {true, m_pressTimestamp, m_pressPosition};
    emit clicked();
}
