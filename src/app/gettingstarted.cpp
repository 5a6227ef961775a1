#include "app/gettingstarted.h"

#include "ui/widgetbuilding.h"

#include <QCoreApplication>
#include <QFont>
#include <QLabel>
#include <QPixmap>
#include <QStringList>
#include <QWidget>

QWidget *BuildGettingStartedPanel(QWidget *taskArea)
{
    auto *panel = named(new QWidget(taskArea), "panGettingStarted");
    panel->setGeometry(11, 1, 568, 335);
    panel->setAutoFillBackground(true);
    auto *background = named(new QLabel(panel), "imgGettingStartedBackground");
    background->setGeometry(0, 0, 568, 335);
    background->setPixmap(QPixmap(QStringLiteral(":/pictures/getting-started-background.png")));
    auto *picture = named(new QLabel(panel), "imgGettingStarted");
    picture->move(13, 22);
    picture->setPixmap(QPixmap(QStringLiteral(":/pictures/getting-started.png")));
    picture->adjustSize();
    QFont heading(QStringLiteral("Tahoma"));
    heading.setPixelSize(26);
    heading.setBold(true);
    auto *title = makeLabel(QCoreApplication::translate("GettingStarted", "Getting started:"), panel, 54, 206);
    title->setFont(heading);
    title->setStyleSheet(QStringLiteral("color: rgb(40, 180, 232); background: transparent;"));
    title->adjustSize();
    QFont lineFont(QStringLiteral("Tahoma"));
    lineFont.setPixelSize(15);
    const QStringList lines = {QCoreApplication::translate("GettingStarted", "1. Add video files in to the list."),
                               QCoreApplication::translate("GettingStarted", "2. Select a profile and specify the output path."),
                               QCoreApplication::translate("GettingStarted", "3. Click on the \"Start\" button.")};
    int y = 246;
    for (const QString &text : lines) {
        QLabel *line = makeLabel(text, panel, 70, y);
        line->setFont(lineFont);
        line->setStyleSheet(QStringLiteral("color: rgb(242, 152, 53); background: transparent;"));
        line->adjustSize();
        y += 27;
    }
    panel->raise();
    return panel;
}
