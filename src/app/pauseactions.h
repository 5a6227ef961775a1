#pragma once

#include <QObject>

class ConversionRun;
class QAction;
class QMenu;
class QWidget;

// "Pause" and "Resume" of a running batch in the task list's pop-up menu,
// with Ctrl+P for whichever of the two applies: only one is enabled at a
// time, neither while no batch runs. During a batch the task list is locked
// (disabled); a right-click on it still opens the menu, with the items that
// would change the tasks disabled.
class PauseActions final : public QObject
{
    Q_OBJECT
public:
    // `window` takes the shortcut; `list` is the task list the menu belongs to.
    PauseActions(ConversionRun &run, QMenu &menu, QWidget &window, QWidget &list);
    Q_DISABLE_COPY_MOVE(PauseActions)

    QAction *pauseAction() const { return m_pause; }
    QAction *resumeAction() const { return m_resume; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void update();
    void popupDuringBatch(const QPoint &globalPosition);

    ConversionRun &m_run;
    QMenu &m_menu;
    QWidget &m_list;
    QAction *m_pause = nullptr;
    QAction *m_resume = nullptr;
    QList<QAction *> m_locked; // disabled for a pop-up during a batch
};
