// The console front end: lists the named files as tasks with the length and
// frame size the engine reports, and converts them one after another.
#include "app/consolerun.h"

#include "app/consolefrontend.h"
#include "conversion/conversionrun.h"
#include "conversion/mediaprobe.h"
#include "platform/powercontrol.h"
#include "profiles/parametergrid.h"
#include "profiles/profiles.h"
#include "platform/shell.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

#include <cstdio>

int RunConsole(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Vantorix"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Lists video files as conversion tasks (length and frame size) and, with --convert, "
                       "converts them one after another with the engine wmaspi.dll in the program folder."));
    parser.addHelpOption();
    const QCommandLineOption convert(QStringLiteral("convert"), QStringLiteral("Convert the tasks."));
    const QCommandLineOption output(QStringLiteral("output"), QStringLiteral("Output folder (default: the program folder)."),
                                    QStringLiteral("folder"));
    const QCommandLineOption profile(QStringLiteral("profile"),
                                     QStringLiteral("Convert with this profile at its stored values (see --list-profiles)."),
                                     QStringLiteral("name"));
    const QCommandLineOption listProfiles(QStringLiteral("list-profiles"), QStringLiteral("List the profiles."));
    const QCommandLineOption params(QStringLiteral("params"),
                                    QStringLiteral("Engine options for every task instead of a profile's, "
                                                   "e.g. \"-vcodec mpeg4 -b:v 800k\"."),
                                    QStringLiteral("options"));
    const QCommandLineOption ext(QStringLiteral("ext"),
                                 QStringLiteral("Output extension with --params (default .mp4)."),
                                 QStringLiteral("ext"), QStringLiteral(".mp4"));
    const QCommandLineOption rename(QStringLiteral("rename"),
                                    QStringLiteral("Rename outputs to <name>_<index> instead of overwriting."));
    const QCommandLineOption console(QStringLiteral("console"),
                                     QStringLiteral("Work on the terminal instead of opening the window."));
    parser.addOptions({console, convert, output, profile, listProfiles, params, ext, rename});
    parser.addPositionalArgument(QStringLiteral("files"), QStringLiteral("Video files to add as tasks."));
    parser.process(app);

    const QString programFolder = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    const QString enginePath = programFolder + QStringLiteral("wmaspi.dll");
    ConsoleInteractive interactive;
    QTextStream out(stdout);
    if (parser.isSet(listProfiles)) {
        for (const QString &name : ProfileList(programFolder))
            out << name << '\n';
        return 0;
    }

    QString outputExt = parser.value(ext);
    if (!outputExt.startsWith(QLatin1Char('.')))
        outputExt.prepend(QLatin1Char('.'));
    QString engineOptions = parser.value(params);
    if (!engineOptions.isEmpty() && !engineOptions.startsWith(QLatin1Char(' ')))
        engineOptions.prepend(QLatin1Char(' '));
    if (parser.isSet(profile)) {
        const QString path = ProfilePath(programFolder, parser.value(profile));
        ParameterGrids grids;
        const ProfileStatus status = LoadProfile(path, grids, interactive, &outputExt);
        if (status == ProfileStatus::Missing) {
            std::fprintf(stderr, "No profile named \"%s\" (--list-profiles lists them).\n",
                         qPrintable(parser.value(profile)));
            return 2;
        }
        const std::optional<QString> built = BuildParameterString(path, grids, interactive);
        if (status != ProfileStatus::Loaded || !built)
            return 2;
        engineOptions = *built;
    }

    const QStringList files = parser.positionalArguments();
    if (files.isEmpty()) {
        parser.showHelp(0);
    }

    TaskListModel tasks;
    MediaProbe probe(enginePath);
    for (const QString &file : files) {
        const QString path = QFileInfo(file).absoluteFilePath();
        probe.ProbeFile(path);
        tasks.appendTask(TaskFromProbe(path, probe, outputExt));
        out << path << "\tLength " << (probe.ProbeLength.isEmpty() ? QStringLiteral("?") : probe.ProbeLength)
            << "\tSize" << (probe.ProbeSize.isEmpty() ? QStringLiteral(" ?") : probe.ProbeSize) << '\n';
    }
    out.flush();
    if (!parser.isSet(convert))
        return 0;

    const QString outputFolder = parser.isSet(output) ? parser.value(output) : programFolder;
    if (!QFileInfo(outputFolder).isDir()) {
        std::fprintf(stderr, "The output path does not exist. Please specify another one.\n");
        return 2;
    }
    BatchOptions options;
    options.rename = parser.isSet(rename);
    ConsoleView view(outputFolder, outputExt, options);
    DesktopShell shell;
    SystemPowerControl power;
    ConversionRun run(tasks, view, interactive, shell, power);
    run.setEnginePath(enginePath);
    QObject::connect(&run, &ConversionRun::finished, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    run.RunConversion(engineOptions);
    app.exec();

    int failed = 0;
    for (int row = 0; row < tasks.rowCount(); ++row) {
        ltvItemData task;
        ReadItemData(tasks, row, WholeRowField, task);
        out << task.StatusText << '\t' << task.InputFile << '\n';
        failed += task.StatusText != QStringLiteral("Complete");
    }
    return failed == 0 ? 0 : 1;
}

bool WantsConsole(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i)
        if (qstrcmp(argv[i], "--console") == 0)
            return true;
    return false;
}
