// Vantorix: starts the main window with the files named on the command line,
// or, with --console, the terminal front end.
#include "app/consolerun.h"
#include "app/mainform.h"
#include "platform/powercontrol.h"
#include "platform/shell.h"
#include "platform/sleepinhibitor.h"
#include "ui/dialogs.h"
#include "ui/widgetinteractive.h"

#include <QApplication>

int main(int argc, char **argv)
{
    if (WantsConsole(argc, argv))
        return RunConsole(argc, argv);

    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Vantorix"));

    WidgetInteractive interactive;
    WidgetDialogs dialogs;
    DesktopShell shell;
    SystemPowerControl power;
    SystemSleepInhibitor sleepInhibitor;

    MainFormServices services;
    services.arguments = QCoreApplication::arguments().mid(1);
    services.interactive = &interactive;
    services.dialogs = &dialogs;
    services.shell = &shell;
    services.power = &power;
    services.sleepInhibitor = &sleepInhibitor;

    TMainForm mainForm(services);
    interactive.setOwner(&mainForm);
    mainForm.show();
    return app.exec();
}
