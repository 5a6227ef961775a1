#include "app/imagetoolbar.h"

#include "app/picturebutton.h"

#include <QEvent>
#include <QMouseEvent>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace {

QPixmap stripPicture(const QPixmap &strip, int index, int width, int height)
{
    return strip.copy(index * width, 0, width, height);
}

QPointF positionOf(QEvent *event)
{
    return static_cast<QMouseEvent *>(event)->position();
}

} // namespace

// ---------------------------------------------------------------------------
// The row of round buttons

ImageToolbar::ImageToolbar(QWidget *toolbar, const QList<PictureButton *> &buttons, const QList<QWidget *> &gaps)
    : QObject(toolbar)
    , m_toolbar(toolbar)
    , m_buttons(buttons)
    , m_gaps(gaps)
{
    setObjectName(QStringLiteral("ImageToolbar"));
    setStrips(QPixmap(QStringLiteral(":/pictures/toolbar-normal.png")),
              QPixmap(QStringLiteral(":/pictures/toolbar-hover.png")),
              QPixmap(QStringLiteral(":/pictures/toolbar-pressed.png")));
    // Moves without a pressed button reach only widgets that track the mouse.
    m_toolbar->setMouseTracking(true);
    m_toolbar->installEventFilter(this);
    for (QWidget *gap : m_gaps) {
        gap->setMouseTracking(true);
        gap->installEventFilter(this);
    }
    for (PictureButton *button : m_buttons) {
        button->setMouseTracking(true);
        button->installEventFilter(this);
    }
}

void ImageToolbar::setStrips(const QPixmap &normal, const QPixmap &hover, const QPixmap &pressed)
{
    m_strips[Normal] = normal;
    m_strips[Hover] = hover;
    m_strips[Pressed] = pressed;
}

void ImageToolbar::DrawToolbarState(const QString &state)
{
    if (state == m_lastState)
        return;
    for (qsizetype i = 0; i < state.size() && i < m_buttons.size(); ++i) {
        const int look = std::clamp(state.at(i).digitValue(), 0, 2);
        m_buttons[i]->setPicture(stripPicture(m_strips[look], static_cast<int>(i), ButtonSize, ButtonSize));
    }
    m_lastState = state;
    ++m_drawCount;
}

QString ImageToolbar::stateText(int button, Look look) const
{
    QString state(m_buttons.size(), QLatin1Char('0'));
    if (button >= 0 && button < state.size())
        state[button] = QLatin1Char(static_cast<char>('0' + look));
    return state;
}

bool ImageToolbar::OnFace(const QPointF &point)
{
    const double dx = point.x() - FaceCentre;
    const double dy = point.y() - FaceCentre;
    return std::sqrt(dx * dx + dy * dy) <= FaceRadius;
}

void ImageToolbar::buttonMouseMove(int button, const QPointF &position)
{
    DrawToolbarState(OnFace(position) ? stateText(button, Hover) : stateText(-1, Normal));
}

void ImageToolbar::buttonMouseDown(int button, const QPointF &position)
{
    m_pressedButton = button;
    if (OnFace(position))
        DrawToolbarState(stateText(button, Pressed));
}

void ImageToolbar::buttonMouseUp(int button)
{
    m_pressedButton = -1;
    DrawToolbarState(stateText(button, Hover));
}

void ImageToolbar::Toolbar1MouseMove()
{
    DrawToolbarState(stateText(-1, Normal));
}

bool ImageToolbar::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseMove && type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick
        && type != QEvent::MouseButtonRelease)
        return QObject::eventFilter(watched, event);

    auto *picture = qobject_cast<PictureButton *>(watched);
    const int button = picture ? static_cast<int>(m_buttons.indexOf(picture)) : -1;
    if (button < 0) {
        // The toolbar's background or a gap panel.
        if (type == QEvent::MouseMove)
            Toolbar1MouseMove();
        return false;
    }
    if (!m_buttons[button]->isEnabled()) {
        // A disabled button is background to the pointer.
        if (type == QEvent::MouseMove)
            Toolbar1MouseMove();
        return false;
    }
    switch (type) {
    case QEvent::MouseMove:
        buttonMouseMove(button, positionOf(event));
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        buttonMouseDown(button, positionOf(event));
        break;
    case QEvent::MouseButtonRelease:
        if (m_pressedButton == button)
            buttonMouseUp(button);
        break;
    default:
        break;
    }
    // The button still gets the event: its click is its own.
    return false;
}

