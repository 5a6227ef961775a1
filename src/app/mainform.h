#pragma once

#include "conversion/conversionview.h"
#include "conversion/tasklistrecovery.h"
#include "profiles/parametergrid.h"
#include "ui/settingform.h"

#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

class BatchController;
class ConversionRun;
class ProfileController;
class TaskListController;
class EngineOutputForm;
class MainLayout;
class IDesktopNotifier;
class IDialogs;
class IGeneralSettings;
class IInteractive;
class IPowerControl;
class ISleepInhibitor;
class IShell;
class ParameterEditors;
class PictureButton;
class PreviewPanel;
class QAction;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSplitter;
class QTimer;
class QToolButton;
class QTreeView;
class TaskListModel;
class TAboutForm;
class TSizeForm;
class ValueListGrid;

// What the main window is given by the program's start-up: the folder it runs
// from, its command line, and the services it opens dialogs and reaches the
// system through.
struct MainFormServices
{
    QString programFolder;   // the executable's folder; empty: the running executable's
    QStringList arguments;   // the command line without the program name
    IInteractive *interactive = nullptr;
    IDialogs *dialogs = nullptr;
    IShell *shell = nullptr;
    IPowerControl *power = nullptr;
    ISleepInhibitor *sleepInhibitor = nullptr; // may be null
    IDesktopNotifier *desktop = nullptr;        // may be null
    // Where the task list is kept against a crash; empty: the user's data folder.
    QString recoveryFolder;
};

// The main window: the task list, the profile and output folder, the per-task
// output settings and the parameter grids, and Start and Stop.
class TMainForm final : public QWidget, public ConversionView, public ISettingsOwner
{
    Q_OBJECT
public:
    static constexpr int DesignWidth = 790;
    static constexpr int DesignHeight = 505;

    explicit TMainForm(const MainFormServices &services, QWidget *parent = nullptr);
    ~TMainForm() override;
    Q_DISABLE_COPY_MOVE(TMainForm)

    // The Settings window, opened by the Settings picture and "&Setting"; its
    // General controls hold the batch options from then on.
    void setSettingForm(TSettingForm *form);
    // The custom size dialog, opened when "Video Size" becomes "Custom Size".
    void setSizeForm(TSizeForm *form);
    // The About window created at start-up; without one, the first About
    // click creates it.
    void setAboutForm(TAboutForm *form);
    // Where the batch options are read instead of the Settings window (null:
    // the Settings window again). Without either, the values stored in the
    // preferences are used.
    void setGeneralSettings(const IGeneralSettings *settings);

    QString ProgramFolder() const { return m_programFolder; }
    QString EnginePath() const { return m_enginePath; }
    QString VersionText() const { return m_versionText; }
    QString HelpFile() const { return m_helpFile; }
    QString OutputExt() const;
    QStringList InputExts() const { return m_inputExts; }
    QString InputMask() const { return m_inputMask; }
    QString OpenDialogFilter() const { return m_openDialogFilter; }
    int LastListWidth() const { return m_lastListWidth; }
    int RunState() const;
    TaskListModel &tasks() { return *m_tasks; }
    ConversionRun &run() { return *m_run; }
    ParameterGrids &grids();
    ParameterGrid &outputGrid() { return m_outputGrid; }
    ParameterEditors *editors() const { return m_editors; }
    // True from the first file queued until addingFinished() has been sent.
    bool isAdding() const;

    // Task list operations.
    void AddTaskFile(const QString &path);
    void AddTaskFolder(const QString &folder);
    void AddCommandLineFiles();
    void SetGridValue(int grid, const QString &key, const QString &value);

    // Handlers.
    void tbtnAddFileClick();
    void tbtnAddDirClick();
    void tbtnRemoveClick();
    void tbtnClearClick();
    void tbtnStartClick();
    void tbtnStopClick();
    // F5 and Escape: the Start and Stop pictures, when the picture is there.
    void startKeyPressed();
    void stopKeyPressed();
    void tbtnHelpClick();
    void tbtnSettingClick();
    void tbtnAboutClick();
    void ltvTaskDblClick();
    void sbtnPlayClick();
    void PreviewSelectedTask();
    // Shows the engine's output of the first selected task, when it has one.
    void mniEngineOutputClick();
    void bbtnSettingClick();
    void imgStartClick();
    void imgStopClick();
    void bbtnBrowserClick();
    void bbtnOpenClick();
    void cmbProfileChange();
    void ltvTaskClick();
    void ltvTaskResize();
    // The selected rows dragged onto a row of the list (-1: below the last).
    void ltvTaskDragDrop(int row);
    void ppmTaskPopup();
    void vleOutputValidate();
    void vleOutputMouseDown();
    void vleVideoStringsChange();
    void timerTimeTimer();
    void FormResize();
    void PrepareForBatch();
    void EnableControls();

    // Closes the window as the end of a batch or a termination signal does:
    // a running batch is stopped without asking the user first.
    void closeWithoutAsking();

