#pragma once

#include "profiles/parametergrid.h"
#include "ui/blockingwindow.h"
#include "ui/generalsettings.h"

#include <QStringList>

class IDialogs;
class IInteractive;
class ParameterEditors;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class QToolButton;

// What the Settings window reads from the main window and does to it.
class ISettingsOwner
{
public:
    virtual ~ISettingsOwner() = default;

    // The window that takes no input while the Settings window is open.
    virtual QWidget *ownerWindow() = 0;
    // The profile list: its items in order, the selected position (-1: none)
    // and the selected item's text.
    virtual QStringList profileItems() const = 0;
    virtual int profileIndex() const = 0;
    virtual QString profileText() const = 0;
    // The output folder box.
    virtual QString outputFolderText() const = 0;
    virtual void setOutputFolderText(const QString &folder) = 0;
    // Runs the profile list's change handler: the selected profile is loaded
    // into the main window's grids again.
    virtual void reloadProfile() = 0;
    // Puts a new profile name into the list at position. The selection stays
    // on the profile it was on and nothing is loaded.
    virtual void insertProfileItem(int position, const QString &name) = 0;
};

// The Settings window. Its General tab holds the live batch options and the
// other General preferences: the conversion run reads them from here whether
// the window is open or not, and the main window saves them when it closes.
// Its Profiles tab edits the stored values of a profile's parameters.
//
// Created once at start-up, after the main window; shown without a modal loop
// while the main window takes no input. OK writes the preferences and the
// profile; Cancel and the title-bar button only close, and every control keeps
// its state.
class TSettingForm final : public BlockingWindow, public IGeneralSettings
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TSettingForm)

public:
    static constexpr int ClientWidth = 391;
    static constexpr int ClientHeight = 498;
    static constexpr int GeneralPage = 0;
    static constexpr int ProfilesPage = 1;
    static constexpr int AfterPage = 2;
    static constexpr int HostsPage = 3;

    // Runs FormCreate: copies the owner's profile list (nothing selected) and
    // loads the General preferences of programFolder. Messages go through
    // interactive, which should have this window as their owner.
    TSettingForm(ISettingsOwner &owner, const QString &programFolder, IInteractive &interactive,
                 IDialogs &dialogs, QWidget *parent = nullptr);
    ~TSettingForm() override;

    // The General tab as it stands.
    GeneralPreferences generalPreferences() const override;

    // Opened by the main window's Settings picture: the General tab.
    void showGeneral();
    // Opened by "&Setting": the Profiles tab with profile number index of the
    // main window's list selected and loaded.
    void showProfiles(int index);

    ParameterGrids &grids() { return m_grids; }
    ParameterEditors *editors() const { return m_editors; }

    // Handlers.
    void sbtnBrowseClick();
    void cmbProfileChange();
    void btnSaveAsClick();
    void btnDefaultClick();
    void btnOKClick();
    void btnCancelClick();

signals:
    // The user chose another place for the outputs (the batch uses it at once).
    void outputPlaceChanged();

protected:
    void FormShow() override;

private:
    void FormCreate();
    void buildGeneralTab(QWidget *page);
    void buildProfilesTab(QWidget *page);
    void buildAfterTab(QWidget *page);
    void buildHostsTab(QWidget *page);
    // The file fields follow the choice of where to convert.
    void enableHostFields();
    // Puts the file the user picks into `field`.
    void pickFileInto(QLineEdit *field, const QString &filter);
    void setGeneralControls(const GeneralPreferences &preferences);
    QString currentProfilePath() const;
    // Copies the chosen profile to `target` with the grids' values.
    void saveProfileAs(const QString &target);
    void listSavedProfile(const QString &path);
    // Selects profile number index of the list and loads it.
    void selectProfile(int index);

    ISettingsOwner &m_owner;
    QString m_programFolder;
    IInteractive &m_interactive;
    IDialogs &m_dialogs;
    ParameterGrids m_grids;

    QTabWidget *pgcSetting = nullptr;
    // General
    QLineEdit *edtOutputDir = nullptr;
    QToolButton *sbtnBrowse = nullptr;
    QComboBox *cmbSyn = nullptr;
    QCheckBox *chkOpenDir = nullptr;
    QCheckBox *chkExit = nullptr;
    QCheckBox *chkTurnoff = nullptr;
    QGroupBox *gpbOverwrite = nullptr;
    QRadioButton *rdbOverWrite = nullptr;
    QRadioButton *rdbRename = nullptr;
    QSpinBox *spnJobs = nullptr;
    QComboBox *cmbOutputPlace = nullptr; // where the outputs go
    // After Conversion
    QCheckBox *chkNotBigger = nullptr;
    QCheckBox *chkKeepDates = nullptr;
    QSpinBox *spnSplitMinutes = nullptr;
    QComboBox *cmbOriginal = nullptr;    // keep, trash, delete
    QLineEdit *edtWhenDone = nullptr;
    QLineEdit *edtWhenBatchDone = nullptr;
    // Hosts
    QRadioButton *rdbThisComputer = nullptr;
    QRadioButton *rdbHosts = nullptr;
    QLineEdit *edtHostsFile = nullptr;
    QToolButton *sbtnHostsFile = nullptr;
    QLineEdit *edtSshConfig = nullptr;
    QToolButton *sbtnSshConfig = nullptr;
    // Profiles
    QComboBox *cmbProfile = nullptr;
    QPushButton *btnSaveAs = nullptr;
    ParameterEditors *m_editors = nullptr;
    QPlainTextEdit *memDescription = nullptr;
    // Below the tabs
    QPushButton *btnDefault = nullptr;
    QPushButton *btnOK = nullptr;
    QPushButton *btnCancel = nullptr;
};

// Where name goes in a profile list ordered as ProfileList orders it (with
// these names listed last), so that the list keeps that order.
int ProfileInsertPosition(const QStringList &names, const QString &name, const QStringList &listedLast = {});
