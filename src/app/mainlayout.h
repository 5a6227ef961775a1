#pragma once

#include <QSize>

class QWidget;

// The main window's widgets whose places follow the window's size and the
// splitter bar.
struct MainLayoutWidgets
{
    QWidget *top = nullptr;          // pantop
    QWidget *bottom = nullptr;       // panBottom
    QWidget *bottomRight = nullptr;  // panBottomRight, the whole bottom strip
    QWidget *taskArea = nullptr;     // panMain
    QWidget *splitter = nullptr;     // panSplitter
    QWidget *rightPane = nullptr;    // panProfile
    QWidget *rightContent = nullptr; // what fills the right pane
    QWidget *list = nullptr;         // ltvTask
    QWidget *toolbar = nullptr;      // Toolbar1
    QWidget *startPicture = nullptr; // imgStart
    QWidget *stopPicture = nullptr;  // imgStop

    // The profile and output rows, shown while idle.
    QWidget *idlePanel = nullptr; // panBottomCenter
    QWidget *profileList = nullptr;
    QWidget *profileSetting = nullptr;
    QWidget *outputBox = nullptr;
    QWidget *browseButton = nullptr;
    QWidget *openButton = nullptr;

    // The progress, shown during a run.
    QWidget *progressPanel = nullptr; // panBottomLeft
    QWidget *convertingFile = nullptr;
    QWidget *currentBar = nullptr;
    QWidget *currentLabel = nullptr;
    QWidget *totalBar = nullptr;
    QWidget *totalLabel = nullptr;
};

// Places the regions of the main window: the top strip, the bottom strip with
// the Start/Stop pictures at its right end, the task area, the splitter bar
// and the right pane. The pictures keep their distance from the window's
// right edge and lie under the right pane, and nothing else reaches under
// them: the right pane is never narrower than they need, and the bottom
// panels end where the task area ends.
class MainLayout
{
public:
    static constexpr int DesignWidth = 790;
    static constexpr int DesignHeight = 505;
    static constexpr int TopHeight = 15;
    static constexpr int BottomHeight = 77;
    static constexpr int SplitterWidth = 10;
    static constexpr int ListMargin = 10;
    static constexpr int ToolbarHeight = 75;
    static constexpr int DesignRightPaneWidth = 200;
    // The pictures' place in the bottom strip: (width - 198, 8), which is
    // (592, 8) at the design width.
    static constexpr int PictureWidth = 188;
    static constexpr int PictureHeight = 58;
    static constexpr int PictureRightMargin = 10;
    static constexpr int PictureTop = 8;
    static constexpr int MinRightPaneWidth = PictureWidth + PictureRightMargin;
    // The picture toolbar and the bottom rows stay whole down to this width
    // of the task area.
    static constexpr int MinTaskAreaWidth = 440;

    // The client size below which something would be clipped: the design
    // size, which the getting-started panel over the list fills exactly.
    static QSize minimumClientSize() { return {DesignWidth, DesignHeight}; }

    // The right pane's width that a window this wide can give: at least what
    // the pictures need, at most what leaves the task area whole.
    static int clampRightPane(int requested, int clientWidth);

    explicit MainLayout(const MainLayoutWidgets &widgets);

    // The width the right pane has now.
    int rightPaneWidth() const { return m_appliedRightPane; }
    // The width the user asks for with the splitter bar, held within the
    // limits of the window's present width. A window made narrower later
    // shows as much of it as fits, and all of it again when widened.
    // Takes effect at the next placeRegions().
    void setRightPaneWidth(int width);

    // The regions for the window's client size.
    void placeRegions(QSize client);
    // The rows of the bottom panels for the task area's width: the profile
    // and output rows, and the progress bars with their labels.
    void placeBottomRows();

private:
    MainLayoutWidgets m_w;
    int m_clientWidth = DesignWidth;
    int m_requestedRightPane = DesignRightPaneWidth;
    int m_appliedRightPane = DesignRightPaneWidth;
};
