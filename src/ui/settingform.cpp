#include "ui/settingform.h"

#include "platform/interactive.h"
#include "profiles/preferences.h"
#include "profiles/profiles.h"
#include "ui/dialogs.h"
#include "ui/parametereditors.h"
#include "conversion/tasklistops.h"
#include "ui/widgetbuilding.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>

#include <algorithm>

namespace {

const QString ProfileExtension = QStringLiteral(".apf");

} // namespace

int ProfileInsertPosition(const QStringList &names, const QString &name, const QStringList &listedLast)
{
    QStringList ordered = names;
    ordered << name;
    SortProfileNames(ordered, listedLast);
    return static_cast<int>(ordered.indexOf(name));
}

TSettingForm::TSettingForm(ISettingsOwner &owner, const QString &programFolder, IInteractive &interactive,
                           IDialogs &dialogs, QWidget *parent)
    : BlockingWindow(owner.ownerWindow(), tr("Settings"), QSize(ClientWidth, ClientHeight), parent)
    , m_owner(owner)
    , m_programFolder(programFolder)
    , m_interactive(interactive)
    , m_dialogs(dialogs)
{
    setObjectName(QStringLiteral("TSettingForm"));

    // A blank strip of 5 pixels above the tabs.
    pgcSetting = named(new QTabWidget(this), "pgcSetting");
    pgcSetting->setGeometry(0, 5, 391, 442);
    auto *general = named(new QWidget, "tbsGeneral");
    auto *profiles = named(new QWidget, "tbsProfiles");
    pgcSetting->addTab(general, tr("     General     "));
    pgcSetting->addTab(profiles, tr("     Profiles     "));
    auto *after = named(new QWidget, "tbsAfter");
    pgcSetting->addTab(after, tr("  After Conversion  "));
    buildGeneralTab(general);
    buildProfilesTab(profiles);
    buildAfterTab(after);
    auto *hosts = named(new QWidget, "tbsHosts");
    pgcSetting->addTab(hosts, tr("Hosts"));
    buildHostsTab(hosts);
    // However the window was opened, the Profiles page shows a profile: the
    // main window's, until another is chosen here.
    connect(pgcSetting, &QTabWidget::currentChanged, this, [this](int page) {
        if (page == ProfilesPage && cmbProfile->currentIndex() < 0 && m_owner.profileIndex() >= 0)
            selectProfile(m_owner.profileIndex());
    });

    btnDefault = named(new QPushButton(tr("&Load Default"), this), "btnDefault");
    btnDefault->setGeometry(16, 461, 89, 25);
    connect(btnDefault, &QPushButton::clicked, this, &TSettingForm::btnDefaultClick);
    btnOK = named(new QPushButton(tr("&OK"), this), "btnOK");
    btnOK->setGeometry(208, 461, 75, 25);
    connect(btnOK, &QPushButton::clicked, this, &TSettingForm::btnOKClick);
    btnCancel = named(new QPushButton(tr("&Cancel"), this), "btnCancel");
    btnCancel->setGeometry(296, 461, 75, 25);
    connect(btnCancel, &QPushButton::clicked, this, &TSettingForm::btnCancelClick);

    FormCreate();
}

TSettingForm::~TSettingForm() = default;

