#include "app/mainform.h"

#include "app/imagetoolbar.h"
#include "app/gettingstarted.h"
#include "app/mainlayout.h"
#include "app/pauseactions.h"
#include "app/batchcontroller.h"
#include "app/profilecontroller.h"
#include "app/tasklistcontroller.h"
#include "app/tasklistview.h"
#include "app/watchcontroller.h"
#include "app/picturebutton.h"
#include "conversion/conversionrun.h"
#include "conversion/taskorder.h"
#include "conversion/outputnaming.h"
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
#include "conversion/outputsettings.h"
#include "ui/blockingwindow.h"
#include "ui/parametereditors.h"
#include "ui/shellhelpers.h"
#include "ui/sizeform.h"
#include "conversion/tasklistops.h"
#include "ui/valuelistgrid.h"
#include "ui/widgetbuilding.h"

#include <QAccessibleWidget>
#include <QAction>
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
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTimer>
#include <QStyledItemDelegate>
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

// The main window is a window to a screen reader, not a plain panel.
QAccessibleInterface *mainWindowAccessible(const QString &className, QObject *object)
{
    if (className == QLatin1String("TMainForm") && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Window);
    return nullptr;
}

// The Status column shows its stored values in the user's language.
class StatusDelegate final : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QString displayText(const QVariant &value, const QLocale &locale) const override
    {
        return QStyledItemDelegate::displayText(ShownStatus(value.toString()), locale);
    }
};

} // namespace

TMainForm::TMainForm(const MainFormServices &services, QWidget *parent)
    : QWidget(parent)
    , m_services(services)
{
    setObjectName(QStringLiteral("TMainForm"));
    static const bool accessible = (QAccessible::installFactory(mainWindowAccessible), true);
    Q_UNUSED(accessible)
    FormCreate();
}

TMainForm::~TMainForm()
{
    // No probe or engine outlives the window.
    m_list->cancelAdding();
    if (m_run)
        m_run->abandon();
}

void TMainForm::setSettingForm(TSettingForm *form)
{
    m_settingForm = form;
    if (form)
        connect(form, &TSettingForm::outputPlaceChanged, this, &TMainForm::showOutputPlace);
    showOutputPlace();
}

void TMainForm::setSizeForm(TSizeForm *form)
{
    m_sizeForm = form;
    m_profile->setSizeForm(form);
}

ParameterGrids &TMainForm::grids()
{
    return m_profile->grids();
}

QString TMainForm::OutputExt() const
{
    return m_profile->outputExt();
}

void TMainForm::setGeneralSettings(const IGeneralSettings *settings)
{
    m_generalSettings = settings;
    showOutputPlace();
}

