#include "app/mainform.h"

#include "app/imagetoolbar.h"
#include "app/gettingstarted.h"
#include "app/mainlayout.h"
#include "app/pauseactions.h"
#include "app/pendingstart.h"
#include "app/picturebutton.h"
#include "conversion/conversionrun.h"
#include "conversion/probequeue.h"
#include "conversion/taskrecord.h"
#include "platform/desktopnotifier.h"
#include "platform/interactive.h"
#include "platform/shell.h"
#include "profiles/preferences.h"
#include "profiles/profiles.h"
#include "profiles/userfolder.h"
#include "preview/previewpanel.h"
#include "ui/aboutform.h"
#include "ui/dialogs.h"
#include "ui/engineoutputform.h"
#include "ui/filedrops.h"
#include "ui/generalsettings.h"
#include "ui/outputsettings.h"
#include "ui/blockingwindow.h"
#include "ui/parametereditors.h"
#include "ui/shellhelpers.h"
#include "ui/sizeform.h"
#include "ui/tasklistops.h"
#include "ui/valuelistgrid.h"
#include "ui/widgetbuilding.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace {

constexpr int BottomHeight = MainLayout::BottomHeight;
constexpr int ListMargin = MainLayout::ListMargin;
constexpr int ToolbarHeight = MainLayout::ToolbarHeight;
constexpr int ToolButtonSize = 54;
constexpr int ToolbarGap = 26;
constexpr int PreviewHeight = 177;
constexpr int BottomPanelDesignWidth = 607;
const QSize StartStopSize(MainLayout::PictureWidth, MainLayout::PictureHeight);

const QString NewFilenameKey = QStringLiteral("New Filename");
const QString StartTimeKey = QStringLiteral("Start Time");
const QString EndTimeKey = QStringLiteral("End Time");
const QString VideoSizeKey = QStringLiteral("Video Size");
const QString CustomSize = QStringLiteral("Custom Size");

// Column shares of a change in the list's width: Input File, Length, Size, Status.
constexpr double ColumnShares[] = {0.49, 0.17, 0.15, 0.19};
constexpr int DesignColumnWidths[] = {260, 90, 80, 100};

QPixmap stripImage(const QString &resource, int index, QSize size)
{
    const QPixmap strip(resource);
    if (strip.isNull())
        return {};
    return strip.copy(index * size.width(), 0, size.width(), size.height());
}

} // namespace

TMainForm::TMainForm(const MainFormServices &services, QWidget *parent)
    : QWidget(parent)
    , m_services(services)
{
    setObjectName(QStringLiteral("TMainForm"));
    FormCreate();
}

TMainForm::~TMainForm()
{
    // No probe or engine outlives the window.
    if (m_probes)
        m_probes->cancel();
    if (m_run)
        m_run->abandon();
}

void TMainForm::setSettingForm(TSettingForm *form)
{
    m_settingForm = form;
}

void TMainForm::setSizeForm(TSizeForm *form)
{
    m_sizeForm = form;
}

void TMainForm::setGeneralSettings(const IGeneralSettings *settings)
{
    m_generalSettings = settings;
}

const IGeneralSettings &TMainForm::generalSettings() const
{
    if (m_generalSettings)
        return *m_generalSettings;
    if (m_settingForm)
        return *m_settingForm;
    if (!m_storedGeneral)
        m_storedGeneral = std::make_unique<StoredGeneralSettings>(
            LoadGeneralPreferences(m_programFolder, *m_services.interactive).value_or(GeneralPreferences{}));
    return *m_storedGeneral;
}

// ---------------------------------------------------------------------------
// Creation, layout, show and close