void TSettingForm::buildGeneralTab(QWidget *page)
{
    edtOutputDir = named(new QLineEdit(page), "edtOutputDir");
    edtOutputDir->setGeometry(112, 16, 225, 21);
    // The edit box's label stands 3 pixels to its left, centred on its height.
    QLabel *outputLabel = named(new QLabel(tr("Default Output Path:"), page), "labOutputDir");
    FitLabel(outputLabel, 112 - 3 - 4);
    outputLabel->move(112 - 3 - outputLabel->width(), 16 + (21 - outputLabel->height()) / 2);
    outputLabel->setBuddy(edtOutputDir);

    sbtnBrowse = named(new QToolButton(page), "sbtnBrowse");
    sbtnBrowse->setGeometry(344, 16, 23, 22);
    sbtnBrowse->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    sbtnBrowse->setAutoRaise(true);
    connect(sbtnBrowse, &QToolButton::clicked, this, &TSettingForm::sbtnBrowseClick);

    FitLabel(named(makeLabel(tr("Synchronization Mode:"), page, 11, 59), "labSyn"), 124 - 3 - 11);
    cmbSyn = named(new QComboBox(page), "cmbSyn");
    cmbSyn->setGeometry(124, 56, 245, 21);
    cmbSyn->setEditable(false);
    cmbSyn->addItems({tr("Auto"), tr("Force Mode"), tr("Progressive Mode")});

    auto *rule = named(new QFrame(page), "bvlGeneral");
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    rule->setGeometry(8, 88, 369, 2);

    chkOpenDir = named(new QCheckBox(tr("Open the output directory when the task is completed. "), page),
                       "chkOpenDir");
    chkOpenDir->setGeometry(24, 128, 345, 17);
    chkExit = named(new QCheckBox(tr("Exit the program when the task is completed."), page), "chkExit");
    chkExit->setGeometry(24, 160, 345, 17);
    chkTurnoff = named(new QCheckBox(tr("Turn off the computer when the task is completed."), page),
                       "chkTurnoff");
    chkTurnoff->setGeometry(24, 192, 345, 17);

    gpbOverwrite = named(new QGroupBox(tr("Output File Overwrite"), page), "gpbOverwrite");
    gpbOverwrite->setGeometry(16, 240, 353, 105);
    rdbOverWrite = named(new QRadioButton(tr("Overwrite"), gpbOverwrite), "rdbOverWrite");
    rdbOverWrite->setGeometry(24, 32, 305, 17);
    rdbOverWrite->setChecked(true);
    rdbRename = named(new QRadioButton(tr("Not overwrite (Rename to <Filename> + Index"), gpbOverwrite),
                      "rdbRename");
    rdbRename->setGeometry(24, 67, 305, 17);

    // How many files convert at once: up to one per processor core.
    spnJobs = named(new QSpinBox(page), "spnJobs");
    spnJobs->setRange(1, MaxJobs());
    spnJobs->setGeometry(300, 364, 69, 21);
    QLabel *jobsLabel = named(makeLabel(tr("Simultaneous conversions:"), page, 24, 367), "labJobs");
    FitLabel(jobsLabel, 300 - 6 - 24);
    jobsLabel->setBuddy(spnJobs);

    // Where the outputs go, in the order of the numbers kept for them.
    cmbOutputPlace = named(new QComboBox(page), "cmbOutputPlace");
    cmbOutputPlace->setGeometry(170, 392, 199, 21);
    cmbOutputPlace->setEditable(false);
    cmbOutputPlace->addItems({tr("Into the output folder"), tr("Keep the folder tree"), tr("Beside each input")});
    QLabel *placeLabel = named(makeLabel(tr("Outputs go:"), page, 24, 395), "labOutputPlace");
    FitLabel(placeLabel, 170 - 6 - 24);
    placeLabel->setBuddy(cmbOutputPlace);
    connect(cmbOutputPlace, &QComboBox::currentIndexChanged, this, &TSettingForm::outputPlaceChanged);
}

// What follows each conversion: the output kept or not, the input's dates,
// the original, the commands run when done.
void TSettingForm::buildAfterTab(QWidget *page)
{
    chkNotBigger = named(new QCheckBox(tr("Keep the original when the output is not smaller"), page),
                         "chkNotBigger");
    chkNotBigger->setGeometry(24, 24, 345, 17);
    chkKeepDates = named(new QCheckBox(tr("Keep the source's dates and tags"), page), "chkKeepDates");
    chkKeepDates->setGeometry(24, 56, 345, 17);
    chkKeepDates->setChecked(true);

    QLabel *originalLabel = named(makeLabel(tr("When a file converted well:"), page, 24, 91), "labOriginal");
    FitLabel(originalLabel, 345);
    // In the order of the numbers kept for them.
    cmbOriginal = named(new QComboBox(page), "cmbOriginal");
    cmbOriginal->setGeometry(24, 112, 345, 21);
    cmbOriginal->addItems({tr("Keep the original"), tr("Move the original to the trash"), tr("Delete the original")});
    originalLabel->setBuddy(cmbOriginal);

    auto *commands = named(new QGroupBox(tr("Run when done"), page), "gpbWhenDone");
    commands->setGeometry(16, 156, 353, 209);
    const auto commandRow = [commands](const QString &caption, const char *label, const char *edit, int y) {
        QLabel *text = named(makeLabel(caption, commands, 16, y), label);
        FitLabel(text, 321);
        auto *line = named(new QLineEdit(commands), edit);
        line->setGeometry(16, y + 19, 321, 21);
        text->setBuddy(line);
        return line;
    };
    edtWhenDone = commandRow(tr("For each file:"), "labWhenDone", "edtWhenDone", 28);
    edtWhenBatchDone = commandRow(tr("For the batch:"), "labWhenBatchDone", "edtWhenBatchDone", 76);
    QLabel *hint = named(new QLabel(tr("A program and its arguments, run without a shell. The file's paths and "
                                       "its status are in VANTORIX_INPUT, VANTORIX_OUTPUT, VANTORIX_STATUS "
                                       "and VANTORIX_ORIGINAL."),
                                    commands),
                         "labWhenDoneHint");
    hint->setWordWrap(true);
    hint->setGeometry(16, 124, 321, 72);
    hint->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    // Long files in segments, resumed from those done (0: off).
    spnSplitMinutes = named(new QSpinBox(page), "spnSplitMinutes");
    spnSplitMinutes->setRange(0, MaxSplitMinutes);
    spnSplitMinutes->setSpecialValueText(tr("Off"));
    spnSplitMinutes->setGeometry(300, 376, 69, 21);
    QLabel *splitLabel = named(makeLabel(tr("Split files longer than N minutes"), page, 24, 379), "labSplitMinutes");
    FitLabel(splitLabel, 300 - 6 - 24);
    splitLabel->setBuddy(spnSplitMinutes);
}