    // ConversionView
    void setConvertingFile(const QString &text) override;
    void setElapsedText(const QString &text) override;
    void setRemainingText(const QString &text) override;
    void setCurrentProgress(int position, const QString &label) override;
    void setTotalProgress(int position, const QString &label) override;
    void showProgressPanel(bool running) override;
    void setMemoText(const QString &text) override;
    void setTimerEnabled(bool enabled) override;
    void batchEnded(const QList<int> &rows) override;
    QString outputFolder() const override;
    QString outputExt() const override { return OutputExt(); }
    BatchOptions batchOptions() const override;
    void closeMainWindow() override;
    void requestPowerOffConfirmation(std::function<void(bool)> answered) override;

    // ISettingsOwner
    QWidget *ownerWindow() override { return this; }
    QStringList profileItems() const override;
    int profileIndex() const override;
    QString profileText() const override;
    QString outputFolderText() const override;
    void setOutputFolderText(const QString &folder) override;
    void reloadProfile() override;
    void insertProfileItem(int position, const QString &name) override;

signals:
    // Every file queued so far has been added (or adding was cancelled).
    void addingFinished();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormCreate();
    void FormShow();
    void FormClose();
    void buildWidgets();
    void buildBottomStrip();
    void buildTaskArea();
    void buildRightPane();
    void buildPopupMenu();
    void panSplitterMouseMove(int x, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);
    QList<QWidget *> batchLockedControls() const;
    ValueListGrid *gridByNumber(int grid) const;
    const IGeneralSettings &generalSettings() const;
    void restoreBatchSettings();
    void showOutputPlace();

    MainFormServices m_services;
    const IGeneralSettings *m_generalSettings = nullptr;
    QPointer<TSettingForm> m_settingForm;
    QPointer<TSizeForm> m_sizeForm;
    // Read from the preferences when needed without a Settings window.
    mutable std::unique_ptr<IGeneralSettings> m_storedGeneral;

    QString m_programFolder;
    QString m_enginePath;
    QString m_versionText;
    QString m_helpFile;
    QStringList m_inputExts;
    QString m_inputMask;
    QString m_openDialogFilter;
    int m_lastListWidth = 562;
    int m_columnDebt[4] = {}; // pixels a column could not shrink by
    std::unique_ptr<MainLayout> m_layout;
    bool m_shown = false;
    bool m_closeWithoutAsking = false;
    bool m_closeAsked = false; // the question before closing during a run is up

    TaskListModel *m_tasks = nullptr;
    ConversionRun *m_run = nullptr;
    ProfileController *m_profile = nullptr;
    TaskListController *m_list = nullptr;
    BatchController *m_batch = nullptr;
    ParameterGrid m_outputGrid;

    // Regions
    QWidget *pantop = nullptr;
    QWidget *panBottom = nullptr;
    QWidget *panBottomRight = nullptr;
    QWidget *panBottomCenter = nullptr;
    QWidget *panBottomLeft = nullptr;
    QWidget *panMain = nullptr;
    QLabel *panSplitter = nullptr;
    QWidget *panProfile = nullptr;
    QSplitter *splPreview = nullptr;
    PreviewPanel *panPreview = nullptr;
    QGroupBox *gpbProfile = nullptr;
    QWidget *panGettingStarted = nullptr;

    // Task area
    QTreeView *ltvTask = nullptr;
    QWidget *Toolbar1 = nullptr;
    PictureButton *ibtnAddFile = nullptr;
    PictureButton *ibtnAddDir = nullptr;
    PictureButton *ibtnRemove = nullptr;
    PictureButton *ibtnClear = nullptr;
    PictureButton *ibtnSetting = nullptr;
    PictureButton *ibtnAbout = nullptr;
    PictureButton *ibtnHelp = nullptr;
    QMenu *ppmTask = nullptr;
    QAction *mniRetryFailed = nullptr;

    // Bottom strip
    QComboBox *cmbProfile = nullptr;
    QPushButton *bbtnSetting = nullptr;
    QLineEdit *edtOutputdir = nullptr;
    QLabel *labOutputBeside = nullptr;
    QPushButton *bbtnBrowser = nullptr;
    QPushButton *bbtnOpen = nullptr;
    QLabel *labConvertingFile = nullptr;
    QLabel *labElapsed = nullptr;
    QLabel *labRemaining = nullptr;
    QProgressBar *pgbCurrent = nullptr;
    QLabel *labCurProgress = nullptr;
    QProgressBar *pgbTotal = nullptr;
    QLabel *labTotalProgress = nullptr;
    PictureButton *imgStart = nullptr;
    PictureButton *imgStop = nullptr;
    QToolButton *tbtnStart = nullptr;
    QToolButton *tbtnStop = nullptr;

    // Right pane
    ParameterEditors *m_editors = nullptr;
    ValueListGrid *vleOutput = nullptr;
    ValueListGrid *vleVideo = nullptr;
    ValueListGrid *vleAudio = nullptr;
    ValueListGrid *vleAdvanced = nullptr;

    QPlainTextEdit *Memo1 = nullptr;
    QTimer *timerTime = nullptr;
    QPointer<TAboutForm> m_aboutForm;
    std::unique_ptr<TAboutForm> m_ownAboutForm;
    QPointer<EngineOutputForm> m_engineOutputForm;
    TaskListRecovery *m_recovery = nullptr;
    std::optional<SavedBatch> m_restoredBatch; // applied once the preferences are
};