// Outputs that go beside their inputs need no output folder: the box says so
// instead of showing a folder that is not used.
void TMainForm::showOutputPlace()
{
    const bool beside = generalSettings().generalPreferences().outputPlace == static_cast<int>(OutputPlace::Beside);
    labOutputBeside->setGeometry(edtOutputdir->rect().adjusted(1, 1, -1, -1));
    labOutputBeside->setVisible(beside);
    for (QWidget *control : {static_cast<QWidget *>(edtOutputdir), static_cast<QWidget *>(bbtnBrowser),
                             static_cast<QWidget *>(bbtnOpen)})
        control->setEnabled(!beside);
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
    m_profile = new ProfileController(m_programFolder, *m_services.interactive, this);
    m_list = new TaskListController(*m_tasks, *m_run, *m_services.interactive, *m_services.dialogs,
                                    [this] { return m_profile->outputExt(); }, this);
    m_list->setEnginePath(m_enginePath);
    connect(m_list, &TaskListController::addingFinished, this, &TMainForm::addingFinished);
    connect(m_list, &TaskListController::includeSubfoldersChosen, this,
            [this](bool include) { SaveIncludeSubfolders(m_programFolder, include, *m_services.interactive); });
    m_batch = new BatchController(*m_run, *m_tasks, *m_list, *m_services.interactive, m_services.desktop,
                                  [this] { return m_profile->parameters(); }, this);
    m_batch->setGeneral([this] { return generalSettings().generalPreferences(); });

    buildWidgets();
    m_list->attach({this, ltvTask, panGettingStarted, m_editors, vleOutput, panPreview}, m_outputGrid);
    m_batch->attach({imgStart, imgStop, panBottomCenter, panBottomLeft, labConvertingFile, edtOutputdir,
                     panPreview, batchLockedControls(), timerTime});
    m_profile->attach(cmbProfile, m_editors, vleVideo);
    edtOutputdir->setText(DefaultOutputFolder(m_programFolder));

    ltvTask->header()->setStyleSheet(
        QStringLiteral("QHeaderView::section { background-color: rgb(253, 228, 204); }"));

    m_versionText = ReadVersion(m_programFolder, *m_services.interactive).value_or(QStringLiteral("3.0"));

    // On Linux the manual is an HTML page opened with the desktop's browser.
    m_helpFile = m_programFolder + QStringLiteral("Vantorix.html");
    QCoreApplication::setApplicationName(QStringLiteral("Vantorix"));
    setWindowTitle(QStringLiteral("Vantorix V") + m_versionText);
    setWindowIcon(QIcon(QStringLiteral(":/pictures/vantorix.png")));

    m_inputExts = m_list->inputExts();
    m_inputMask = ::InputMask(m_inputExts);
    m_openDialogFilter = ::OpenDialogFilter(m_inputExts);

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
    connect(cmbProfile, &QComboBox::currentIndexChanged, m_recovery, &TaskListRecovery::batchChanged);
    connect(edtOutputdir, &QLineEdit::textChanged, m_recovery, &TaskListRecovery::batchChanged);

    // Folders on the command line and dropped ones follow the choice the Add
    // Directory box was last given.
    m_list->setIncludeSubfolders(ReadIncludeSubfolders(m_programFolder, *m_services.interactive).value_or(false));
    // The command line's files follow the rows taken up again, once every
    // list left behind was answered for.
    m_recovery->offerLeftLists(*m_services.interactive,
                               [self = QPointer<TMainForm>(this)](std::optional<SavedBatch> batch) {
                                   if (!self)
                                       return;
                                   self->m_restoredBatch = std::move(batch);
                                   if (self->m_tasks->rowCount() > 0)
                                       self->panGettingStarted->hide();
                                   self->AddCommandLineFiles();
                                   // Shown already: the preferences were read.
                                   if (self->m_shown)
                                       self->restoreBatchSettings();
                               });
    setAcceptDrops(true);
    // A file dropped on the output box is a task too, not text in the box.
    PassFileDropsOn(edtOutputdir);

    panBottomCenter->resize(BottomPanelDesignWidth, BottomHeight);
    panBottomLeft->resize(BottomPanelDesignWidth, BottomHeight);
    panBottomLeft->hide();

    for (int column = 0; column < 4; ++column)
        ltvTask->setColumnWidth(column, DesignColumnWidths[column]);

    ibtnAddFile->setToolTip(tr("Add File (Ctrl+O, Insert)"));
    ibtnAddDir->setToolTip(tr("Add Directory (Ctrl+Shift+O)"));
    ibtnRemove->setToolTip(tr("Remove (Delete)"));
    ibtnClear->setToolTip(tr("Clear (Backspace)"));
    ibtnSetting->setToolTip(tr("Settings"));
    ibtnAbout->setToolTip(tr("About"));
    ibtnHelp->setToolTip(tr("Help (F1)"));

    // What a screen reader says for each control that has no text of its own
    // (or whose text is its value).
    const std::pair<QWidget *, std::pair<QString, QString>> spoken[] = {
        {ltvTask, {tr("Files to convert"), tr("Input file, length, size and status of each file.")}},
        {cmbProfile, {tr("Profile"), tr("The kind of file the conversion makes.")}},
        {edtOutputdir, {tr("Output Path"), tr("The folder the converted files go to.")}},
        {ibtnAddFile, {tr("Add File"), tr("Adds video files to the list.")}},
        {ibtnAddDir, {tr("Add Directory"), tr("Adds the video files of a folder to the list.")}},
        {ibtnRemove, {tr("Remove"), tr("Removes the selected files from the list.")}},
        {ibtnClear, {tr("Clear"), tr("Removes every file from the list.")}},
        {ibtnSetting, {tr("Settings"), tr("Opens the settings.")}},
        {ibtnAbout, {tr("About"), tr("Shows the program's version and makers.")}},
        {ibtnHelp, {tr("Help"), tr("Opens the manual.")}},
        {imgStart, {tr("Start"), tr("Converts the files of the list (F5).")}},
        {imgStop, {tr("Stop"), tr("Stops the conversion (Esc).")}},
    };
    for (const auto &[control, texts] : spoken) {
        control->setAccessibleName(texts.first);
        control->setAccessibleDescription(texts.second);
    }
    imgStart->setToolTip(tr("Start (F5)"));
    imgStop->setToolTip(tr("Stop (Esc)"));
    // Start and Stop from anywhere in the window. Escape stops only a batch
    // that runs; an open editor takes it first.
    auto addKey = [this](const char *name, QKeySequence key, void (TMainForm::*handler)()) {
        auto *action = new QAction(this);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcut(key);
        connect(action, &QAction::triggered, this, handler);
        addAction(action);
    };
    addKey("actStart", QKeySequence(Qt::Key_F5), &TMainForm::startKeyPressed);
    addKey("actStop", QKeySequence(Qt::Key_Escape), &TMainForm::stopKeyPressed);

    // Tab goes through the window in reading order: the list and its
    // toolbar, the preview and the parameters, then the bottom row.
    QWidgetList order = {ltvTask, ibtnAddFile, ibtnAddDir, ibtnRemove, ibtnClear, ibtnSetting, ibtnAbout, ibtnHelp};
    for (QWidget *child : panPreview->findChildren<QWidget *>())
        if (child->focusPolicy() & Qt::TabFocus)
            order << child;
    for (QWidget *child : gpbProfile->findChildren<QWidget *>())
        if (child->focusPolicy() & Qt::TabFocus)
            order << child;
    order << cmbProfile << bbtnSetting << edtOutputdir << bbtnBrowser << bbtnOpen << imgStart << imgStop;
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);

    showOutputPlace();
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
    QLabel *profileLabel = makeLabel(tr("Profile:"), panBottomCenter, 8, 13);
    FitLabel(profileLabel, 75 - 3 - 8);
    cmbProfile = named(new QComboBox(panBottomCenter), "cmbProfile");
    // A screen reader names each box by its label.
    profileLabel->setBuddy(cmbProfile);
    cmbProfile->setGeometry(75, 9, 407, 22);
    bbtnSetting = named(new QPushButton(tr("&Setting"), panBottomCenter), "bbtnSetting");
    bbtnSetting->setGeometry(490, 8, 75, 25);
    connect(bbtnSetting, &QPushButton::clicked, this, &TMainForm::bbtnSettingClick);
    QLabel *outputLabel = makeLabel(tr("Output Path:"), panBottomCenter, 8, 45);
    FitLabel(outputLabel, 75 - 3 - 8);
    edtOutputdir = named(new QLineEdit(panBottomCenter), "edtOutputdir");
    outputLabel->setBuddy(edtOutputdir);
    edtOutputdir->setGeometry(75, 41, 322, 22);
    bbtnBrowser = named(new QPushButton(tr("&Browse"), panBottomCenter), "bbtnBrowser");
    bbtnBrowser->setGeometry(405, 40, 75, 25);
    connect(bbtnBrowser, &QPushButton::clicked, this, &TMainForm::bbtnBrowserClick);
    // Shown over the box when the outputs go beside their inputs.
    labOutputBeside = named(new QLabel(tr("Beside each input file"), edtOutputdir), "labOutputBeside");
    labOutputBeside->setIndent(3);
    labOutputBeside->setAutoFillBackground(true);
    labOutputBeside->setBackgroundRole(QPalette::Base);
    labOutputBeside->hide();
    edtOutputdir->installEventFilter(this);
    bbtnOpen = named(new QPushButton(tr("&Open"), panBottomCenter), "bbtnOpen");
    bbtnOpen->setGeometry(490, 40, 75, 25);
    connect(bbtnOpen, &QPushButton::clicked, this, &TMainForm::bbtnOpenClick);

    panBottomLeft = named(new QWidget(panBottomRight), "panBottomLeft");
    // Each label fits before the value or bar to its right, in any language.
    FitLabel(makeLabel(tr("Converting:"), panBottomLeft, 8, 5), 115 - 8 - 2);
    labConvertingFile = named(makeLabel(tr("No File"), panBottomLeft, 115, 5), "labConvertingFile");
    labConvertingFile->resize(440, labConvertingFile->height());
    FitLabel(makeLabel(tr("Time Elapsed:"), panBottomLeft, 8, 21), 115 - 8 - 2);
    labElapsed = named(makeLabel(QStringLiteral("00:00:00"), panBottomLeft, 115, 21), "labElapsed");
    labElapsed->resize(90, labElapsed->height());
    FitLabel(makeLabel(tr("Time Remaining:"), panBottomLeft, 230, 21), 340 - 230 - 2);
    labRemaining = named(makeLabel(QStringLiteral("00:00:00"), panBottomLeft, 340, 21), "labRemaining");
    labRemaining->resize(90, labRemaining->height());
    FitLabel(makeLabel(tr("Current Progress:"), panBottomLeft, 8, 39), 115 - 8 - 2);
    pgbCurrent = named(new QProgressBar(panBottomLeft), "pgbCurrent");
    pgbCurrent->setGeometry(115, 39, 430, 14);
    labCurProgress = named(makeLabel(QStringLiteral("0%"), panBottomLeft, 553, 39), "labCurProgress");
    FitLabel(makeLabel(tr("Total Progress:"), panBottomLeft, 8, 57), 115 - 8 - 2);
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
    // The view, its header and a screen reader see the four shown columns.
    ShowTasksIn(*ltvTask, *m_tasks);
    ltvTask->setRootIsDecorated(false);
    ltvTask->setUniformRowHeights(true);
    ltvTask->setItemsExpandable(false);
    ltvTask->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ltvTask->setSelectionBehavior(QAbstractItemView::SelectRows);
    ltvTask->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ltvTask->setContextMenuPolicy(Qt::CustomContextMenu);
    ltvTask->header()->setStretchLastSection(false);
    ltvTask->header()->setSectionsMovable(false);
    // A click on a column's header sorts the rows themselves: the order shown
    // is the order converted.
    ltvTask->header()->setSectionsClickable(true);
    ltvTask->header()->setSortIndicatorShown(true);
    ltvTask->header()->setSortIndicator(-1, Qt::AscendingOrder);
    connect(ltvTask->header(), &QHeaderView::sortIndicatorChanged, this, [this](int column, Qt::SortOrder order) {
        if (column >= 0 && m_run->RunState() == ConversionRun::Idle)
            SortTasks(*m_tasks, column, order);
    });
    // Rows dragged within the list change places (the list handles its own
    // drops; files dropped on it go on to the window).
    ltvTask->setDragEnabled(true);
    ltvTask->viewport()->setAcceptDrops(true);
    ltvTask->installEventFilter(this);
    ltvTask->viewport()->installEventFilter(this);
    ltvTask->setItemDelegateForColumn(3, new StatusDelegate(ltvTask));
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

    gpbProfile = named(new QGroupBox(tr("Parameters"), splPreview), "gpbProfile");
    auto *groupLayout = new QVBoxLayout(gpbProfile);
    groupLayout->setContentsMargins(2, 2, 2, 2);

    m_outputGrid.appendRow(NewFilenameKey);
    m_outputGrid.appendRow(StartTimeKey);
    m_outputGrid.appendRow(EndTimeKey);

    m_editors = named(new ParameterEditors(ParameterEditors::MainWindowLayout(), m_profile->grids(), &m_outputGrid, gpbProfile),
                      "scbParameters");
    groupLayout->addWidget(m_editors);
    vleOutput = m_editors->vleOutput();
    vleVideo = m_editors->vleVideo();
    vleAudio = m_editors->vleAudio();
    vleAdvanced = m_editors->vleAdvanced();

    connect(vleOutput, &ValueListGrid::validate, this, &TMainForm::vleOutputValidate);
    connect(vleOutput, &ValueListGrid::mousePressed, this, &TMainForm::vleOutputMouseDown);

    splPreview->setSizes({PreviewHeight, 1000});
    splPreview->setStretchFactor(0, 0);
    splPreview->setStretchFactor(1, 1);
}