// Where the tasks convert: here, or on the hosts a hosts file names (the
// batch mode's --hosts and --ssh-config).
void TSettingForm::buildHostsTab(QWidget *page)
{
    FitLabel(named(makeLabel(tr("Convert on:"), page, 24, 24), "labConvertOn"), 345);
    rdbThisComputer = named(new QRadioButton(tr("this computer"), page), "rdbThisComputer");
    rdbThisComputer->setGeometry(24, 48, 345, 17);
    rdbThisComputer->setChecked(true);
    rdbHosts = named(new QRadioButton(tr("these hosts:"), page), "rdbHosts");
    rdbHosts->setGeometry(24, 76, 345, 17);
    connect(rdbHosts, &QRadioButton::toggled, this, &TSettingForm::enableHostFields);

    const auto fileRow = [this, page](const char *edit, const char *button, int y, const QString &filter) {
        auto *line = named(new QLineEdit(page), edit);
        line->setGeometry(44, y, 293, 21);
        auto *browse = named(new QToolButton(page), button);
        browse->setGeometry(344, y, 23, 22);
        browse->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
        browse->setAutoRaise(true);
        connect(browse, &QToolButton::clicked, this, [this, line, filter] { pickFileInto(line, filter); });
        return std::pair{line, browse};
    };
    std::tie(edtHostsFile, sbtnHostsFile) = fileRow("edtHostsFile", "sbtnHostsFile", 100, tr("All files (*)|*"));
    QLabel *sshLabel = named(makeLabel(tr("SSH configuration file (may stay empty):"), page, 44, 136),
                             "labSshConfig");
    FitLabel(sshLabel, 325);
    std::tie(edtSshConfig, sbtnSshConfig) = fileRow("edtSshConfig", "sbtnSshConfig", 155, tr("All files (*)|*"));
    sshLabel->setBuddy(edtSshConfig);

    QLabel *hint = named(new QLabel(tr("The hosts file names a host a line: [N/][user@]host, where N is how many "
                                       "files convert at once there (else as many as \"Simultaneous "
                                       "conversions\"), and \":\" is this computer. Each host is reached with "
                                       "ssh without a password; the program is sent to it. The outputs come "
                                       "back to the output folder."),
                                    page),
                         "labHostsHint");
    hint->setWordWrap(true);
    hint->setGeometry(24, 196, 345, 120);
    hint->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    enableHostFields();
}

void TSettingForm::enableHostFields()
{
    const bool hosts = rdbHosts->isChecked();
    for (QWidget *field : {static_cast<QWidget *>(edtHostsFile), static_cast<QWidget *>(sbtnHostsFile),
                           static_cast<QWidget *>(edtSshConfig), static_cast<QWidget *>(sbtnSshConfig)})
        field->setEnabled(hosts);
}

void TSettingForm::pickFileInto(QLineEdit *field, const QString &filter)
{
    m_dialogs.openFiles(this, FilterEntries(filter),
                        [self = QPointer<TSettingForm>(this), field](const QStringList &files) {
                            if (self && !files.isEmpty())
                                field->setText(files.first());
                        });
}

