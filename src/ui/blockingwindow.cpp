#include "ui/blockingwindow.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVariant>
#include <QWindow>

#include <algorithm>

namespace {

// How many windows block an owner at the moment: one may open while another
// is still closing (OK in the Settings window can bring up the size dialog),
// and the owner takes input again only when the last of them has closed.
constexpr char BlockersProperty[] = "vantorixBlockingWindows";

void block(QWidget *owner)
{
    owner->setProperty(BlockersProperty, owner->property(BlockersProperty).toInt() + 1);
    owner->setEnabled(false);
}

void unblock(QWidget *owner)
{
    const int blockers = std::max(0, owner->property(BlockersProperty).toInt() - 1);
    owner->setProperty(BlockersProperty, blockers);
    if (blockers == 0)
        owner->setEnabled(true);
}

} // namespace

BlockingWindow::BlockingWindow(QWidget *owner, const QString &caption, QSize clientSize, QWidget *parent)
    : QWidget(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint)
    , m_owner(owner)
{
    // Not a child of the owner: a disabled owner would disable this window too.
    setWindowTitle(caption);
    setFixedSize(clientSize);
    setAttribute(Qt::WA_QuitOnClose, false);
    if (owner)
        setFont(owner->font());
}

BlockingWindow::~BlockingWindow() = default;

void BlockingWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (event->spontaneous())
        return; // shown again by the system (restored), not opened
    if (m_owner) {
        // Kept above the owner, as its dialog.
        if (windowHandle() && m_owner->windowHandle())
            windowHandle()->setTransientParent(m_owner->windowHandle());
        CentreOn(this, m_owner);
        block(m_owner);
    }
    m_open = true;
    FormShow();
}

void BlockingWindow::closeEvent(QCloseEvent *event)
{
    // close() on a window that is not open changes nothing.
    if (m_open) {
        m_open = false;
        FormClose();
        if (m_owner)
            unblock(m_owner);
    }
    QWidget::closeEvent(event);
}

void BlockingWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            for (QPushButton *button : findChildren<QPushButton *>()) {
                if (button->isDefault() && button->isVisible() && button->isEnabled()) {
                    button->click();
                    return;
                }
            }
            break;
        case Qt::Key_Escape:
            close();
            return;
        default:
            break;
        }
    }
    QWidget::keyPressEvent(event);
}

void CentreOn(QWidget *window, const QWidget *owner)
{
    if (!owner)
        return;
    // A window's position is that of its frame.
    const QSize frame = window->frameGeometry().size();
    const QRect around = owner->frameGeometry();
    window->move(around.x() + (around.width() - frame.width()) / 2, around.y() + (around.height() - frame.height()) / 2);
}

void FitLabel(QLabel *label, int width)
{
    QFont font = label->font();
    const auto textWidth = [label](const QFont &f) { return QFontMetrics(f).horizontalAdvance(label->text()); };
    if (textWidth(font) > width) {
        font.setStretch(QFont::Condensed);
        for (qreal size = font.pointSizeF(); size > 6 && textWidth(font) > width; size -= 0.5)
            font.setPointSizeF(size - 0.5);
        label->setFont(font);
    }
    label->adjustSize();
    label->resize(std::min(label->width(), width), label->height());
}
