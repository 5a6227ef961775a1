#include "app/picturebutton.h"

#include <QMouseEvent>
#include <QPainter>

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

void PictureButton::mousePressEvent(QMouseEvent *event)
{
    m_pressed = true;
    event->accept();
}

void PictureButton::mouseReleaseEvent(QMouseEvent *event)
{
    const bool click = m_pressed && rect().contains(event->position().toPoint());
    m_pressed = false;
    event->accept();
    if (click)
        emit clicked();
}
