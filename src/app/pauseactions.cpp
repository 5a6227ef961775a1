#include "app/pauseactions.h"

#include "conversion/conversionrun.h"

#include <QAbstractScrollArea>
#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>

#include <algorithm>
#include <iterator>

namespace {

// The items that change the task list or play a task: not while it converts.
const char *const TaskItems[] = {"mniOpen", "mniAddFiles", "mniAddDirectory", "mniRemove", "mniClear"};

} // namespace

PauseActions::PauseActions(ConversionRun &run, QMenu &menu, QWidget &window, QWidget &list)
    : QObject(&window)
    , m_run(run)
    , m_menu(menu)
    , m_list(list)
{
    m_menu.addSeparator();
    m_pause = m_menu.addAction(tr("Pause"), &m_run, &ConversionRun::pause);
    m_pause->setObjectName(QStringLiteral("mniPause"));
    m_resume = m_menu.addAction(tr("Resume"), &m_run, &ConversionRun::resume);
    m_resume->setObjectName(QStringLiteral("mniResume"));
    // One key for both: only the one that applies is enabled, so the key is
    // never ambiguous. The window holds them so that the key works while the
    // menu is closed.
    for (QAction *action : {m_pause, m_resume}) {
        action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
        action->setShortcutContext(Qt::WindowShortcut);
        window.addAction(action);
    }
    connect(&m_run, &ConversionRun::stateChanged, this, &PauseActions::update);
    connect(&m_menu, &QMenu::aboutToHide, this, [this] {
        for (QAction *action : std::as_const(m_locked))
            action->setEnabled(true);
        m_locked.clear();
    });
    auto *area = qobject_cast<QAbstractScrollArea *>(&m_list);
    (area ? area->viewport() : &m_list)->installEventFilter(this);
    update();
}

void PauseActions::update()
{
    const bool running = m_run.RunState() == ConversionRun::Running;
    m_pause->setEnabled(running && !m_run.isPaused());
    m_resume->setEnabled(running && m_run.isPaused());
}

bool PauseActions::eventFilter(QObject *watched, QEvent *event)
{
    // A locked list takes no clicks of its own; its menu comes from here.
    if (event->type() == QEvent::ContextMenu && !m_list.isEnabled() && m_run.RunState() != ConversionRun::Idle) {
        popupDuringBatch(static_cast<QContextMenuEvent *>(event)->globalPos());
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void PauseActions::popupDuringBatch(const QPoint &globalPosition)
{
    for (QAction *action : m_menu.actions()) {
        const QByteArray name = action->objectName().toUtf8();
        const bool taskItem = std::any_of(std::begin(TaskItems), std::end(TaskItems),
                                          [&name](const char *item) { return name == item; });
        if (taskItem && action->isEnabled()) {
            action->setEnabled(false);
            m_locked << action;
        }
    }
    update();
    m_menu.popup(globalPosition);
}