void TMainForm::FormCreate()
{
    QString folder = m_services.programFolder.isEmpty() ? QCoreApplication::applicationDirPath()
                                                        : m_services.programFolder;
    m_programFolder = AddTrailingSeparator(folder);
    m_enginePath = m_programFolder + QStringLiteral("wmaspi.dll");

    m_tasks = new TaskListModel(this);
    m_run = new ConversionRun(*m_tasks, *this, *m_services.interactive, *m_services.shell, *m_services.power, this);
    m_run->setEnginePath(m_enginePath);
    m_run->setSleepInhibitor(m_services.sleepInhibitor);
    connect(m_run, &ConversionRun::finished, this, &TMainForm::onRunFinished);
    m_pendingStart = new PendingStart(this);
    connect(m_pendingStart, &PendingStart::start, this, &TMainForm::startBatch);
    connect(m_pendingStart, &PendingStart::cancelled, this, &TMainForm::showIdle);

    m_probes = new ProbeQueue(*m_tasks, this);
    m_probes->setEnginePath(m_enginePath);
    connect(m_probes, &ProbeQueue::idle, this, &TMainForm::onAddingIdle);
    // The box follows the count at most ten times a second: a modal progress
    // box repaints (and runs the event loop) on every new value, which for
    // thousands of small files would cost more than reading them.
    connect(m_probes, &ProbeQueue::progress, this, [this, shown = QElapsedTimer()](int done, int total) mutable {
        if (m_addingProgress && (!shown.isValid() || shown.elapsed() >= 100 || done == total)) {
            shown.start();
            m_addingProgress->setMaximum(total);
            m_addingProgress->setValue(done);
            m_addingProgress->setLabelText(QStringLiteral("Adding files: %1 of %2").arg(done).arg(total));
        }
    });
    m_addingDelay = new QTimer(this);
    m_addingDelay->setSingleShot(true);
    m_addingDelay->setInterval(500);
    connect(m_addingDelay, &QTimer::timeout, this, &TMainForm::showAddingProgress);

    buildWidgets();
    edtOutputdir->setText(DefaultOutputFolder(m_programFolder));

    ltvTask->header()->setStyleSheet(
        QStringLiteral("QHeaderView::section { background-color: rgb(253, 228, 204); }"));

    m_versionText = ReadVersion(m_programFolder, *m_services.interactive).value_or(QStringLiteral("3.0"));

    // On Linux the manual is an HTML page opened with the desktop's browser.
    m_helpFile = m_programFolder + QStringLiteral("Vantorix.html");
    QCoreApplication::setApplicationName(QStringLiteral("Vantorix"));
    setWindowTitle(QStringLiteral("Vantorix V") + m_versionText);
    setWindowIcon(QIcon(QStringLiteral(":/pictures/vantorix.png")));

    m_inputExts = ::InputExts();
    m_inputMask = ::InputMask(m_inputExts);
    m_openDialogFilter = ::OpenDialogFilter(m_inputExts);

    {
        const QSignalBlocker blocker(cmbProfile);
        cmbProfile->addItems(ProfileList(m_programFolder));
        cmbProfile->setCurrentIndex(-1);
    }

    m_layout = std::make_unique<MainLayout>(MainLayoutWidgets{
        pantop, panBottom, panBottomRight, panMain, panSplitter, panProfile, splPreview, ltvTask, Toolbar1, imgStart,
        imgStop, panBottomCenter, cmbProfile, bbtnSetting, edtOutputdir, bbtnBrowser, bbtnOpen, panBottomLeft,
        labConvertingFile, pgbCurrent, labCurProgress, pgbTotal, labTotalProgress});
    // Nothing is clipped down to this size.
    setMinimumSize(MainLayout::minimumClientSize());
    // The list has its design size now: its width change from the starting
    // value is taken here, and the design widths below replace what it set.
    resize(DesignWidth, DesignHeight);
    m_layout->placeRegions(size());
    ltvTaskResize();

    // The task list is kept against a crash; one that a session left without
    // closing is offered before the command line's files come in.
    m_recovery = new TaskListRecovery(
        *m_tasks, m_services.recoveryFolder.isEmpty() ? DefaultRecoveryFolder() : m_services.recoveryFolder,
        [this] { return m_restoredBatch.value_or(SavedBatch{cmbProfile->currentText(), edtOutputdir->text()}); },
        this);
    m_restoredBatch = m_recovery->offerLeftLists(*m_services.interactive);
    if (m_tasks->rowCount() > 0)
        panGettingStarted->hide();
    connect(cmbProfile, &QComboBox::currentIndexChanged, m_recovery, &TaskListRecovery::batchChanged);
    connect(edtOutputdir, &QLineEdit::textChanged, m_recovery, &TaskListRecovery::batchChanged);

    AddCommandLineFiles();
    setAcceptDrops(true);
    // A file dropped on the output box is a task too, not text in the box.
    PassFileDropsOn(edtOutputdir);

    panBottomCenter->resize(BottomPanelDesignWidth, BottomHeight);
    panBottomLeft->resize(BottomPanelDesignWidth, BottomHeight);
    panBottomLeft->hide();

    for (int column = 0; column < 4; ++column)
        ltvTask->setColumnWidth(column, DesignColumnWidths[column]);

    ibtnAddFile->setToolTip(QStringLiteral("Add File"));
    ibtnAddDir->setToolTip(QStringLiteral("Add Directory"));
    ibtnRemove->setToolTip(QStringLiteral("Remove"));
    ibtnClear->setToolTip(QStringLiteral("Clear"));
    ibtnSetting->setToolTip(QStringLiteral("Settings"));
    ibtnAbout->setToolTip(QStringLiteral("About"));
    ibtnHelp->setToolTip(QStringLiteral("Help"));

    FormResize();
}

void TMainForm::buildWidgets()
{
    QFont font = this->font();
    font.setPointSize(8);
    setFont(font);

    pantop = named(new QWidget(this), "pantop");
    panBottom = named(new QWidget(this), "panBottom");
    panMain = named(new QWidget(this), "panMain");
    panSplitter = named(new QLabel(QStringLiteral("<>"), this), "panSplitter");
    panSplitter->setAlignment(Qt::AlignCenter);
    panSplitter->setCursor(Qt::SizeHorCursor);
    panSplitter->setFrameShape(QFrame::Panel);
    panSplitter->setFrameShadow(QFrame::Raised);
    panSplitter->installEventFilter(this);
    panProfile = named(new QWidget(this), "panProfile");

    buildBottomStrip();
    buildTaskArea();
    buildRightPane();
    buildPopupMenu();

    Memo1 = named(new QPlainTextEdit(this), "Memo1");
    Memo1->setReadOnly(true);
    Memo1->hide();

    timerTime = named(new QTimer(this), "timerTime");
    timerTime->setInterval(1000);
    connect(timerTime, &QTimer::timeout, this, &TMainForm::timerTimeTimer);
}

