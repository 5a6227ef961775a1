#include "ui/shellhelpers.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QStyle>
#include <QTimer>

namespace {

// A tip bubble bound to one target widget. It watches the target's
// enter, leave and click events and, while the pointer is over the target,
// polls the pointer's position to find when it comes to rest.
class BalloonTip final : public QFrame
{
public:
    static constexpr int PollMs = 100;
    static constexpr int RestTicks = 10;     // a second at rest shows the tip
    static constexpr int ShownTicks = 100;   // ten seconds later it hides

    BalloonTip(QWidget *target, int icon, const QString &title, const QString &text)
        : QFrame(target, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus)
        , m_target(target)
        , m_title(title)
        , m_text(text)
    {
        setObjectName(QStringLiteral("balloonTip"));
        setAttribute(Qt::WA_ShowWithoutActivating);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFrameStyle(QFrame::Box | QFrame::Plain);
        setBackgroundRole(QPalette::ToolTipBase);
        setForegroundRole(QPalette::ToolTipText);
        setAutoFillBackground(true);

        auto *layout = new QGridLayout(this);
        layout->setContentsMargins(8, 6, 8, 6);
        layout->setHorizontalSpacing(6);
        layout->setVerticalSpacing(4);

        m_icon = new QLabel(this);
        m_icon->setObjectName(QStringLiteral("balloonIcon"));
        setIcon(icon);
        auto *titleLabel = new QLabel(title, this);
        titleLabel->setObjectName(QStringLiteral("balloonTitle"));
        titleLabel->setTextFormat(Qt::PlainText);
        QFont bold = titleLabel->font();
        bold.setBold(true);
        titleLabel->setFont(bold);
        auto *textLabel = new QLabel(text, this);
        textLabel->setObjectName(QStringLiteral("balloonText"));
        textLabel->setTextFormat(Qt::PlainText);

        layout->addWidget(m_icon, 0, 0, Qt::AlignTop);
        layout->addWidget(titleLabel, 0, 1);
        layout->addWidget(textLabel, 1, 1);
        hide();

        m_poll.setInterval(PollMs);
        QObject::connect(&m_poll, &QTimer::timeout, this, [this] { tick(); });
        target->installEventFilter(this);
        if (target->isVisible() && pointerOverTarget())
            startWatching();
    }

    bool matches(const QString &title, const QString &text) const { return m_title == title && m_text == text; }

    void setIcon(int icon)
    {
        QStyle::StandardPixmap pixmap;
        switch (icon) {
        case 1:
            pixmap = QStyle::SP_MessageBoxInformation;
            break;
        case 2:
            pixmap = QStyle::SP_MessageBoxWarning;
            break;
        case 3:
            pixmap = QStyle::SP_MessageBoxCritical;
            break;
        default:
            m_icon->clear();
            m_icon->hide();
            return;
        }
        const int size = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
        m_icon->setPixmap(style()->standardIcon(pixmap, nullptr, this).pixmap(size, size));
        m_icon->show();
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_target) {
            switch (event->type()) {
            case QEvent::Enter:
                startWatching();
                break;
            case QEvent::Leave:
            case QEvent::Hide:
                stopWatching();
                break;
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonDblClick:
            case QEvent::Wheel:
            case QEvent::KeyPress:
                dismiss();
                break;
            default:
                break;
            }
        }
        return QFrame::eventFilter(watched, event);
    }

private:
    bool pointerOverTarget() const
    {
        return m_target && m_target->rect().contains(m_target->mapFromGlobal(QCursor::pos()));
    }

    void startWatching()
    {
        m_lastPos = QCursor::pos();
        m_ticks = 0;
        m_armed = true;
        m_poll.start();
    }

    void stopWatching()
    {
        m_poll.stop();
        hide();
    }

    // Hidden until the pointer has moved and come to rest again.
    void dismiss()
    {
        hide();
        m_armed = false;
        m_ticks = 0;
    }

    void tick()
    {
        if (!m_target || !m_target->isVisible() || !pointerOverTarget()) {
            stopWatching();
            return;
        }
        const QPoint pos = QCursor::pos();
        if (pos != m_lastPos) {
            m_lastPos = pos;
            if (!isVisible()) {
                m_ticks = 0;
                m_armed = true;
            }
            return;
        }
        ++m_ticks;
        if (isVisible()) {
            if (m_ticks >= ShownTicks)
                dismiss();
        } else if (m_armed && m_ticks >= RestTicks) {
            popUp(pos);
        }
    }

    void popUp(const QPoint &pointer)
    {
        adjustSize();
        QPoint at = pointer + QPoint(0, 20);
        if (const QScreen *screen = m_target->screen()) {
            const QRect area = screen->availableGeometry();
            at.setX(qBound(area.left(), at.x(), qMax(area.left(), area.right() - width())));
            if (at.y() + height() > area.bottom())
                at.setY(pointer.y() - height() - 4);
        }
        move(at);
        show();
        raise();
        m_armed = false;
        m_ticks = 0;
    }

    QPointer<QWidget> m_target;
    QString m_title;
    QString m_text;
    QLabel *m_icon = nullptr;
    QTimer m_poll;
    QPoint m_lastPos;
    int m_ticks = 0;
    bool m_armed = false;
};

} // namespace

void AttachBalloonTip(QWidget *target, int icon, const QString &title, const QString &text)
{
    if (!target)
        return;
    const auto existing =
        target->findChildren<QWidget *>(QStringLiteral("balloonTip"), Qt::FindDirectChildrenOnly);
    for (QWidget *widget : existing) {
        if (auto *tip = dynamic_cast<BalloonTip *>(widget); tip && tip->matches(title, text)) {
            tip->setIcon(icon);
            return;
        }
    }
    new BalloonTip(target, icon, title, text);
}
