// Vantorix: starts the main window with the files named on the command line,
// or, with --batch, converts them without a window.
#include "batch/batchmode.h"
#include "app/displaycheck.h"
#include "app/layoutprobe.h"
#include "app/mainform.h"
#include "app/orangestyle.h"
#include "app/startupwarning.h"
#include "platform/translations.h"
#include "platform/desktopnotifier.h"
#include "platform/logging.h"
#include "platform/powercontrol.h"
#include "platform/shell.h"
#include "platform/signalpipe.h"
#include "platform/sleepinhibitor.h"
#include "ui/aboutform.h"
#include "ui/dialogs.h"
#include "ui/settingform.h"
#include "ui/sizeform.h"
#include "ui/widgetinteractive.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    if (WantsBatch(argc, argv))
        return RunBatch(argc, argv);

    // Without a display the toolkit would abort with a message about plugins;
    // say what to do instead.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (!DisplayAvailable(arguments)) {
        QCoreApplication core(argc, argv);
        InstallTranslations(core, QCoreApplication::applicationDirPath(),
                            UserLanguage(QProcessEnvironment::systemEnvironment()));
        const QString text = QCoreApplication::translate(
            "Main", "vantorix: no display can be opened for the window; to convert without one, run \"vantorix --batch "
                    "[OPTION...] PATH...\" (\"vantorix --batch --help\" lists the options).\n");
        std::fputs(text.toLocal8Bit().constData(), stderr);
        return 1;
    }

    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Vantorix"));
    InstallTranslations(app, QCoreApplication::applicationDirPath(),
                        UserLanguage(QProcessEnvironment::systemEnvironment()));
    // Before any window exists: some windows fit their labels to the font.
    ApplyOrangeStyle(app);

    WidgetInteractive interactive;
    // The main window's messages that come before it is up wait for it.
    StartupWarning startupWarning(interactive);
    WidgetDialogs dialogs;
    DesktopShell shell;
    SystemPowerControl power;
    SystemSleepInhibitor sleepInhibitor;
    SessionBusNotifier desktop;

    MainFormServices services;
    services.arguments = QCoreApplication::arguments().mid(1);
    services.interactive = &startupWarning;
    services.dialogs = &dialogs;
    services.shell = &shell;
    services.power = &power;
    services.sleepInhibitor = &sleepInhibitor;
    services.desktop = &desktop;

    // The windows, in this order, before any is shown; each lives until the
    // program ends, which is when the main window closes.
    TMainForm mainForm(services);
    interactive.setOwner(&mainForm);

    TAboutForm aboutForm(DefaultAboutInfo(mainForm.VersionText()), shell, &mainForm);
    mainForm.setAboutForm(&aboutForm);

    // Messages of a window that blocks the main window belong to that window.
    WidgetInteractive settingInteractive;
    TSettingForm settingForm(mainForm, mainForm.ProgramFolder(), settingInteractive, dialogs);
    settingInteractive.setOwner(&settingForm);
    mainForm.setSettingForm(&settingForm);

    WidgetInteractive sizeInteractive;
    TSizeForm sizeForm(&mainForm, mainForm.grids().video, sizeInteractive);
    sizeInteractive.setOwner(&sizeForm);
    mainForm.setSizeForm(&sizeForm);

    // A signal to end the program (Ctrl+C in the terminal that started it,
    // SIGTERM at log-out, SIGHUP when that terminal goes away) is a close: the
    // batch is stopped with its row marked "Stop", the preferences are saved,
    // and the program ends. A message box up at that moment is closed first.
    SignalPipe signalPipe;
    QObject::connect(&signalPipe, &SignalPipe::caught, &mainForm, [&] {
        // No message comes up after the one being closed.
        startupWarning.discard();
        for (WidgetInteractive *boxes : {&interactive, &settingInteractive, &sizeInteractive})
            boxes->discard();
        // The other windows first (a message box up at that moment among
        // them), then the main window without the question a user's close
        // during a run gets: a signal is already the answer.
        for (QWidget *window : QApplication::topLevelWidgets())
            if (window != &mainForm && window->isVisible())
                window->close();
        if (mainForm.isVisible())
            mainForm.closeWithoutAsking();
        QCoreApplication::quit();
    });

    InstallLayoutProbe(mainForm);
    mainForm.show();
    qCInfo(lcStart) << "main window shown";
    startupWarning.open();
    return app.exec();
}