void TMainForm::buildPopupMenu()
{
    ppmTask = named(new QMenu(this), "ppmTask");
    // "Open" plays the row in the preview.
    ppmTask->addAction(tr("Open"), this, &TMainForm::ltvTaskDblClick)
        ->setObjectName(QStringLiteral("mniOpen"));
    ppmTask->addSeparator();
    QAction *addFiles = ppmTask->addAction(tr("Add Files..."), this, &TMainForm::tbtnAddFileClick);
    addFiles->setObjectName(QStringLiteral("mniAddFiles"));
    addFiles->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_O), QKeySequence(Qt::Key_Insert)});
    QAction *addDir = ppmTask->addAction(tr("Add Directorys..."), this, &TMainForm::tbtnAddDirClick);
    addDir->setObjectName(QStringLiteral("mniAddDirectory"));
    addDir->setShortcut(Qt::CTRL | Qt::SHIFT | Qt::Key_O);
    auto *help = new QAction(tr("Help"), this);
    help->setObjectName(QStringLiteral("actHelp"));
    help->setShortcut(Qt::Key_F1);
    connect(help, &QAction::triggered, this, &TMainForm::tbtnHelpClick);
    // Adds what arrives in a folder and converts it when the list is idle.
    auto *watch = new WatchController(*m_list, *m_batch, *m_run, *m_services.dialogs, this,
                                      [this] { return edtOutputdir->text(); }, this);
    ppmTask->addAction(watch->action());
    // The keys work wherever the focus is in the window, not only in the menu.
    addActions({addFiles, addDir, help});
    ppmTask->addSeparator();
    ppmTask->addAction(tr("Remove"), this, &TMainForm::tbtnRemoveClick)
        ->setObjectName(QStringLiteral("mniRemove"));
    ppmTask->addAction(tr("Clear"), this, &TMainForm::tbtnClearClick)
        ->setObjectName(QStringLiteral("mniClear"));
    ppmTask->addAction(tr("Remove Completed"), m_list, &TaskListController::removeCompleted)
        ->setObjectName(QStringLiteral("mniRemoveCompleted"));
    // The rows that failed or were stopped, converted again on their own.
    mniRetryFailed = ppmTask->addAction(tr("Retry Failed"), m_batch, &BatchController::retryFailed);
    mniRetryFailed->setObjectName(QStringLiteral("mniRetryFailed"));
    ppmTask->addSeparator();
    // The order of the list is the order of conversion.
    auto addMove = [this](const QString &text, const char *name, QKeyCombination key, int step) {
        QAction *action = ppmTask->addAction(text, this, [this, step] { m_list->moveSelected(step); });
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcut(key);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        ltvTask->addAction(action);
    };
    addMove(tr("Move Up"), "mniMoveUp", Qt::CTRL | Qt::Key_Up, -1);
    addMove(tr("Move Down"), "mniMoveDown", Qt::CTRL | Qt::Key_Down, 1);
    // Pause and Resume of a running batch (Ctrl+P).
    new PauseActions(*m_run, *ppmTask, *this, *ltvTask);
    ppmTask->addSeparator();
    ppmTask->addAction(tr("Engine Output..."), this, &TMainForm::mniEngineOutputClick)
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
    if (cmbProfile->count() > 0)
        m_profile->select(stored->profileIndex, true);
}

