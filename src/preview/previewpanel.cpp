#include "preview/previewpanel.h"

#include "conversion/taskrecord.h"
#include "platform/interactive.h"
#include "preview/seekbar.h"

#include <QLabel>
#include <QPixmap>
#include <QToolButton>
#include <QVideoWidget>

#include <algorithm>

namespace {

const QSize ButtonSize(38, 22);
// The time box: its picture, with the time centred on it.
const QSize TimeBoxSize(58, 18);
constexpr int TimeBoxTop = 28;

QPixmap buttonPicture(int index)
{
    const QPixmap strip(QStringLiteral(":/pictures/preview-buttons.png"));
    return strip.copy(index * ButtonSize.width(), 0, ButtonSize.width(), ButtonSize.height());
}

QToolButton *makeButton(QWidget *parent, const char *name, int index, int x, const QString &hint)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(x, 26, ButtonSize.width(), ButtonSize.height());
    button->setIcon(QIcon(buttonPicture(index)));
    button->setIconSize(ButtonSize);
    button->setAutoRaise(true);
    button->setToolTip(hint);
    // A picture has no text: a screen reader says the hint.
    button->setAccessibleName(hint);
    button->setFocusPolicy(Qt::NoFocus);
    // The picture is the whole button; pressed it darkens.
    button->setStyleSheet(QStringLiteral("QToolButton { border: none; padding: 0px; background: transparent; }"
                                         "QToolButton:pressed { background: rgba(90, 34, 0, 90); }"));
    return button;
}

// The video area's look: black, named as the player's video window.
void setUpVideoArea(QWidget *area)
{
    area->setObjectName(QStringLiteral("VideoWindow1"));
    area->setAutoFillBackground(true);
    QPalette black = area->palette();
    black.setColor(QPalette::Window, Qt::black);
    area->setPalette(black);
}

} // namespace

int PlayRow(int rowCount, const QList<int> &selectedRows)
{
    if (rowCount <= 0)
        return -1;
    int first = -1;
    for (int row : selectedRows)
        if (row >= 0 && row < rowCount && (first < 0 || row < first))
            first = row;
    return first < 0 ? 0 : first;
}

PreviewPanel::PreviewPanel(IInteractive &interactive, QWidget *parent)
    : QWidget(parent)
    , m_interactive(interactive)
{
    setObjectName(QStringLiteral("panPreview"));
    resize(DesignWidth, DesignHeight);

    // A plain black area until the first preview: the video surface brings
    // up the playback service and the graphics stack, which an idle window
    // does not need.
    VideoWindow1 = new QWidget(this);
    setUpVideoArea(VideoWindow1);

    panRight1 = new QWidget(this);
    panRight1->setObjectName(QStringLiteral("panRight1"));

    panPreviewButton = new QWidget(this);
    panPreviewButton->setObjectName(QStringLiteral("panPreviewButton"));

    TrackBar = new SeekBar(panPreviewButton);
    TrackBar->setFixedHeight(21);
    TrackBar->setAccessibleName(tr("Preview position"));

    sbtnPlay = makeButton(panPreviewButton, "sbtnPlay", 0, 4, tr("Play"));
    sbtnPause = makeButton(panPreviewButton, "sbtnPause", 1, 47, tr("Pause / Resume"));
    sbtnStop = makeButton(panPreviewButton, "sbtnStop", 2, 90, tr("Stop"));

    imgPreviewTime = new QLabel(panPreviewButton);
    imgPreviewTime->setObjectName(QStringLiteral("imgPreviewTime"));
    imgPreviewTime->setPixmap(QPixmap(QStringLiteral(":/pictures/preview-time.png")));

    labPreviewTime = new QLabel(QStringLiteral("00:00:00"), panPreviewButton);
    labPreviewTime->setObjectName(QStringLiteral("labPreviewTime"));
    labPreviewTime->setAlignment(Qt::AlignCenter);
    labPreviewTime->setAttribute(Qt::WA_TranslucentBackground);
    QFont small = labPreviewTime->font();
    small.setPixelSize(11);
    labPreviewTime->setFont(small);
    // Light text on the dark backdrop.
    labPreviewTime->setStyleSheet(QStringLiteral("QLabel { color: #ffd9a8; background: transparent; }"));
    labPreviewTime->raise();

    TrackBar->setPlayer(&m_player);
    connect(TrackBar, &SeekBar::timer, this, &PreviewPanel::TrackBarTimer);
    connect(&m_player, &PreviewPlayer::fileRendered, this, &PreviewPanel::onRendered);
    connect(&m_player, &PreviewPlayer::failed, this, &PreviewPanel::onFailed);
    connect(sbtnPlay, &QToolButton::clicked, this, &PreviewPanel::playClicked);
    connect(sbtnPause, &QToolButton::clicked, this, &PreviewPanel::sbtnPauseClick);
    connect(sbtnStop, &QToolButton::clicked, this, &PreviewPanel::sbtnStopClick);

    layoutChildren();
}