void TSettingForm::buildProfilesTab(QWidget *page)
{
    cmbProfile = named(new QComboBox(page), "cmbProfile");
    cmbProfile->setGeometry(8, 7, 283, 21);
    cmbProfile->setEditable(false);
    connect(cmbProfile, &QComboBox::currentIndexChanged, this, &TSettingForm::cmbProfileChange);

    btnSaveAs = named(new QPushButton(tr("&Save as..."), page), "btnSaveAs");
    btnSaveAs->setGeometry(298, 4, 75, 25);
    // A longer caption in another language widens the button to the left;
    // the profile box gives up the room.
    const int wanted =
        btnSaveAs->fontMetrics().horizontalAdvance(btnSaveAs->text().remove(QLatin1Char('&'))) + 14;
    if (wanted > btnSaveAs->width()) {
        const int grow = wanted - btnSaveAs->width();
        btnSaveAs->setGeometry(298 - grow, 4, wanted, 25);
        cmbProfile->resize(cmbProfile->width() - grow, cmbProfile->height());
    }
    connect(btnSaveAs, &QPushButton::clicked, this, &TSettingForm::btnSaveAsClick);

    m_editors = named(new ParameterEditors(ParameterEditors::SettingsLayout(), m_grids, nullptr, page),
                      "scbParameters");
    m_editors->setGeometry(8, 36, 366, 373);
    m_editors->setBackgroundRole(QPalette::Window);

    memDescription = named(new QPlainTextEdit(page), "memDescription");
    memDescription->setPlainText(tr("Description:"));
    memDescription->hide();
}

void TSettingForm::FormCreate()
{
    {
        const QSignalBlocker blocker(cmbProfile);
        cmbProfile->addItems(m_owner.profileItems());
        cmbProfile->setCurrentIndex(-1);
    }
    // LoadPreferences: the General values stored in "Main".
    if (const std::optional<GeneralPreferences> stored = LoadGeneralPreferences(m_programFolder, m_interactive))
        setGeneralControls(*stored);
}

void TSettingForm::FormShow()
{
    edtOutputDir->setText(m_owner.outputFolderText());
    activateWindow();
    raise();
}

GeneralPreferences TSettingForm::generalPreferences() const
{
    GeneralPreferences preferences;
    preferences.outputPath = edtOutputDir->text();
    preferences.synMode = cmbSyn->currentIndex();
    preferences.openDir = chkOpenDir->isChecked();
    preferences.exitProgram = chkExit->isChecked();
    preferences.turnOff = chkTurnoff->isChecked();
    preferences.overwrite = rdbOverWrite->isChecked();
    preferences.jobs = spnJobs->value();
    preferences.outputPlace = std::max(0, cmbOutputPlace->currentIndex());
    preferences.notBigger = chkNotBigger->isChecked();
    preferences.keepDates = chkKeepDates->isChecked();
    preferences.splitMinutes = spnSplitMinutes->value();
    preferences.original = std::max(0, cmbOriginal->currentIndex());
    preferences.doneCommand = edtWhenDone->text().trimmed();
    preferences.batchDoneCommand = edtWhenBatchDone->text().trimmed();
    preferences.onHosts = rdbHosts->isChecked();
    preferences.hostsFile = edtHostsFile->text().trimmed();
    preferences.sshConfig = edtSshConfig->text().trimmed();
    return preferences;
}

void TSettingForm::setGeneralControls(const GeneralPreferences &preferences)
{
    edtOutputDir->setText(preferences.outputPath);
    // A position outside the list leaves no selection.
    cmbSyn->setCurrentIndex(preferences.synMode);
    chkOpenDir->setChecked(preferences.openDir);
    chkExit->setChecked(preferences.exitProgram);
    chkTurnoff->setChecked(preferences.turnOff);
    // The two are exclusive: checking one unchecks the other.
    if (preferences.overwrite)
        rdbOverWrite->setChecked(true);
    else
        rdbRename->setChecked(true);
    spnJobs->setValue(JobsInRange(preferences.jobs));
    cmbOutputPlace->setCurrentIndex(std::clamp(preferences.outputPlace, 0, cmbOutputPlace->count() - 1));
    chkNotBigger->setChecked(preferences.notBigger);
    chkKeepDates->setChecked(preferences.keepDates);
    spnSplitMinutes->setValue(preferences.splitMinutes);
    cmbOriginal->setCurrentIndex(std::clamp(preferences.original, 0, cmbOriginal->count() - 1));
    edtWhenDone->setText(preferences.doneCommand);
    edtWhenBatchDone->setText(preferences.batchDoneCommand);
    if (preferences.onHosts)
        rdbHosts->setChecked(true);
    else
        rdbThisComputer->setChecked(true);
    edtHostsFile->setText(preferences.hostsFile);
    edtSshConfig->setText(preferences.sshConfig);
}

void TSettingForm::showGeneral()
{
    show();
    pgcSetting->setCurrentIndex(GeneralPage);
}

void TSettingForm::showProfiles(int index)
{
    show();
    selectProfile(index);
    pgcSetting->setCurrentIndex(ProfilesPage);
}