void TMainForm::closeEvent(QCloseEvent *event)
{
    // A run is not given up without a word; the end of a batch and a signal
    // close without asking. The window stays while the question is up, and
    // closes on Yes if nothing closed it meanwhile; closing it again meanwhile
    // asks nothing more.
    if (!m_closeWithoutAsking && m_run->RunState() != ConversionRun::Idle) {
        event->ignore();
        if (std::exchange(m_closeAsked, true))
            return;
        m_services.interactive->ask(QStringLiteral("Vantorix"), tr("A conversion is running. Stop it and exit?"),
                                    IInteractive::DefaultAnswer::No, [self = QPointer<TMainForm>(this)](bool yes) {
                                        if (!self)
                                            return;
                                        self->m_closeAsked = false;
                                        // From the event loop: an answer may come while the
                                        // close that asked is still under way.
                                        if (yes)
                                            QTimer::singleShot(0, self, [form = self.data()] {
                                                if (form->isVisible())
                                                    form->closeWithoutAsking();
                                            });
                                    });
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
    m_batch->cancelPending();
    m_list->cancelAdding();
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
    m_profile->selectByName(batch.profile);
    m_recovery->batchChanged();
}

// ---------------------------------------------------------------------------
// Events of the list, the splitter and drops

bool TMainForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == edtOutputdir && event->type() == QEvent::Resize)
        labOutputBeside->setGeometry(edtOutputdir->rect().adjusted(1, 1, -1, -1));
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
    } else if (watched == ltvTask->viewport() && (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove
                                                  || event->type() == QEvent::Drop)) {
        auto *drop = static_cast<QDropEvent *>(event);
        if (drop->source() != ltvTask) {
            drop->ignore();
            return true;
        }
        // Taken as a copy, so that the list does not remove the dragged rows.
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        if (event->type() == QEvent::Drop)
            ltvTaskDragDrop(ltvTask->indexAt(drop->position().toPoint()).row());
        return true;
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
    if (m_list->acceptsDrop(event->mimeData()))
        event->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent *event)
{
    if (!m_list->acceptsDrop(event->mimeData()))
        return;
    m_list->drop(event->mimeData());
    event->acceptProposedAction();
}