void TMainForm::buildBottomStrip()
{
    panBottomRight = named(new QWidget(panBottom), "panBottomRight");

    panBottomCenter = named(new QWidget(panBottomRight), "panBottomCenter");
    // The labels fit before their boxes whatever the font.
    FitLabel(makeLabel(QStringLiteral("Profile:"), panBottomCenter, 8, 13), 75 - 3 - 8);
    cmbProfile = named(new QComboBox(panBottomCenter), "cmbProfile");
    cmbProfile->setGeometry(75, 9, 407, 22);
    connect(cmbProfile, &QComboBox::currentIndexChanged, this, &TMainForm::cmbProfileChange);
    bbtnSetting = named(new QPushButton(QStringLiteral("&Setting"), panBottomCenter), "bbtnSetting");
    bbtnSetting->setGeometry(490, 8, 75, 25);
    connect(bbtnSetting, &QPushButton::clicked, this, &TMainForm::bbtnSettingClick);
    FitLabel(makeLabel(QStringLiteral("Output Path:"), panBottomCenter, 8, 45), 75 - 3 - 8);
    edtOutputdir = named(new QLineEdit(panBottomCenter), "edtOutputdir");
    edtOutputdir->setGeometry(75, 41, 322, 22);
    bbtnBrowser = named(new QPushButton(QStringLiteral("&Browse"), panBottomCenter), "bbtnBrowser");
    bbtnBrowser->setGeometry(405, 40, 75, 25);
    connect(bbtnBrowser, &QPushButton::clicked, this, &TMainForm::bbtnBrowserClick);
    bbtnOpen = named(new QPushButton(QStringLiteral("&Open"), panBottomCenter), "bbtnOpen");
    bbtnOpen->setGeometry(490, 40, 75, 25);
    connect(bbtnOpen, &QPushButton::clicked, this, &TMainForm::bbtnOpenClick);

    panBottomLeft = named(new QWidget(panBottomRight), "panBottomLeft");
    makeLabel(QStringLiteral("Converting:"), panBottomLeft, 8, 5);
    labConvertingFile = named(makeLabel(QStringLiteral("No File"), panBottomLeft, 115, 5), "labConvertingFile");
    labConvertingFile->resize(440, labConvertingFile->height());
    makeLabel(QStringLiteral("Time Elapsed:"), panBottomLeft, 8, 21);
    labElapsed = named(makeLabel(QStringLiteral("00:00:00"), panBottomLeft, 115, 21), "labElapsed");
    labElapsed->resize(90, labElapsed->height());
    makeLabel(QStringLiteral("Time Remaining:"), panBottomLeft, 230, 21);
    labRemaining = named(makeLabel(QStringLiteral("00:00:00"), panBottomLeft, 340, 21), "labRemaining");
    labRemaining->resize(90, labRemaining->height());
    makeLabel(QStringLiteral("Current Progress:"), panBottomLeft, 8, 39);
    pgbCurrent = named(new QProgressBar(panBottomLeft), "pgbCurrent");
    pgbCurrent->setGeometry(115, 39, 430, 14);
    labCurProgress = named(makeLabel(QStringLiteral("0%"), panBottomLeft, 553, 39), "labCurProgress");
    makeLabel(QStringLiteral("Total Progress:"), panBottomLeft, 8, 57);
    pgbTotal = named(new QProgressBar(panBottomLeft), "pgbTotal");
    pgbTotal->setGeometry(115, 57, 430, 14);
    labTotalProgress = named(makeLabel(QStringLiteral("0%"), panBottomLeft, 553, 57), "labTotalProgress");
    for (QProgressBar *bar : {pgbCurrent, pgbTotal}) {
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setTextVisible(false);
    }
    for (QLabel *label : {labCurProgress, labTotalProgress})
        label->resize(30, label->height());

    imgStop = named(new PictureButton(StartStopSize, panBottomRight), "imgStop");
    imgStop->setPicture(stripImage(QStringLiteral(":/pictures/stop.png"), 0, StartStopSize));
    connect(imgStop, &PictureButton::clicked, this, &TMainForm::imgStopClick);
    imgStart = named(new PictureButton(StartStopSize, panBottomRight), "imgStart");
    imgStart->setPicture(stripImage(QStringLiteral(":/pictures/start.png"), 0, StartStopSize));
    connect(imgStart, &PictureButton::clicked, this, &TMainForm::imgStartClick);

    // The commands behind the pictures, reachable without a pointer.
    tbtnStart = named(new QToolButton(this), "tbtnStart");
    tbtnStart->hide();
    connect(tbtnStart, &QToolButton::clicked, this, &TMainForm::tbtnStartClick);
    tbtnStop = named(new QToolButton(this), "tbtnStop");
    tbtnStop->hide();
    connect(tbtnStop, &QToolButton::clicked, this, &TMainForm::tbtnStopClick);

    new StartStopPictures(imgStart, imgStop, panBottomRight);
}

void TMainForm::buildTaskArea()
{
    ltvTask = named(new QTreeView(panMain), "ltvTask");
    ltvTask->setModel(m_tasks);
    ltvTask->setRootIsDecorated(false);
    ltvTask->setUniformRowHeights(true);
    ltvTask->setItemsExpandable(false);
    ltvTask->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ltvTask->setSelectionBehavior(QAbstractItemView::SelectRows);
    ltvTask->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ltvTask->setContextMenuPolicy(Qt::CustomContextMenu);
    ltvTask->header()->setStretchLastSection(false);
    ltvTask->header()->setSectionsMovable(false);
    for (int column = TaskListModel::VisibleColumnCount; column < TaskListModel::ColumnCount; ++column)
        ltvTask->setColumnHidden(column, true);
    ltvTask->installEventFilter(this);
    ltvTask->viewport()->installEventFilter(this);
    connect(ltvTask, &QWidget::customContextMenuRequested, this, &TMainForm::ppmTaskPopup);

    Toolbar1 = named(new QWidget(panMain), "Toolbar1");
    const QString normal = QStringLiteral(":/pictures/toolbar-normal.png");
    const QSize buttonSize(ToolButtonSize, ToolButtonSize);
    int x = 5 + ListMargin - 5;
    auto addButton = [&](const char *name, int index, void (TMainForm::*handler)()) {
        auto *button = named(new PictureButton(buttonSize, Toolbar1), name);
        button->move(x, (ToolbarHeight - ToolButtonSize) / 2);
        button->setPicture(stripImage(normal, index, buttonSize));
        if (handler)
            connect(button, &PictureButton::clicked, this, handler);
        x += ToolButtonSize;
        return button;
    };
    auto addGap = [&](const char *name) {
        auto *gap = named(new QWidget(Toolbar1), name);
        gap->setGeometry(x, (ToolbarHeight - ToolButtonSize) / 2, ToolbarGap, ToolButtonSize);
        x += ToolbarGap;
    };
    ibtnAddFile = addButton("ibtnAddFile", 0, &TMainForm::tbtnAddFileClick);
    ibtnAddDir = addButton("ibtnAddDir", 1, &TMainForm::tbtnAddDirClick);
    addGap("panmargin1");
    ibtnRemove = addButton("ibtnRemove", 2, &TMainForm::tbtnRemoveClick);
    ibtnClear = addButton("ibtnClear", 3, &TMainForm::tbtnClearClick);
    addGap("panmarin2");
    ibtnSetting = addButton("ibtnSetting", 4, &TMainForm::tbtnSettingClick);
    ibtnAbout = addButton("ibtnAbout", 5, &TMainForm::tbtnAboutClick);
    ibtnHelp = addButton("ibtnHelp", 6, &TMainForm::tbtnHelpClick);
    // The pictures follow the pointer: normal, hover and pressed.
    new ImageToolbar(Toolbar1, {ibtnAddFile, ibtnAddDir, ibtnRemove, ibtnClear, ibtnSetting, ibtnAbout, ibtnHelp},
                     {Toolbar1->findChild<QWidget *>(QStringLiteral("panmargin1")),
                      Toolbar1->findChild<QWidget *>(QStringLiteral("panmarin2"))});

    panGettingStarted = BuildGettingStartedPanel(panMain);
}