PreviewPanel::~PreviewPanel()
{
    m_player.disconnect(this);
    m_player.deactivate();
}

void PreviewPanel::makeVideoWindow()
{
    if (m_video)
        return;
    m_video = new QVideoWidget(this);
    setUpVideoArea(m_video);
    m_video->setAspectRatioMode(Qt::KeepAspectRatio);
    m_video->setGeometry(VideoWindow1->geometry());
    m_video->stackUnder(VideoWindow1);
    // The stand-in goes: the video area keeps its name and place.
    delete VideoWindow1;
    VideoWindow1 = m_video;
    m_video->show();
    m_player.setVideoOutput(m_video);
}

void PreviewPanel::previewFile(const QString &path)
{
    makeVideoWindow();
    if (!m_player.isActive())
        m_player.activate();
    m_player.clear();
    m_playWhenRendered = true;
    m_player.render(path);
}

void PreviewPanel::onRendered()
{
    if (!m_playWhenRendered)
        return;
    m_playWhenRendered = false;
    m_player.play();
}

void PreviewPanel::onFailed(const PreviewError &error)
{
    m_playWhenRendered = false;
    m_player.stop();
    m_interactive.error(error.message());
}

void PreviewPanel::pauseOrResume()
{
    switch (m_player.state()) {
    case PreviewPlayer::State::Playing:
        m_player.pause();
        break;
    case PreviewPlayer::State::Paused:
        m_player.play();
        break;
    case PreviewPlayer::State::Stopped:
    case PreviewPlayer::State::Uninitialised:
        break;
    }
}

void PreviewPanel::stop()
{
    m_playWhenRendered = false;
    m_player.stop();
}

void PreviewPanel::sbtnPauseClick()
{
    pauseOrResume();
}

void PreviewPanel::sbtnStopClick()
{
    stop();
}

QString PreviewPanel::timeText() const
{
    return labPreviewTime->text();
}

void PreviewPanel::TrackBarTimer()
{
    labPreviewTime->setText(SecondsToTimeText(TrackBar->value()));
}

void PreviewPanel::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutChildren();
}

void PreviewPanel::layoutChildren()
{
    const int w = width();
    const int videoHeight = std::max(0, height() - StripHeight);
    VideoWindow1->setGeometry(0, 0, std::max(0, w - MarginWidth), videoHeight);
    panRight1->setGeometry(std::max(0, w - MarginWidth), 0, MarginWidth, videoHeight);
    panPreviewButton->setGeometry(0, videoHeight, w, StripHeight);
    TrackBar->setGeometry(0, 0, w, 21);
    // The time box ends where the video area does, the margin of the window's
    // other controls from its edge, and never covers the Stop button.
    const int timeLeft = std::max(sbtnStop->geometry().right() + 3, w - MarginWidth - TimeBoxSize.width());
    const QRect timeBox(QPoint(timeLeft, TimeBoxTop), TimeBoxSize);
    imgPreviewTime->setGeometry(timeBox);
    labPreviewTime->setGeometry(timeBox);
}