// ---------------------------------------------------------------------------
// Task list operations

bool TMainForm::isAdding() const
{
    return m_list->isAdding();
}

void TMainForm::AddTaskFile(const QString &path)
{
    m_list->addFile(path);
}

void TMainForm::AddTaskFolder(const QString &folder)
{
    m_list->addFolder(folder);
}

void TMainForm::AddCommandLineFiles()
{
    m_list->addCommandLine(m_services.arguments);
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
    m_list->addFilesFromDialog(m_openDialogFilter);
}

void TMainForm::tbtnAddDirClick()
{
    m_list->addFolderFromDialog();
}


void TMainForm::tbtnRemoveClick()
{
    m_list->removeSelected();
}

void TMainForm::tbtnClearClick()
{
    m_list->clear();
}

void TMainForm::ppmTaskPopup()
{
    m_list->updateMenu(*ppmTask);
    mniRetryFailed->setEnabled(m_batch->canRetryFailed());
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
    // A column cannot be narrower than the header allows: what it could not
    // give up is owed, and paid from the next widening, so that a window
    // made too small and then larger again has its columns as before.
    for (int column = 0; column < 4; ++column) {
        const int wanted = static_cast<int>(
            RoundHalfEven(ltvTask->columnWidth(column) + m_columnDebt[column] + change * ColumnShares[column]));
        ltvTask->setColumnWidth(column, std::max(wanted, ltvTask->header()->minimumSectionSize()));
        m_columnDebt[column] = wanted - ltvTask->columnWidth(column);
    }
}