void TMainForm::buildRightPane()
{
    splPreview = named(new QSplitter(Qt::Vertical, panProfile), "splPreview");
    splPreview->setHandleWidth(4);
    splPreview->setChildrenCollapsible(false);

    panPreview = new PreviewPanel(*m_services.interactive, splPreview);
    panPreview->setMinimumHeight(PreviewPanel::StripHeight);
    connect(panPreview, &PreviewPanel::playClicked, this, &TMainForm::sbtnPlayClick);

    gpbProfile = named(new QGroupBox(QStringLiteral("Parameters"), splPreview), "gpbProfile");
    auto *groupLayout = new QVBoxLayout(gpbProfile);
    groupLayout->setContentsMargins(2, 2, 2, 2);

    m_outputGrid.appendRow(NewFilenameKey);
    m_outputGrid.appendRow(StartTimeKey);
    m_outputGrid.appendRow(EndTimeKey);

    m_editors = named(new ParameterEditors(ParameterEditors::MainWindowLayout(), m_grids, &m_outputGrid, gpbProfile),
                      "scbParameters");
    groupLayout->addWidget(m_editors);
    vleOutput = m_editors->vleOutput();
    vleVideo = m_editors->vleVideo();
    vleAudio = m_editors->vleAudio();
    vleAdvanced = m_editors->vleAdvanced();

    m_outputView = std::make_unique<OutputSettingsView>(*m_tasks, *ltvTask->selectionModel(), m_outputGrid,
                                                        [this] { return m_outputExt; });
    connect(vleOutput, &ValueListGrid::validate, this, &TMainForm::vleOutputValidate);
    connect(vleOutput, &ValueListGrid::mousePressed, this, &TMainForm::vleOutputMouseDown);
    connect(vleVideo, &ValueListGrid::valuesChanged, this, &TMainForm::vleVideoStringsChange);

    splPreview->setSizes({PreviewHeight, 1000});
    splPreview->setStretchFactor(0, 0);
    splPreview->setStretchFactor(1, 1);
}

void TMainForm::buildPopupMenu()
{
    ppmTask = named(new QMenu(this), "ppmTask");
    // "Open" plays the row in the preview.
    ppmTask->addAction(QStringLiteral("Open"), this, &TMainForm::ltvTaskDblClick)
        ->setObjectName(QStringLiteral("mniOpen"));
    ppmTask->addSeparator();
    QAction *addFiles = ppmTask->addAction(QStringLiteral("Add Files..."), this, &TMainForm::tbtnAddFileClick);
    addFiles->setObjectName(QStringLiteral("mniAddFiles"));
    QAction *addDir = ppmTask->addAction(QStringLiteral("Add Directorys..."), this, &TMainForm::tbtnAddDirClick);
    addDir->setObjectName(QStringLiteral("mniAddDirectory"));
    ppmTask->addSeparator();
    ppmTask->addAction(QStringLiteral("Remove"), this, &TMainForm::tbtnRemoveClick)
        ->setObjectName(QStringLiteral("mniRemove"));
    ppmTask->addAction(QStringLiteral("Clear"), this, &TMainForm::tbtnClearClick)
        ->setObjectName(QStringLiteral("mniClear"));
    // Pause and Resume of a running batch (Ctrl+P).
    new PauseActions(*m_run, *ppmTask, *this, *ltvTask);
    ppmTask->addSeparator();
    ppmTask->addAction(QStringLiteral("Engine Output..."), this, &TMainForm::mniEngineOutputClick)
        ->setObjectName(QStringLiteral("mniEngineOutput"));
}

void TMainForm::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_layout->placeRegions(size());
    FormResize();
    // Without a window manager nothing holds the window to its minimum size.
    if (isWindow() && (width() < minimumWidth() || height() < minimumHeight()))
        QTimer::singleShot(0, this, [this] { resize(size().expandedTo(minimumSize())); });
}

void TMainForm::FormResize()
{
    m_layout->placeBottomRows();
}

void TMainForm::panSplitterMouseMove(int x, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers)
{
    if (buttons != Qt::LeftButton || modifiers != Qt::NoModifier || x == 0)
        return;
    m_layout->setRightPaneWidth(m_layout->rightPaneWidth() - x + 5);
    m_layout->placeRegions(size());
    FormResize();
}

void TMainForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_shown)
        return;
    m_shown = true;
    if (const QScreen *screen = this->screen()) {
        const QRect available = screen->availableGeometry();
        const QRect frame = frameGeometry();
        move(available.center() - QPoint(frame.width() / 2, frame.height() / 2));
    }
    FormShow();
    restoreBatchSettings();
}

void TMainForm::FormShow()
{
    const std::optional<MainPreferences> stored =
        LoadMainPreferences(m_programFolder, cmbProfile->count(), *m_services.interactive);
    if (!stored)
        return;
    edtOutputdir->setText(stored->outputPath);
    if (cmbProfile->count() > 0) {
        {
            const QSignalBlocker blocker(cmbProfile);
            cmbProfile->setCurrentIndex(stored->profileIndex);
        }
        cmbProfileChange();
    }
}

void TMainForm::closeEvent(QCloseEvent *event)
{
    // A run is not given up without a word; the end of a batch and a signal
    // close without asking.
    if (!m_closeWithoutAsking && m_run->RunState() != ConversionRun::Idle
        && !m_services.interactive->questionDefaultNo(QStringLiteral("Vantorix"),
                                                      QStringLiteral("A conversion is running. Stop it and exit?"))) {
        event->ignore();
        return;
    }
    FormClose();
    QWidget::closeEvent(event);
}

void TMainForm::closeWithoutAsking()
{
    m_closeWithoutAsking = true;
    close();
    m_closeWithoutAsking = false;
}

void TMainForm::FormClose()
{
    // Closing during a batch or while files are added ends the engine first:
    // no process outlives the program.
    m_pendingStart->cancel();
    if (m_probes->isBusy())
        m_probes->cancel();
    if (m_run->RunState() != ConversionRun::Idle)
        m_run->abandon();

    MainPreferences main;
    main.outputPath = edtOutputdir->text();
    main.profileIndex = cmbProfile->currentIndex();
    SaveMainPreferences(m_programFolder, main, generalSettings().generalPreferences(), *m_services.interactive);
    m_recovery->closeNormally();
}

// A restored task list brings back its batch's output folder and profile over
// the stored preferences.
void TMainForm::restoreBatchSettings()
{
    if (!m_restoredBatch)
        return;
    const SavedBatch batch = *std::exchange(m_restoredBatch, std::nullopt);
    if (!batch.outputFolder.isEmpty())
        edtOutputdir->setText(batch.outputFolder);
    const int profile = cmbProfile->findText(batch.profile);
    if (profile >= 0 && profile != cmbProfile->currentIndex()) {
        {
            const QSignalBlocker blocker(cmbProfile);
            cmbProfile->setCurrentIndex(profile);
        }
        cmbProfileChange();
    }
    m_recovery->batchChanged();
}

// ---------------------------------------------------------------------------
// Events of the list, the splitter and drops