// ---------------------------------------------------------------------------
// Start and Stop

StartStopPictures::StartStopPictures(PictureButton *start, PictureButton *stop, QWidget *bottomRight)
    : QObject(bottomRight)
    , m_pictures{start, stop}
    , m_bottomRight(bottomRight)
{
    setObjectName(QStringLiteral("StartStopPictures"));
    setStrips(QPixmap(QStringLiteral(":/pictures/start.png")), QPixmap(QStringLiteral(":/pictures/stop.png")));
    // One replaces the other at the same place when clicked: the second
    // press of a double-click on Start must not stop the batch it started.
    PictureButton::shareClicks(start, stop);
    m_bottomRight->setMouseTracking(true);
    m_bottomRight->installEventFilter(this);
    for (PictureButton *picture : m_pictures) {
        picture->setMouseTracking(true);
        picture->installEventFilter(this);
    }
    // Start lies on top: while it is there, Stop under it is out of reach.
    stop->setCovered(!start->isHidden());
}

void StartStopPictures::setStrips(const QPixmap &start, const QPixmap &stop)
{
    m_strips[0] = start;
    m_strips[1] = stop;
}

int StartStopPictures::indexOf(const QObject *picture) const
{
    for (int i = 0; i < 2; ++i)
        if (m_pictures[i] == picture)
            return i;
    return -1;
}

int StartStopPictures::tag(const PictureButton *picture) const
{
    const int index = indexOf(picture);
    return index < 0 ? 0 : m_tags[index];
}

void StartStopPictures::draw(int index, int look)
{
    m_pictures[index]->setPicture(stripPicture(m_strips[index], look, PictureWidth, PictureHeight));
    m_tags[index] = look;
    ++m_drawCount;
}

void StartStopPictures::pictureMouseMove(PictureButton *picture)
{
    const int index = indexOf(picture);
    if (index >= 0 && m_tags[index] == 0)
        draw(index, 1);
}

void StartStopPictures::pictureMouseDown(PictureButton *picture)
{
    const int index = indexOf(picture);
    if (index < 0)
        return;
    m_pressed = index;
    if (m_tags[index] != 2)
        draw(index, 2);
}

void StartStopPictures::pictureMouseUp(PictureButton *picture)
{
    const int index = indexOf(picture);
    if (index < 0 || m_pressed != index)
        return;
    m_pressed = -1;
    if (m_tags[index] == 2)
        draw(index, 1);
}

void StartStopPictures::panBottomRightMouseMove()
{
    for (int index = 0; index < 2; ++index)
        if (!m_pictures[index]->isHidden() && m_tags[index] != 0)
            draw(index, 0);
}

bool StartStopPictures::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (watched == m_bottomRight) {
        if (type == QEvent::MouseMove)
            panBottomRightMouseMove();
        return QObject::eventFilter(watched, event);
    }
    const int index = indexOf(watched);
    if (index == 0 && (type == QEvent::ShowToParent || type == QEvent::HideToParent))
        m_pictures[1]->setCovered(!m_pictures[0]->isHidden());
    if (index < 0 || !m_pictures[index]->isEnabled())
        return QObject::eventFilter(watched, event);
    PictureButton *picture = m_pictures[index];
    switch (type) {
    case QEvent::MouseMove:
        pictureMouseMove(picture);
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        pictureMouseDown(picture);
        break;
    case QEvent::MouseButtonRelease:
        pictureMouseUp(picture);
        break;
    default:
        break;
    }
    return false;
}
