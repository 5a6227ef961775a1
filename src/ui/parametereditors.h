#pragma once

#include <QScrollArea>

class ParameterGrid;
class ParameterGrids;
class QLabel;
class QToolButton;
class QVBoxLayout;
class ValueListGrid;

// The parameter grids of one window in a scroll box: a header panel above
// each grid, stacked from the top, so that collapsing one grid moves the ones
// below it up. The main window shows the per-task Output grid first, then
// Video, Audio and Advanced; the Settings window only the last three.
//
// A header panel is 18 pixels high and as wide as the grids; it shows its
// title in bold black on the button-shadow colour, after six blanks that leave
// room for its toggle button: 12 x 12 pixels at (5, 3), "-" while the grid is
// open and "+" while it is collapsed.
class ParameterEditors final : public QScrollArea
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ParameterEditors)

public:
    static constexpr int HeaderHeight = 18;
    static constexpr int RowHeight = 17;
    // The height a loaded profile gives each row of a parameter grid.
    static constexpr int LoadedRowHeight = 18;

    struct Layout
    {
        int panelWidth = 0;
        int keyWidth = 0;
        int valueWidth = 0;
        bool withOutput = false;         // the Output section comes first
        bool doubleClickToggles = false; // a double click on a header toggles its grid
        bool fillWidth = false; // at least panelWidth wide, the value column taking any more
    };
    // At least 165 wide, columns 95 and 68 (the values taking the pane's extra
    // width), Output first, headers answer double clicks.
    static Layout MainWindowLayout();
    // 362 wide, columns 160 and 200, no Output, headers ignore double clicks.
    static Layout SettingsLayout();

    // Shows grids in the Video, Audio and Advanced grids and, when the layout
    // asks for it, output in the Output grid. The models are not owned.
    ParameterEditors(const Layout &layout, ParameterGrids &grids, ParameterGrid *output,
                     QWidget *parent = nullptr);
    ~ParameterEditors() override;

    ValueListGrid *vleOutput() const { return m_output; } // null without Output
    ValueListGrid *vleVideo() const { return m_video; }
    ValueListGrid *vleAudio() const { return m_audio; }
    ValueListGrid *vleAdvanced() const { return m_advanced; }
    QToolButton *btnOutput() const { return m_btnOutput; }
    QToolButton *btnVideo() const { return m_btnVideo; }
    QToolButton *btnAudio() const { return m_btnAudio; }
    QToolButton *btnAdvanced() const { return m_btnAdvanced; }

    // The toggles: collapse the grid, or open it again at the height of its rows.
    void btnOutputClick();
    void btnVideoClick();
    void btnAudioClick();
    void btnAdvancedClick();

    // Button caption "+": the grid gets rows x row height + rows + 1 pixels and
    // the caption "-". Any other caption: the grid gets 1 pixel and "+".
    static void TogglePanel(QToolButton *button, ValueListGrid *grid);
    // Names a fold button for a screen reader after what a press does now.
    static void nameToggle(QToolButton *button);

    // Repaints every grid and its open editor, Output first, so that only the
    // grid that has the focus marks its current name.
    void refreshGrids();

    // After a profile was loaded into the grids: every parameter grid gets 18
    // pixels per row, collapsed ones included; the toggle captions stay.
    void profileLoaded();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    ValueListGrid *addSection(const Layout &layout, const char *panelName, const char *buttonName,
                              const QString &title, const char *gridName, ParameterGrid *model,
                              QToolButton **button);

    QWidget *m_stack = nullptr;
    QVBoxLayout *m_stackLayout = nullptr;
    ValueListGrid *m_output = nullptr;
    ValueListGrid *m_video = nullptr;
    ValueListGrid *m_audio = nullptr;
    ValueListGrid *m_advanced = nullptr;
    QToolButton *m_btnOutput = nullptr;
    QToolButton *m_btnVideo = nullptr;
    QToolButton *m_btnAudio = nullptr;
    QToolButton *m_btnAdvanced = nullptr;
    QLabel *m_panOutput = nullptr;
    QLabel *m_panVideo = nullptr;
    QLabel *m_panAudio = nullptr;
    QLabel *m_panAdvanced = nullptr;
};
