#include "app/mainlayout.h"

#include <QLabel>
#include <QWidget>

#include <algorithm>
#include <utility>

int MainLayout::clampRightPane(int requested, int clientWidth)
{
    const int widest = clientWidth - SplitterWidth - MinTaskAreaWidth;
    return std::max(MinRightPaneWidth, std::min(requested, widest));
}

MainLayout::MainLayout(const MainLayoutWidgets &widgets)
    : m_w(widgets)
{
}

void MainLayout::setRightPaneWidth(int width)
{
    // Kept as far as the window shows it now: a width dragged beyond the
    // limit does not come back when the window grows.
    m_requestedRightPane = clampRightPane(width, m_clientWidth);
}

void MainLayout::placeRegions(QSize client)
{
    const int w = client.width();
    const int h = client.height();
    const int middle = std::max(0, h - TopHeight - BottomHeight);
    m_clientWidth = w;
    const int right = clampRightPane(m_requestedRightPane, w);
    const int mainWidth = std::max(0, w - right - SplitterWidth);
    m_appliedRightPane = right;

    m_w.top->setGeometry(0, 0, w, TopHeight);
    m_w.bottom->setGeometry(0, h - BottomHeight, w, BottomHeight);
    m_w.bottomRight->setGeometry(0, 0, w, BottomHeight);
    m_w.rightPane->setGeometry(w - right, TopHeight, right, middle);
    m_w.rightContent->setGeometry(0, 0, right, middle);
    m_w.splitter->setGeometry(w - right - SplitterWidth, TopHeight, SplitterWidth, middle);
    m_w.taskArea->setGeometry(0, TopHeight, mainWidth, middle);
    m_w.list->setGeometry(ListMargin, 0, std::max(0, mainWidth - ListMargin), std::max(0, middle - ToolbarHeight));
    m_w.toolbar->setGeometry(0, middle - ToolbarHeight, mainWidth, ToolbarHeight);

    // Both pictures lie above the bottom panels, Start on top of Stop, at the
    // same distance from the right edge whatever the width.
    const int pictureLeft = w - PictureWidth - PictureRightMargin;
    for (QWidget *picture : {m_w.stopPicture, m_w.startPicture}) {
        picture->move(pictureLeft, PictureTop);
        picture->raise();
    }
}

void MainLayout::placeBottomRows()
{
    // The bottom panels are as wide as the task area, so that they end left
    // of the pictures.
    const int w = m_w.taskArea->width();
    m_w.idlePanel->resize(w, BottomHeight);
    m_w.progressPanel->resize(w, BottomHeight);

    const int idleWidth = m_w.idlePanel->width();
    m_w.profileSetting->move(idleWidth - 90, m_w.profileSetting->y());
    m_w.profileList->resize(m_w.profileSetting->x() - 83, m_w.profileList->height());
    m_w.openButton->move(idleWidth - 90, m_w.openButton->y());
    m_w.browseButton->move(m_w.openButton->x() - 85, m_w.browseButton->y());
    m_w.outputBox->resize(m_w.browseButton->x() - 83, m_w.outputBox->height());

    // The percent labels reach the panel's edge and hold "100%" whole, in
    // whatever font; the bars end 8 pixels before them.
    const int progressWidth = m_w.progressPanel->width();
    for (auto [label, bar] : {std::pair{m_w.currentLabel, m_w.currentBar}, std::pair{m_w.totalLabel, m_w.totalBar}}) {
        const int needed = label->fontMetrics().horizontalAdvance(QStringLiteral("100%")) + 1;
        const int x = progressWidth - std::max(27, needed);
        label->setGeometry(x, label->y(), progressWidth - x, label->height());
        bar->resize(std::max(0, x - 123), bar->height());
    }
    m_w.convertingFile->resize(std::max(0, progressWidth - 130), m_w.convertingFile->height());
}
