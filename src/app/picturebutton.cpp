#include "app/picturebutton.h"

#include <QAccessibleWidget>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleHints>

namespace {

// A screen reader announces a picture button as a button that can be pressed.
class AccessiblePictureButton final : public QAccessibleWidget
{
public:
    explicit AccessiblePictureButton(PictureButton *button)
        : QAccessibleWidget(button, QAccessible::Button)
    {
        addControllingSignal(QStringLiteral("clicked()"));
    }
    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        if (static_cast<PictureButton *>(widget())->isCovered())
            state.invisible = true;
        return state;
    }
    QStringList actionNames() const override { return QAccessibleWidget::actionNames() << pressAction(); }
    void doAction(const QString &action) override
    {
        if (action == pressAction() && widget()->isEnabled())
            emit static_cast<PictureButton *>(widget())->clicked();
        else
            QAccessibleWidget::doAction(action);
    }
};

QAccessibleInterface *accessibleFor(const QString &className, QObject *object)
{
    if (className == QLatin1String("PictureButton") && object->isWidgetType())
        return new AccessiblePictureButton(static_cast<PictureButton *>(object));
    return nullptr;
}

} // namespace

PictureButton::PictureButton(QSize size, QWidget *parent)
    : QWidget(parent)
    , m_size(size)
{
    static const bool accessible = (QAccessible::installFactory(accessibleFor), true);
    Q_UNUSED(accessible)
    setFixedSize(size);
    setAttribute(Qt::WA_Hover);
    // Reached with Tab and pressed with Space or Enter, as a push button is.
    setFocusPolicy(Qt::TabFocus);
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

void PictureButton::setCovered(bool covered)
{
    if (covered == m_covered)
        return;
    m_covered = covered;
    setFocusPolicy(covered ? Qt::NoFocus : Qt::TabFocus);
    if (covered && hasFocus())
        clearFocus();
    QAccessible::State changed;
    changed.invisible = true;
    QAccessibleStateChangeEvent event(this, changed);
    QAccessible::updateAccessibility(&event);
}

void PictureButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_picture);
    if (hasFocus()) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void PictureButton::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
            event->accept();
            if (!event->isAutoRepeat())
                emit clicked();
            return;
        }
        break;
    default:
        break;
    }
    QWidget::keyPressEvent(event);
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