// ---------------------------------------------------------------------------
// Output settings of the selected task

// The grid follows every change of the selection by itself (OutputSettingsView);
// a click shows the row's stored values again, dropping what was typed.
void TMainForm::ltvTaskDragDrop(int row)
{
    m_list->dropSelected(row);
}

void TMainForm::ltvTaskClick()
{
    m_list->showSelected(true);
}

void TMainForm::vleOutputValidate()
{
    m_list->storeOutputEdit();
}

void TMainForm::vleOutputMouseDown()
{
    m_list->outputGridPressed();
}

void TMainForm::vleVideoStringsChange()
{
    m_profile->videoValuesChanged();
}

// ---------------------------------------------------------------------------
// Profile, output folder, help

void TMainForm::cmbProfileChange()
{
    m_profile->load();
}

void TMainForm::bbtnBrowserClick()
{
    m_services.dialogs->pickFolder(this, tr("Select the output directory."),
                                   [self = QPointer<TMainForm>(this)](const std::optional<QString> &folder) {
                                       if (self && folder)
                                           self->edtOutputdir->setText(AddTrailingSeparator(*folder));
                                   });
}

void TMainForm::bbtnOpenClick()
{
    const QString folder = edtOutputdir->text();
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return;
    const QString path = QDir(folder).absolutePath();
    if (!m_services.shell->openPath(path))
        m_services.interactive->showMessage(IInteractive::MessageKind::Warning, tr("Open"),
                                            tr("No program on this computer opens folders. The outputs are in %1")
                                                .arg(QDir::toNativeSeparators(path)));
}

