#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>

// Hands the next modal widget that shows up to answer, from the event loop
// that the modal widget runs itself.
inline void WhenModalShows(std::function<void(QWidget *)> answer)
{
    auto *poll = new QTimer;
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, [poll, answer = std::move(answer)] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        answer(modal);
    });
    poll->start();
}
