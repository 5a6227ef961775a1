#include "ui/filedrops.h"

#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

namespace {

class FileDropPasser final : public QObject
{
public:
    explicit FileDropPasser(QWidget *widget)
        : QObject(widget)
    {
        widget->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            break;
        default:
            return QObject::eventFilter(watched, event);
        }
        auto *drop = static_cast<QDropEvent *>(event);
        if (!CarriesLocalFiles(drop->mimeData()))
            return QObject::eventFilter(watched, event);
        // Refused here: the toolkit offers an entering drag to the parents in
        // turn, and the one that accepts it gets the moves and the drop.
        drop->ignore();
        return true;
    }
};

} // namespace

bool CarriesLocalFiles(const QMimeData *data)
{
    if (!data || !data->hasUrls())
        return false;
    for (const QUrl &url : data->urls())
        if (url.isLocalFile())
            return true;
    return false;
}

void PassFileDropsOn(QWidget *widget)
{
    new FileDropPasser(widget);
}
