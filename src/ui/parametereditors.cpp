#include "ui/parametereditors.h"

#include "profiles/parametergrid.h"
#include "ui/valuelistgrid.h"

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const QString OpenCaption = QStringLiteral("-");
const QString CollapsedCaption = QStringLiteral("+");

// Six blanks keep the title clear of the toggle button.
const QString TitleIndent = QStringLiteral("      ");

const QRect ToggleGeometry(5, 3, 12, 12);

// The title of the section a fold button belongs to.
constexpr char SectionProperty[] = "sectionTitle";

} // namespace

ParameterEditors::Layout ParameterEditors::MainWindowLayout()
{
    return Layout{165, 95, 68, true, true, true};
}

ParameterEditors::Layout ParameterEditors::SettingsLayout()
{
    return Layout{362, 160, 200, false, false};
}

ParameterEditors::ParameterEditors(const Layout &layout, ParameterGrids &grids, ParameterGrid *output,
                                   QWidget *parent)
    : QScrollArea(parent)
{
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidgetResizable(true);

    m_stack = new QWidget(this);
    m_stack->setObjectName(QStringLiteral("panParameterStack"));
    m_stackLayout = new QVBoxLayout(m_stack);
    m_stackLayout->setContentsMargins(0, 0, 0, 0);
    m_stackLayout->setSpacing(0);
    setWidget(m_stack);

    if (layout.withOutput && output) {
        m_output = addSection(layout, "panOutput", "btnOutput", tr("Output"), "vleOutput", output,
                              &m_btnOutput);
        m_panOutput = qobject_cast<QLabel *>(m_btnOutput->parentWidget());
        connect(m_btnOutput, &QToolButton::clicked, this, &ParameterEditors::btnOutputClick);
    }
    m_video = addSection(layout, "panVideo", "btnVideo", tr("Video"), "vleVideo", &grids.video,
                         &m_btnVideo);
    m_audio = addSection(layout, "panAudio", "btnAudio", tr("Audio"), "vleAudio", &grids.audio,
                         &m_btnAudio);
    m_advanced = addSection(layout, "panAdvanced", "btnAdvanced", tr("Advanced"), "vleAdvanced",
                            &grids.advanced, &m_btnAdvanced);
    m_stackLayout->addStretch(1);

    m_panVideo = qobject_cast<QLabel *>(m_btnVideo->parentWidget());
    m_panAudio = qobject_cast<QLabel *>(m_btnAudio->parentWidget());
    m_panAdvanced = qobject_cast<QLabel *>(m_btnAdvanced->parentWidget());

    connect(m_btnVideo, &QToolButton::clicked, this, &ParameterEditors::btnVideoClick);
    connect(m_btnAudio, &QToolButton::clicked, this, &ParameterEditors::btnAudioClick);
    connect(m_btnAdvanced, &QToolButton::clicked, this, &ParameterEditors::btnAdvancedClick);

    // A press in a parameter grid repaints all of them. A press in the Output
    // grid is its owner's to answer: it may refuse the press first.
    for (ValueListGrid *grid : {m_video, m_audio, m_advanced})
        connect(grid, &ValueListGrid::mousePressed, this, &ParameterEditors::refreshGrids);

    if (layout.doubleClickToggles) {
        for (QLabel *panel : {m_panOutput, m_panVideo, m_panAudio, m_panAdvanced}) {
            if (panel)
                panel->installEventFilter(this);
        }
    }
}

ParameterEditors::~ParameterEditors() = default;

