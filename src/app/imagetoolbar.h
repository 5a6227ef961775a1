#pragma once

#include <QList>
#include <QObject>
#include <QPixmap>
#include <QPointF>
#include <QString>

class PictureButton;
class QWidget;

// The looks of the round picture buttons in the toolbar under the task list.
// Every button shows one of three pictures (normal, hover, pressed) from
// three image strips; the row's state is a text of one digit per button
// ("0" normal, "1" hover, "2" pressed), and a state is drawn only when it
// differs from the last one drawn. It follows the pointer over the buttons,
// the toolbar's background and its gap panels; the pictures only follow the
// mouse, a button's click stays the button's.
class ImageToolbar final : public QObject
{
    Q_OBJECT
public:
    static constexpr int ButtonSize = 54;
    static constexpr double FaceRadius = 23.0;
    static constexpr double FaceCentre = 27.0;

    enum Look { Normal = 0, Hover = 1, Pressed = 2 };

    // Attaches to the toolbar, its buttons in strip order and its gap panels.
    // It lives as long as the toolbar.
    ImageToolbar(QWidget *toolbar, const QList<PictureButton *> &buttons, const QList<QWidget *> &gaps);
    Q_DISABLE_COPY_MOVE(ImageToolbar)

    // The three strips, each with one 54 x 54 image per button; the
    // program's own pictures unless replaced.
    void setStrips(const QPixmap &normal, const QPixmap &hover, const QPixmap &pressed);

    // Draws the row from a state text unless it is the last one drawn.
    void DrawToolbarState(const QString &state);
    QString lastState() const { return m_lastState; }
    // How many states were drawn so far.
    int drawCount() const { return m_drawCount; }

    // The state with `button` in `look` and every other button normal;
    // all normal for button -1.
    QString stateText(int button, Look look) const;
    // A point in a button's coordinates lies on its round face.
    static bool OnFace(const QPointF &point);

    // Pointer events, positions in the button's own coordinates.
    void buttonMouseMove(int button, const QPointF &position);
    void buttonMouseDown(int button, const QPointF &position);
    void buttonMouseUp(int button);
    // The pointer moves over the toolbar's background or a gap panel.
    void Toolbar1MouseMove();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_toolbar;
    QList<PictureButton *> m_buttons;
    QList<QWidget *> m_gaps;
    QPixmap m_strips[3];
    QString m_lastState;
    int m_drawCount = 0;
    int m_pressedButton = -1;
};

// The looks of the large Start and Stop pictures: normal, hover and pressed,
// each picture's look kept in its tag (0, 1, 2). A move over the bottom panel
// around them turns a shown picture back to normal.
class StartStopPictures final : public QObject
{
    Q_OBJECT
public:
    static constexpr int PictureWidth = 188;
    static constexpr int PictureHeight = 58;

    // It lives as long as the bottom panel.
    StartStopPictures(PictureButton *start, PictureButton *stop, QWidget *bottomRight);
    Q_DISABLE_COPY_MOVE(StartStopPictures)

    // Strips of three 188 x 58 images each; the program's own unless replaced.
    void setStrips(const QPixmap &start, const QPixmap &stop);

    // The look kept for imgStart or imgStop: 0 normal, 1 hover, 2 pressed.
    int tag(const PictureButton *picture) const;
    int drawCount() const { return m_drawCount; }

    void pictureMouseMove(PictureButton *picture);
    void pictureMouseDown(PictureButton *picture);
    void pictureMouseUp(PictureButton *picture);
    void panBottomRightMouseMove();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    int indexOf(const QObject *picture) const;
    void draw(int index, int look);

    PictureButton *m_pictures[2];
    QWidget *m_bottomRight;
    QPixmap m_strips[2];
    int m_tags[2] = {0, 0};
    int m_pressed = -1;
    int m_drawCount = 0;
};
