#include "app/layoutprobe.h"

#include <QEvent>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QSaveFile>
#include <QTimer>
#include <QTreeView>

#include <utility>

namespace {

QJsonArray rectJson(const QRect &rect)
{
    return {rect.x(), rect.y(), rect.width(), rect.height()};
}

QRect inWindow(const QWidget &window, const QWidget &widget)
{
    return {widget.mapTo(&window, QPoint(0, 0)), widget.size()};
}

// Writes the window's layout once it has been still for a moment: a resize
// sets off further resizes (a size below the minimum is put back, columns
// follow the list), and only the last one is of interest.
class LayoutProbe final : public QObject
{
public:
    LayoutProbe(QWidget &window, QString path)
        : QObject(&window)
        , m_window(window)
        , m_path(std::move(path))
    {
        m_settled.setSingleShot(true);
        m_settled.setInterval(200);
        connect(&m_settled, &QTimer::timeout, this, &LayoutProbe::write);
        window.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == &m_window && (event->type() == QEvent::Resize || event->type() == QEvent::Show))
            m_settled.start();
        return false;
    }

private:
    void write()
    {
        QSaveFile file(m_path);
        if (file.open(QIODevice::WriteOnly)) {
            file.write(LayoutText(m_window));
            file.commit();
        }
    }

    QWidget &m_window;
    QString m_path;
    QTimer m_settled;
};

} // namespace

QByteArray LayoutText(const QWidget &window)
{
    QJsonObject widgets;
    for (const QWidget *widget : window.findChildren<QWidget *>()) {
        if (widget->objectName().isEmpty() || widget->isWindow() || !widget->isVisibleTo(&window))
            continue;
        QJsonObject entry{{QStringLiteral("rect"), rectJson(inWindow(window, *widget))}};
        if (const auto *tree = qobject_cast<const QTreeView *>(widget)) {
            entry[QStringLiteral("viewport")] = rectJson(inWindow(window, *tree->viewport()));
            QJsonArray columns;
            const QHeaderView *header = tree->header();
            for (int column = 0; column < header->count(); ++column) {
                if (header->isSectionHidden(column))
                    continue;
                const int x = tree->viewport()->mapTo(&window, QPoint(header->sectionViewportPosition(column), 0)).x();
                columns.append(QJsonObject{{QStringLiteral("title"), tree->model()->headerData(column, Qt::Horizontal).toString()},
                                           {QStringLiteral("x"), x},
                                           {QStringLiteral("width"), header->sectionSize(column)}});
            }
            entry[QStringLiteral("columns")] = columns;
        } else if (const auto *label = qobject_cast<const QLabel *>(widget)) {
            entry[QStringLiteral("text")] = label->text();
            entry[QStringLiteral("textWidth")] = label->fontMetrics().horizontalAdvance(label->text());
            if (label->text().endsWith(QLatin1Char('%')))
                entry[QStringLiteral("hundredWidth")] = label->fontMetrics().horizontalAdvance(QStringLiteral("100%"));
        }
        widgets[widget->objectName()] = entry;
    }
    const QJsonObject layout{{QStringLiteral("window"), QJsonArray{window.width(), window.height()}},
                             {QStringLiteral("widgets"), widgets}};
    return QJsonDocument(layout).toJson(QJsonDocument::Compact);
}

void InstallLayoutProbe(QWidget &window)
{
    const QString path = qEnvironmentVariable("VANTORIX_LAYOUT_PROBE");
    if (!path.isEmpty())
        new LayoutProbe(window, path);
}