ValueListGrid *ParameterEditors::addSection(const Layout &layout, const char *panelName, const char *buttonName,
                                            const QString &title, const char *gridName, ParameterGrid *model,
                                            QToolButton **button)
{
    auto *panel = new QLabel(TitleIndent + title, m_stack);
    panel->setObjectName(QString::fromLatin1(panelName));
    // The blanks only make room for the button: a screen reader says the title.
    panel->setAccessibleName(title);
    if (layout.fillWidth) {
        panel->setMinimumWidth(layout.panelWidth);
        panel->setFixedHeight(HeaderHeight);
    } else {
        panel->setFixedSize(layout.panelWidth, HeaderHeight);
    }
    panel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QFont bold = panel->font();
    bold.setBold(true);
    panel->setFont(bold);
    panel->setAutoFillBackground(true);
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::Dark));
    palette.setColor(QPalette::WindowText, Qt::black);
    panel->setPalette(palette);

    auto *toggle = new QToolButton(panel);
    toggle->setObjectName(QString::fromLatin1(buttonName));
    toggle->setText(OpenCaption);
    toggle->setProperty(SectionProperty, title);
    nameToggle(toggle);
    toggle->setGeometry(ToggleGeometry);
    toggle->setFocusPolicy(Qt::NoFocus);
    QFont large = toggle->font();
    large.setBold(true);
    large.setPixelSize(12);
    toggle->setFont(large);
    *button = toggle;

    auto *grid = new ValueListGrid(m_stack);
    grid->setObjectName(QString::fromLatin1(gridName));
    grid->setAccessibleName(tr("%1 parameters").arg(title));
    grid->setGrid(model);
    grid->setColumnWidths(layout.keyWidth, layout.valueWidth);
    grid->setRowHeight(RowHeight);
    if (layout.fillWidth) {
        grid->setMinimumWidth(layout.panelWidth);
        grid->setFixedHeight(grid->heightForRows(model->rowCount()));
    } else {
        grid->setFixedSize(layout.panelWidth, grid->heightForRows(model->rowCount()));
    }

    m_stackLayout->addWidget(panel);
    m_stackLayout->addWidget(grid);
    return grid;
}

void ParameterEditors::btnOutputClick()
{
    if (m_output)
        TogglePanel(m_btnOutput, m_output);
}

void ParameterEditors::btnVideoClick()
{
    TogglePanel(m_btnVideo, m_video);
}

void ParameterEditors::btnAudioClick()
{
    TogglePanel(m_btnAudio, m_audio);
}

void ParameterEditors::btnAdvancedClick()
{
    TogglePanel(m_btnAdvanced, m_advanced);
}

void ParameterEditors::TogglePanel(QToolButton *button, ValueListGrid *grid)
{
    if (button->text() == CollapsedCaption) {
        const int rows = grid->model() ? grid->model()->rowCount() : 0;
        grid->setFixedHeight(grid->heightForRows(rows));
        button->setText(OpenCaption);
    } else {
        grid->setFixedHeight(1);
        button->setText(CollapsedCaption);
    }
    nameToggle(button);
}

// "-" and "+" say nothing to a screen reader: the button is named by what it does.
void ParameterEditors::nameToggle(QToolButton *button)
{
    const QString section = button->property(SectionProperty).toString();
    button->setAccessibleName(button->text() == CollapsedCaption ? tr("Unfold %1").arg(section)
                                                                 : tr("Fold %1").arg(section));
}

void ParameterEditors::refreshGrids()
{
    for (ValueListGrid *grid : {m_output, m_video, m_audio, m_advanced}) {
        if (grid)
            grid->refresh();
    }
}

void ParameterEditors::profileLoaded()
{
    for (ValueListGrid *grid : {m_video, m_audio, m_advanced}) {
        const int rows = grid->model() ? grid->model()->rowCount() : 0;
        grid->setFixedHeight(LoadedRowHeight * rows);
    }
}

bool ParameterEditors::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonDblClick
        && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        if (watched == m_panOutput) {
            btnOutputClick();
            return true;
        }
        if (watched == m_panVideo) {
            btnVideoClick();
            return true;
        }
        if (watched == m_panAudio) {
            btnAudioClick();
            return true;
        }
        if (watched == m_panAdvanced) {
            btnAdvancedClick();
            return true;
        }
    }
    return QScrollArea::eventFilter(watched, event);
}