void TMainForm::tbtnHelpClick()
{
    if (!m_services.shell->openPath(m_helpFile))
        m_services.interactive->showMessage(
            IInteractive::MessageKind::Warning, tr("Help"),
            tr("No web browser opens the manual. It is the file %1; any web browser shows it.")
                .arg(QDir::toNativeSeparators(m_helpFile)));
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
    m_profile->load();
}

void TMainForm::insertProfileItem(int position, const QString &name)
{
    m_profile->insertItem(position, name);
}

// ---------------------------------------------------------------------------
// Batch control

int TMainForm::RunState() const
{
    return m_run->RunState();
}

void TMainForm::imgStartClick()
{
    m_batch->startClicked();
}

void TMainForm::imgStopClick()
{
    m_batch->stopClicked();
}

void TMainForm::startKeyPressed()
{
    if (m_run->RunState() == ConversionRun::Idle && !imgStart->isHidden())
        imgStartClick();
}

void TMainForm::stopKeyPressed()
{
    if (!imgStop->isHidden() && imgStart->isHidden())
        imgStopClick();
}

void TMainForm::tbtnStartClick()
{
    m_batch->start();
}


void TMainForm::tbtnStopClick()
{
    m_batch->stop();
}



// What a batch must not see changed, in the order they are disabled and enabled.
QList<QWidget *> TMainForm::batchLockedControls() const
{
    return {ibtnAddFile, ibtnAddDir, ibtnRemove, ibtnClear, ibtnSetting, ltvTask, panSplitter, gpbProfile};
}

void TMainForm::PrepareForBatch()
{
    m_batch->lockControls();
}

void TMainForm::EnableControls()
{
    m_batch->unlockControls();
}

void TMainForm::timerTimeTimer()
{
    m_run->timerTick();
}

// ---------------------------------------------------------------------------
// What the conversion run shows and reads

void TMainForm::setConvertingFile(const QString &text)
{
    m_batch->setConvertingFile(text);
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
    m_batch->setTotalProgress(position);
}

void TMainForm::showProgressPanel(bool running)
{
    m_batch->showProgressPanel(running);
}

void TMainForm::setMemoText(const QString &text)
{
    Memo1->setPlainText(text);
}

void TMainForm::setTimerEnabled(bool enabled)
{
    m_batch->setTimerEnabled(enabled);
}

void TMainForm::batchEnded(const QList<int> &rows)
{
    m_batch->batchEnded(rows);
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
    // On hosts: as many at once as they have slots.
    options.jobs = m_batch->hostSlots().value_or(general.jobs);
    options.place = static_cast<OutputPlace>(general.outputPlace);
    options.notBigger = general.notBigger;
    options.keepDates = general.keepDates;
    options.segmentMinutes = general.splitMinutes;
    options.original = static_cast<OriginalAction>(general.original);
    options.doneCommand = general.doneCommand;
    options.batchDoneCommand = general.batchDoneCommand;
    return options;
}

void TMainForm::closeMainWindow()
{
    closeWithoutAsking();
}

void TMainForm::requestPowerOffConfirmation(std::function<void(bool)> answered)
{
    m_services.dialogs->countdown(this, tr("Turn off"),
                                  tr("The computer will be turned off in %1 seconds."), 30,
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
    m_list->playSelected();
}

void TMainForm::PreviewSelectedTask()
{
    m_list->previewSelected();
}


void TMainForm::mniEngineOutputClick()
{
    const QString output = m_list->firstSelectedEngineOutput();
    if (output.isEmpty())
        return;
    if (!m_engineOutputForm)
        m_engineOutputForm = new EngineOutputForm(this);
    const QModelIndex caption = m_tasks->index(FirstSelectedRow(*ltvTask->selectionModel()), 0);
    m_engineOutputForm->showOutput(m_list->firstSelectedCaption(), output,
                                   caption.data(TaskListModel::ResultNotesRole).toString());
    m_engineOutputForm->show();
    m_engineOutputForm->raise();
    m_engineOutputForm->activateWindow();
}