void TSettingForm::selectProfile(int index)
{
    {
        const QSignalBlocker blocker(cmbProfile);
        cmbProfile->setCurrentIndex(index);
    }
    cmbProfileChange();
}

QString TSettingForm::currentProfilePath() const
{
    if (cmbProfile->currentIndex() < 0)
        return {};
    return ProfilePath(m_programFolder, cmbProfile->currentText());
}

void TSettingForm::sbtnBrowseClick()
{
    m_dialogs.pickFolder(this, tr("Select the output directory."),
                         [self = QPointer<TSettingForm>(this)](const std::optional<QString> &folder) {
                             if (self && folder)
                                 self->edtOutputDir->setText(AddTrailingSeparator(*folder));
                         });
}

void TSettingForm::cmbProfileChange()
{
    const QString path = currentProfilePath();
    if (path.isEmpty() || !QFileInfo::exists(path))
        return;
    // The main window's output extension is its own: not given here.
    if (LoadProfile(path, m_grids, m_interactive) != ProfileStatus::Missing)
        m_editors->profileLoaded();
}

void TSettingForm::btnSaveAsClick()
{
    // The user's profiles folder: the program's own Profiles folder when it is
    // writable, else one in the user's configuration folder, made on first use.
    const QString folder = UserProfilesFolder(m_programFolder);
    QDir().mkpath(folder);
    m_dialogs.saveFile(this, folder, ProfileExtension, FilterEntries(tr("Profiles (*.apf)|*.apf")),
                       [self = QPointer<TSettingForm>(this)](const std::optional<QString> &target) {
                           if (self && target)
                               self->saveProfileAs(*target);
                       });
}

void TSettingForm::saveProfileAs(const QString &target)
{
    const QString source = currentProfilePath();
    if (source.isEmpty() || !QFileInfo(source).isFile())
        return; // no profile chosen: nothing to copy
    // A failure is reported and leaves the target as it was.
    if (!SaveProfileAs(source, target, m_grids, m_interactive))
        return;
    listSavedProfile(target);
}

void TSettingForm::listSavedProfile(const QString &path)
{
    // Only a profile file in a folder the profile list reads is one the lists
    // can name: the shipped profiles' folder or the user's.
    const QFileInfo saved(path);
    const QString fileName = saved.fileName();
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || fileName.mid(dot).compare(ProfileExtension, Qt::CaseInsensitive) != 0)
        return;
    const QString savedIn = saved.dir().canonicalPath();
    if (savedIn.isEmpty()
        || (savedIn != QDir(ProfilesFolder(m_programFolder)).canonicalPath()
            && savedIn != QDir(UserProfilesFolder(m_programFolder)).canonicalPath()))
        return;
    const QString name = fileName.left(dot);
    if (cmbProfile->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive) >= 0)
        return; // saved over a listed profile

    QStringList names;
    for (int i = 0; i < cmbProfile->count(); ++i)
        names << cmbProfile->itemText(i);
    const int position = ProfileInsertPosition(names, name, ListedLastProfiles(m_programFolder));
    {
        // The selection moves with its item; the grids keep their edits.
        const QSignalBlocker blocker(cmbProfile);
        cmbProfile->insertItem(position, name);
    }
    m_owner.insertProfileItem(position, name);
}

void TSettingForm::btnDefaultClick()
{
    m_interactive.ask(tr("Load Default"), tr("Are you sure to load the default preferences?"),
                      IInteractive::DefaultAnswer::Yes, [self = QPointer<TSettingForm>(this)](bool yes) {
                          if (!self || !yes)
                              return;
                          // Nothing is written: OK makes the values permanent.
                          if (const std::optional<GeneralPreferences> defaults =
                                  LoadDefaultPreferences(self->m_programFolder, self->m_interactive))
                              self->setGeneralControls(*defaults);
                      });
}

void TSettingForm::btnOKClick()
{
    m_owner.setOutputFolderText(edtOutputDir->text());
    SaveGeneralPreferences(m_programFolder, generalPreferences(), m_interactive);
    const QString path = currentProfilePath();
    // A shipped profile that cannot be written in place is saved as the
    // user's profile of the same name, which the lists use from then on.
    if (!path.isEmpty() && QFileInfo::exists(path))
        SaveProfileTo(path, WritableProfilePath(m_programFolder, cmbProfile->currentText()), m_grids,
                      m_interactive);
    // The main window shows the saved values when it uses the same profile;
    // its own unsaved edits give way to them.
    if (m_owner.profileText() == cmbProfile->currentText())
        m_owner.reloadProfile();
    close();
}

void TSettingForm::btnCancelClick()
{
    close();
}