bool TMainForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ltvTask) {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (key == Qt::Key_Backspace) {
                tbtnClearClick();
                return true;
            }
            if (key == Qt::Key_Delete) {
                tbtnRemoveClick();
                return true;
            }
        } else if (event->type() == QEvent::Resize) {
            ltvTaskResize();
        }
    } else if (watched == ltvTask->viewport()) {
        // The click is handled once the list has updated its selection.
        if (event->type() == QEvent::MouseButtonRelease
            && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
            QMetaObject::invokeMethod(this, &TMainForm::ltvTaskClick, Qt::QueuedConnection);
        else if (event->type() == QEvent::MouseButtonDblClick
                 && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
            QMetaObject::invokeMethod(this, &TMainForm::ltvTaskDblClick, Qt::QueuedConnection);
    } else if (watched == panSplitter && event->type() == QEvent::MouseMove) {
        const auto *move = static_cast<QMouseEvent *>(event);
        panSplitterMouseMove(qRound(move->position().x()), move->buttons(), move->modifiers());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TMainForm::dragEnterEvent(QDragEnterEvent *event)
{
    if (ltvTask->isEnabled() && CarriesLocalFiles(event->mimeData()))
        event->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent *event)
{
    if (!ltvTask->isEnabled())
        return;
    for (const QUrl &url : event->mimeData()->urls()) {
        if (!url.isLocalFile())
            continue;
        const QString path = QDir::toNativeSeparators(url.toLocalFile());
        const QFileInfo info(path);
        if (info.isDir())
            AddTaskFolder(path);
        else if (HasInputExt(path, m_inputExts))
            AddTaskFile(path);
    }
    event->acceptProposedAction();
}

// ---------------------------------------------------------------------------
// Task list operations

bool TMainForm::isAdding() const
{
    // The queue is idle once the last row is in; the window has acted on the
    // rows (selected a lone one, started a waiting batch) only when it has
    // handled the queue's idle().
    return m_probes->isBusy() || m_addingAnnounced;
}

void TMainForm::AddTaskFile(const QString &path)
{
    panGettingStarted->hide();
    // A running batch has taken its rows: a row added now would be listed
    // and never converted.
    if (m_run->RunState() != ConversionRun::Idle || !m_probes->enqueue(path, m_outputExt))
        return;
    m_addingAnnounced = true;
    if (!m_addingProgress && !m_addingDelay->isActive())
        m_addingDelay->start();
}

void TMainForm::AddTaskFolder(const QString &folder)
{
    for (const QString &path : ListInputFiles(folder, m_inputExts))
        AddTaskFile(path);
}

void TMainForm::AddCommandLineFiles()
{
    QString error;
    const QStringList paths = CommandLinePaths(m_services.arguments, &error);
    if (!error.isEmpty())
        m_services.interactive->warning(QStringLiteral("Vantorix"), error);
    for (const QString &argument : paths) {
        const QFileInfo info(argument);
        const QString path = QDir::toNativeSeparators(QDir::cleanPath(info.absoluteFilePath()));
        if (info.isFile()) {
            if (HasInputExt(path, m_inputExts))
                AddTaskFile(path);
        } else if (info.isDir()) {
            AddTaskFolder(path);
        }
    }
}

void TMainForm::showAddingProgress()
{
    if (!m_probes->isBusy() || m_addingProgress)
        return;
    auto *dialog = new QProgressDialog(this);
    dialog->setObjectName(QStringLiteral("dlgAddingFiles"));
    dialog->setWindowTitle(QStringLiteral("Adding files"));
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setAutoClose(false);
    dialog->setAutoReset(false);
    dialog->setMinimumDuration(0);
    dialog->setRange(0, m_probes->total());
    dialog->setValue(m_probes->done());
    dialog->setLabelText(QStringLiteral("Adding files: %1 of %2").arg(m_probes->done()).arg(m_probes->total()));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QProgressDialog::canceled, this, [this] {
        m_probes->cancel();
        m_pendingStart->cancel();
    });
    m_addingProgress = dialog;
    dialog->show();
}

void TMainForm::whenAddingDone(std::function<void()> action)
{
    if (isAdding())
        m_afterAdding.push_back(std::move(action));
    else
        action();
}

void TMainForm::onAddingIdle()
{
    m_addingAnnounced = false;
    m_addingDelay->stop();
    if (m_addingProgress) {
        m_addingProgress->disconnect(this);
        m_addingProgress->close();
    }
    std::vector<std::function<void()>> actions;
    actions.swap(m_afterAdding);
    for (const auto &action : actions)
        action();
    emit addingFinished();
    m_pendingStart->addingFinished();
}

void TMainForm::SetGridValue(int grid, const QString &key, const QString &value)
{
    if (ValueListGrid *target = gridByNumber(grid))
        target->setGridValue(key, value);
}

ValueListGrid *TMainForm::gridByNumber(int grid) const
{
    switch (grid) {
    case 0:
        return vleOutput;
    case 1:
        return vleVideo;
    case 2:
        return vleAudio;
    case 3:
        return vleAdvanced;
    default:
        return nullptr;
    }
}

void TMainForm::tbtnAddFileClick()
{
    const QStringList files = m_services.dialogs->openFiles(this, FilterEntries(m_openDialogFilter));
    // The first-listed file is added last.
    for (qsizetype i = 1; i < files.size(); ++i)
        AddTaskFile(files[i]);
    if (!files.isEmpty())
        AddTaskFile(files.first());
    whenAddingDone([this] {
        if (m_tasks->rowCount() == 1) {
            ltvTask->selectionModel()->select(m_tasks->index(0, 0),
                                              QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            ltvTaskClick();
        }
    });
    ltvTask->setFocus();
}

void TMainForm::tbtnAddDirClick()
{
    if (const std::optional<QString> folder =
            m_services.dialogs->pickFolder(this, QStringLiteral("Add a directory to the Task List")))
        AddTaskFolder(*folder);
    ltvTask->setFocus();
}

void TMainForm::emptyOutputSettings()
{
    SetGridValue(0, NewFilenameKey, QString());
    SetGridValue(0, StartTimeKey, QString());
    SetGridValue(0, EndTimeKey, QString());
}

void TMainForm::tbtnRemoveClick()
{
    QList<int> rows;
    for (const QModelIndex &index : ltvTask->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    for (int row : rows)
        m_tasks->removeRow(row);
    emptyOutputSettings();
}

void TMainForm::tbtnClearClick()
{
    for (int row = m_tasks->rowCount() - 1; row >= 0; --row)
        m_tasks->removeRow(row);
    emptyOutputSettings();
}

void TMainForm::ppmTaskPopup()
{
    const bool selected = ltvTask->selectionModel()->hasSelection();
    const bool rows = m_tasks->rowCount() > 0;
    for (QAction *action : ppmTask->actions()) {
        const QString name = action->objectName();
        if (name == QLatin1String("mniOpen") || name == QLatin1String("mniRemove"))
            action->setEnabled(selected);
        else if (name == QLatin1String("mniClear"))
            action->setEnabled(rows);
        else if (name == QLatin1String("mniEngineOutput"))
            action->setEnabled(!firstSelectedEngineOutput().isEmpty());
    }
    if (sender() == ltvTask)
        ppmTask->popup(QCursor::pos());
}

void TMainForm::ltvTaskResize()
{
    const int width = ltvTask->width();
    const int change = width - m_lastListWidth;
    m_lastListWidth = width;
    if (change == 0)
        return;
    for (int column = 0; column < 4; ++column)
        ltvTask->setColumnWidth(
            column, static_cast<int>(RoundHalfEven(ltvTask->columnWidth(column) + change * ColumnShares[column])));
}

// ---------------------------------------------------------------------------
// Output settings of the selected task

// The grid follows every change of the selection by itself (OutputSettingsView);
// a click shows the row's stored values again, dropping what was typed.
void TMainForm::ltvTaskClick()
{
    m_outputView->showSelected(true);
}

void TMainForm::vleOutputValidate()
{
    const QString refused = m_outputView->storeEdit();
    if (!refused.isEmpty())
        m_services.interactive->information(QStringLiteral("Invalid file name"), refused);
}

void TMainForm::vleOutputMouseDown()
{
    if (vleOutput->value(NewFilenameKey).isEmpty()) {
        QWidget *under = QApplication::widgetAt(QCursor::pos());
        AttachBalloonTip(under ? under : vleOutput->viewport(), 1, QStringLiteral("Tip:"),
                         QStringLiteral("Please select a file in Task List."));
        vleOutput->refuseEditOnThisPress();
        return;
    }
    m_editors->refreshGrids();
}

void TMainForm::vleVideoStringsChange()
{
    // Only a choice made on the "Video Size" row itself asks for a size.
    const QModelIndex cursor = vleVideo->currentIndex();
    if (!m_sizeForm || !cursor.isValid() || m_sizeForm->isOpen())
        return;
    if (m_grids.video.nameAt(cursor.row()) != VideoSizeKey || m_grids.video.value(VideoSizeKey) != CustomSize)
        return;
    m_sizeForm->show();
}

// ---------------------------------------------------------------------------
// Profile, output folder, help

void TMainForm::cmbProfileChange()
{
    const QString path = ProfilePath(m_programFolder, cmbProfile->currentText());
    if (cmbProfile->currentIndex() < 0 || !QFileInfo::exists(path))
        return;
    const int cursorRow = vleVideo->currentIndex().row();
    if (LoadProfile(path, m_grids, *m_services.interactive, &m_outputExt) == ProfileStatus::Missing)
        return;
    m_editors->profileLoaded();
    // The Video grid's cursor stays on its row, without opening an editor
    // there or taking the focus; a stored "Custom Size" under it asks for a
    // size at once.
    if (cursorRow >= 0 && cursorRow < m_grids.video.rowCount()) {
        const QAbstractItemView::EditTriggers triggers = vleVideo->editTriggers();
        vleVideo->setEditTriggers(QAbstractItemView::NoEditTriggers);
        vleVideo->setCurrentIndex(m_grids.video.index(cursorRow, ParameterGrid::ValueColumn));
        vleVideo->setEditTriggers(triggers);
        vleVideoStringsChange();
    }
}

void TMainForm::bbtnBrowserClick()
{
    if (const std::optional<QString> folder =
            m_services.dialogs->pickFolder(this, QStringLiteral("Select the output directory.")))
        edtOutputdir->setText(AddTrailingSeparator(*folder));
}

void TMainForm::bbtnOpenClick()
{
    const QString folder = edtOutputdir->text();
    if (!folder.isEmpty() && QFileInfo(folder).isDir())
        m_services.shell->openPath(QDir(folder).absolutePath());
}

void TMainForm::tbtnHelpClick()
{
    m_services.shell->openPath(m_helpFile);
}

void TMainForm::tbtnSettingClick()
{
    if (m_settingForm)
        m_settingForm->showGeneral();
}

void TMainForm::bbtnSettingClick()
{
    if (m_settingForm)
        m_settingForm->showProfiles(cmbProfile->currentIndex());
}

// ---------------------------------------------------------------------------
// What the Settings window reads and changes here

QStringList TMainForm::profileItems() const
{
    QStringList items;
    for (int i = 0; i < cmbProfile->count(); ++i)
        items << cmbProfile->itemText(i);
    return items;
}

int TMainForm::profileIndex() const
{
    return cmbProfile->currentIndex();
}

QString TMainForm::profileText() const
{
    return cmbProfile->currentText();
}

QString TMainForm::outputFolderText() const
{
    return edtOutputdir->text();
}

void TMainForm::setOutputFolderText(const QString &folder)
{
    edtOutputdir->setText(folder);
}

void TMainForm::reloadProfile()
{
    cmbProfileChange();
}

void TMainForm::insertProfileItem(int position, const QString &name)
{
    // The selection moves with its item and nothing is loaded: the grids
    // keep what the user set there.
    const QSignalBlocker blocker(cmbProfile);
    cmbProfile->insertItem(position, name);
}

// ---------------------------------------------------------------------------
// Batch control

int TMainForm::RunState() const
{
    return m_run->RunState();
}

void TMainForm::imgStartClick()
{
    if (m_tasks->rowCount() == 0 && !isAdding())
        return;
    imgStart->hide();
    imgStop->show();
    tbtnStartClick();
}

void TMainForm::imgStopClick()
{
    imgStop->hide();
    imgStart->show();
    tbtnStopClick();
}

void TMainForm::tbtnStartClick()
{
    ltvTask->setFocus();
    const QString folder = edtOutputdir->text();
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        m_services.interactive->information(QStringLiteral("Output path does not exist"),
                                            QStringLiteral("The output path does not exist. Please specify another one."));
        edtOutputdir->setFocus();
        imgStart->show();
        imgStop->hide();
        return;
    }
    if (m_run->RunState() != ConversionRun::Idle || m_pendingStart->isWaiting())
        return;
    if (isAdding()) {
        // Files are still being added: the batch looks started from now on
        // and begins once they are listed.
        PrepareForBatch();
        imgStart->hide();
        imgStop->show();
        setConvertingFile(PendingStart::waitingText());
        showProgressPanel(true);
        m_pendingStart->wait();
        return;
    }
    startBatch();
}

// The batch begins: it takes the rows listed now.
void TMainForm::startBatch()
{
    if (m_tasks->rowCount() == 0) {
        showIdle();
        return;
    }
    PrepareForBatch();
    const std::optional<QString> params = BuildParameterString(
        ProfilePath(m_programFolder, cmbProfile->currentText()), m_grids, *m_services.interactive);
    if (!params) {
        // A malformed profile was reported; nothing starts.
        showIdle();
        return;
    }
    m_run->RunConversion(*params);
}

void TMainForm::tbtnStopClick()
{
    m_pendingStart->cancel();
    m_run->requestStop();
}

// A batch that waited for the files being added and will not start, or that
// could not start.
void TMainForm::showIdle()
{
    showProgressPanel(false);
    EnableControls();
}

void TMainForm::onRunFinished()
{
    EnableControls();
}

// What a batch must not see changed, in the order they are disabled and enabled.
QList<QWidget *> TMainForm::batchLockedControls() const
{
    return {ibtnAddFile, ibtnAddDir, ibtnRemove, ibtnClear, ibtnSetting, ltvTask, panSplitter, gpbProfile};
}

void TMainForm::PrepareForBatch()
{
    panPreview->stop();
    for (QWidget *widget : batchLockedControls())
        widget->setEnabled(false);
}

void TMainForm::EnableControls()
{
    for (QWidget *widget : batchLockedControls())
        widget->setEnabled(true);
    imgStop->hide();
    imgStart->show();
}

void TMainForm::timerTimeTimer()
{
    m_run->timerTick();
}

// ---------------------------------------------------------------------------
// What the conversion run shows and reads

void TMainForm::setConvertingFile(const QString &text)
{
    labConvertingFile->setText(text);
}

void TMainForm::setElapsedText(const QString &text)
{
    labElapsed->setText(text);
}

void TMainForm::setRemainingText(const QString &text)
{
    labRemaining->setText(text);
}

void TMainForm::setCurrentProgress(int position, const QString &label)
{
    pgbCurrent->setValue(position);
    labCurProgress->setText(label);
}

void TMainForm::setTotalProgress(int position, const QString &label)
{
    pgbTotal->setValue(position);
    labTotalProgress->setText(label);
    if (m_services.desktop)
        m_services.desktop->showProgress(position / 100.0);
}

void TMainForm::showProgressPanel(bool running)
{
    panBottomCenter->setVisible(!running);
    panBottomLeft->setVisible(running);
}

void TMainForm::setMemoText(const QString &text)
{
    Memo1->setPlainText(text);
}

void TMainForm::setTimerEnabled(bool enabled)
{
    if (enabled)
        timerTime->start();
    else
        timerTime->stop();
    if (!enabled)
        reportBatchEnd();
}

// The run stops its timer when the batch ends, before its closing message:
// the launcher entry stops showing progress and, when the user is in another
// window, the desktop tells how the batch went. A batch that was stopped (a
// row neither converted nor failed) tells nothing.
void TMainForm::reportBatchEnd()
{
    if (!m_services.desktop)
        return;
    m_services.desktop->hideProgress();
    const int total = m_tasks->rowCount();
    int converted = 0;
    int failed = 0;
    for (int row = 0; row < total; ++row) {
        ltvItemData task;
        ReadItemData(*m_tasks, row, 2, task); // sub-item 2: the status
        converted += task.StatusText == RowStatus::Complete;
        failed += task.StatusText == RowStatus::Failed;
    }
    if (total > 0 && converted + failed == total && !isActiveWindow())
        m_services.desktop->notify(BatchEndMessage(converted, total));
}

QString TMainForm::outputFolder() const
{
    return edtOutputdir->text();
}

BatchOptions TMainForm::batchOptions() const
{
    const GeneralPreferences general = generalSettings().generalPreferences();
    BatchOptions options;
    options.rename = !general.overwrite;
    options.openDir = general.openDir;
    options.exitProgram = general.exitProgram;
    options.turnOff = general.turnOff;
    options.jobs = general.jobs;
    return options;
}

void TMainForm::closeMainWindow()
{
    closeWithoutAsking();
}

void TMainForm::requestPowerOffConfirmation(std::function<void(bool)> answered)
{
    m_services.dialogs->countdown(this, QStringLiteral("Turn off"),
                                  QStringLiteral("The computer will be turned off in %1 seconds."), 30,
                                  std::move(answered));
}

// ---------------------------------------------------------------------------
// Preview and About

void TMainForm::setAboutForm(TAboutForm *form)
{
    m_aboutForm = form;
}

void TMainForm::tbtnAboutClick()
{
    if (!m_aboutForm) {
        m_ownAboutForm = std::make_unique<TAboutForm>(DefaultAboutInfo(m_versionText), *m_services.shell, this);
        m_aboutForm = m_ownAboutForm.get();
    }
    m_aboutForm->show();
    m_aboutForm->raise();
    m_aboutForm->activateWindow();
}

void TMainForm::ltvTaskDblClick()
{
    if (ltvTask->selectionModel()->hasSelection())
        PreviewSelectedTask();
}

void TMainForm::sbtnPlayClick()
{
    QList<int> selected;
    for (const QModelIndex &index : ltvTask->selectionModel()->selectedRows())
        selected << index.row();
    const int row = PlayRow(m_tasks->rowCount(), selected);
    if (row < 0)
        return;
    if (selected.isEmpty())
        ltvTask->selectionModel()->select(m_tasks->index(row, 0),
                                          QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    PreviewSelectedTask();
}

void TMainForm::PreviewSelectedTask()
{
    const int row = FirstSelectedRow(*ltvTask->selectionModel());
    if (row < 0)
        return;
    ltvItemData task;
    ReadItemData(*m_tasks, row, CaptionField, task);
    panPreview->previewFile(task.InputFile);
}

QString TMainForm::firstSelectedEngineOutput() const
{
    const int row = FirstSelectedRow(*ltvTask->selectionModel());
    return row < 0 ? QString() : m_tasks->index(row, 0).data(TaskListModel::EngineOutputRole).toString();
}

void TMainForm::mniEngineOutputClick()
{
    const QString output = firstSelectedEngineOutput();
    if (output.isEmpty())
        return;
    if (!m_engineOutputForm)
        m_engineOutputForm = new EngineOutputForm(this);
    const QModelIndex caption = m_tasks->index(FirstSelectedRow(*ltvTask->selectionModel()), 0);
    m_engineOutputForm->showOutput(caption.data().toString(), output,
                                   caption.data(TaskListModel::ResultNotesRole).toString());
    m_engineOutputForm->show();
    m_engineOutputForm->raise();
    m_engineOutputForm->activateWindow();
}
