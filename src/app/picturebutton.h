#pragma once

#include <QPixmap>
#include <QPointF>
#include <QWidget>

#include <memory>

// A command drawn as a picture: the toolbar's round buttons and the large
// Start and Stop pictures. A press and release of the left button inside the
// picture's rectangle is a click. The second press of a double-click is not:
// a press within the platform's double-click time and distance of the press
// that made the last click is ignored, and so is the double-click event. While
// disabled the picture is still drawn and takes no pointer events. It takes
// the keyboard focus with Tab; Space or Enter then clicks it.
class PictureButton final : public QWidget
{
    Q_OBJECT
public:
    explicit PictureButton(QSize size, QWidget *parent = nullptr);
    Q_DISABLE_COPY_MOVE(PictureButton)

    void setPicture(const QPixmap &picture);
    QPixmap picture() const { return m_picture; }
    QSize sizeHint() const override { return m_size; }

    // Two pictures shown in turn at the same place (Start and Stop): a click
    // on one makes a quick press on the other the second half of a
    // double-click, so a double-click cannot run both commands.
    static void shareClicks(PictureButton *one, PictureButton *other);

    // A picture that lies under another one is out of reach: it takes no
    // focus and a screen reader does not show it.
    void setCovered(bool covered);
    bool isCovered() const { return m_covered; }

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    // The press that made the last click, kept for the double-click rule.
    struct LastClick
    {
        bool valid = false;
        quint64 timestamp = 0;
        QPointF globalPosition;
    };

    bool isSecondPress(const QMouseEvent *event) const;

    QSize m_size;
    QPixmap m_picture;
    bool m_covered = false;
    bool m_pressed = false;
    quint64 m_pressTimestamp = 0;
    QPointF m_pressPosition;
    std::shared_ptr<LastClick> m_lastClick = std::make_shared<LastClick>();
};
