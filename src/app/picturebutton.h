#pragma once

#include <QPixmap>
#include <QWidget>

// A command drawn as a picture: the toolbar's round buttons and the large
// Start and Stop pictures. A press and release inside the picture's rectangle
// is a click. While disabled it is still drawn and takes no pointer events.
class PictureButton final : public QWidget
{
    Q_OBJECT
public:
    explicit PictureButton(QSize size, QWidget *parent = nullptr);
    Q_DISABLE_COPY_MOVE(PictureButton)

    void setPicture(const QPixmap &picture);
    QPixmap picture() const { return m_picture; }
    QSize sizeHint() const override { return m_size; }

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QSize m_size;
    QPixmap m_picture;
    bool m_pressed = false;
};
