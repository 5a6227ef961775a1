// The batch mode: the window's task rows, probe, profile, parameter string,
// rename rule and conversion run, driven from the command line and shown on a
// terminal.
#include "app/batchmode.h"

#include "app/batchview.h"
#include "app/translations.h"
#include "conversion/conversionrun.h"
#include "conversion/framesize.h"
#include "conversion/outputsettings.h"
#include "conversion/probequeue.h"
#include "conversion/tasklistops.h"
#include "conversion/taskrecord.h"
#include "conversion/watchfolder.h"
#include "platform/filenames.h"
#include "platform/signalpipe.h"
#include "profiles/newinifile.h"
#include "profiles/parametergrid.h"
#include "profiles/preferences.h"
#include "profiles/profiles.h"
#include "profiles/userfolder.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QTemporaryDir>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The texts a person reads, translated in the batch mode's own context.
struct Texts
{
    Q_DECLARE_TR_FUNCTIONS(BatchMode)
};

const QString MainSection = QStringLiteral("Main");
const QString VideoSizeKey = QStringLiteral("Video Size");
const QString CustomSize = QStringLiteral("Custom Size");

QByteArray local(const QString &text)
{
    return text.toLocal8Bit();
}

void printTo(std::FILE *stream, const QString &line)
{
    std::fprintf(stream, "%s\n", local(line).constData());
    std::fflush(stream);
}

int usageError(const QString &message)
{
    printTo(stderr, Texts::tr("vantorix --batch: %1").arg(message));
    printTo(stderr, Texts::tr("Try \"vantorix --batch --help\" for the options."));
    return BatchUsage;
}

// What Preferences.ini holds for a batch, read without writing the file back.
struct StoredChoices
{
    QString version = QStringLiteral("3.0");
    QString outputPath;
    int profileIndex = 0;
    bool overwrite = true;
    int jobs = 1;
};

StoredChoices readStoredChoices(const QString &programFolder, IInteractive &interactive)
{
    StoredChoices stored;
    stored.outputPath = DefaultOutputFolder(programFolder);
    // The store reads the file when it is created; it is dropped without
    // SaveAndFree, so nothing is written.
    const std::unique_ptr<TNewInifile> ini = TNewInifile::Create(PreferencesPath(programFolder), interactive);
    if (!ini)
        return stored;
    stored.version = ini->ReadString(MainSection, QStringLiteral("Version"), stored.version);
    stored.outputPath = ini->ReadString(MainSection, QStringLiteral("Output Path"), stored.outputPath);
    stored.profileIndex = ini->ReadInteger(MainSection, QStringLiteral("Profile"), 0);
    stored.overwrite = ini->ReadBool(MainSection, QStringLiteral("Overwrite"), true);
    stored.jobs = JobsInRange(ini->ReadInteger(MainSection, QStringLiteral("Jobs"), 1));
    return stored;
}

struct Skipped
{
    QString path;
    QString reason;
};

// The options of one batch, checked.
struct BatchRequest
{
    QString profileName;
    QStringList settings;
    QString outputFolder;
    bool rename = false;
    int jobs = 1;
    std::optional<QString> start;
    std::optional<QString> end;
    bool recursive = false;  // folders with their subfolders
    OutputPlace place = OutputPlace::Folder;
    QStringList files;
    QHash<QString, QString> foundUnder; // a file listed from a folder -> that folder
    QList<Skipped> skippedFolders;      // folders a listing could not take
    QStringList missing;     // as named, printable
    QStringList unnamable;   // paths whose names are not valid UTF-8, printable
    BatchOptions afterwards; // not smaller, dates, the original, done-commands
};

// --start and --end through the output settings' own checks; a task they do
// not fit is left out, told on standard error and returned (last row first).
QList<Skipped> applyTimes(TaskListModel &tasks, const BatchRequest &request)
{
    QList<Skipped> left;
    if (!request.start && !request.end)
        return left;
    for (int row = tasks.rowCount() - 1; row >= 0; --row) {
        ltvItemData task;
        ReadItemData(tasks, row, WholeRowField, task);
        const OutputSettings edited{task.NewName + task.NewExt, request.start.value_or(task.StartText),
                                    request.end.value_or(task.EndText)};
        const ltvItemData stored = ApplyOutputSettings(task, edited);
        const bool startFits = !request.start || stored.StartSecs == TimeTextToSeconds(*request.start);
        const bool endFits = !request.end || stored.EndSecs == TimeTextToSeconds(*request.end);
        if (startFits && endFits) {
            for (int field : {3, 4, 7, 8, 9})
                WriteItemData(tasks, row, field, stored);
            continue;
        }
        const QString length = task.LengthText.isEmpty() ? QStringLiteral("unknown") : task.LengthText;
        const Skipped skipped{PrintableName(task.InputFile),
                              Texts::tr("the time range does not fit its length %1").arg(length)};
        printTo(stderr, Texts::tr("Skipped %1: %2").arg(skipped.path, skipped.reason));
        left << skipped;
        tasks.removeRow(row);
    }
    return left;
}

// Lists the tasks, applies the time range, runs the batch and prints the
// summary.
class BatchMode final : public QObject
{
    Q_OBJECT
public:
    BatchMode(QString programFolder, BatchRequest request, QString params, QString outputExt,
              BatchInteractive &interactive, SignalPipe &signalPipe)
        : m_programFolder(std::move(programFolder))
        , m_request(std::move(request))
        , m_params(std::move(params))
        , m_outputExt(std::move(outputExt))
        , m_interactive(interactive)
        , m_probes(m_tasks)
        , m_view(m_tasks, m_request.outputFolder, m_outputExt, m_request.rename, ::isatty(STDERR_FILENO) == 1)
        , m_run(m_tasks, m_view, interactive, m_shell, m_power)
        , m_signalPipe(signalPipe)
    {
        const QString engine = m_programFolder + QStringLiteral("wmaspi.dll");
        m_probes.setEnginePath(engine);
        m_run.setEnginePath(engine);
        m_view.setRun(&m_run);
        m_view.setJobs(m_request.jobs);
        connect(&m_probes, &ProbeQueue::idle, this, &BatchMode::onListed);
        connect(&m_run, &ConversionRun::finished, this, &BatchMode::onFinished, Qt::QueuedConnection);
        connect(&signalPipe, &SignalPipe::caught, this, &BatchMode::onSignal);
        // Ctrl+Z holds the engines, then the program itself; fg goes on with both.
        signalPipe.handleJobControl();
        connect(&signalPipe, &SignalPipe::suspendRequested, this, &BatchMode::onSuspend);
        connect(&signalPipe, &SignalPipe::continued, &m_run, &ConversionRun::resume);
        for (const QString &path : std::as_const(m_request.unnamable))
            m_skipped << Skipped{path, Texts::tr("the name is not valid UTF-8")};
        m_skipped << m_request.skippedFolders;
        m_view.setOutputPlace(m_request.place);
        m_view.setAfterwards(m_request.afterwards);
    }
    Q_DISABLE_COPY_MOVE(BatchMode)

    int exec()
    {
        for (const QString &path : m_request.missing)
            printTo(stderr, Texts::tr("Not found: %1").arg(path));
        for (const Skipped &skipped : std::as_const(m_skipped))
            printTo(stderr, Texts::tr("Skipped %1: %2").arg(skipped.path, skipped.reason));
        for (const QString &path : m_request.files)
            m_probes.enqueue(path, m_outputExt, m_request.foundUnder.value(path));
        if (!m_probes.isBusy()) {
            if (m_request.files.isEmpty() && m_request.missing.isEmpty() && m_skipped.isEmpty())
                printTo(stderr, Texts::tr("No files to convert."));
            return summary();
        }
        return QCoreApplication::exec();
    }

private:
    void onListed()
    {
        if (m_interrupted) {
            QCoreApplication::exit(summary());
            return;
        }
        for (const Skipped &skipped : applyTimes(m_tasks, m_request))
            m_skipped.insert(m_request.unnamable.size(), skipped);
        m_interactive.setQuiet(true);
        m_running = true;
        m_run.RunConversion(m_params);
    }

    void onSignal()
    {
        const bool again = m_interrupted;
        m_interrupted = true;
        if (m_probes.isBusy()) {
            m_probes.cancel(); // idle follows, and the batch ends there
            return;
        }
        if (!m_running)
            return;
        if (again)
            m_run.abandon(); // a second signal: the engine is killed at once
        else
            m_run.requestStop();
    }

    // The engines are in process groups of their own: a stopped job would
    // leave them working. They are suspended first; then the program stops
    // as the shell expects, and when continued it continues them.
    void onSuspend()
    {
        m_run.pause();
        m_signalPipe.stopProgram();
        m_run.resume();
    }

    void onFinished()
    {
        m_running = false;
        QCoreApplication::exit(summary());
    }

    int summary()
    {
        const QStringList outputs = m_view.outputPaths();
        int complete = 0, failed = 0, stopped = 0, notRun = 0, notSmaller = 0;
        QStringList lines;
        for (int row = 0; row < m_tasks.rowCount(); ++row) {
            ltvItemData task;
            ReadItemData(m_tasks, row, WholeRowField, task);
            const QString status = task.StatusText;
            const QString output = outputs.value(row);
            if (status == RowStatus::Complete) {
                ++complete;
            } else if (status == RowStatus::Failed) {
                ++failed;
            } else if (status == RowStatus::Stop) {
                ++stopped;
            } else if (status == RowStatus::NotSmaller) {
                ++notSmaller; // done as asked: the original stays
            } else {
                ++notRun;
                lines << Texts::tr("  Not converted  %1").arg(PrintableName(task.InputFile));
                continue;
            }
            lines << QStringLiteral("  %1  %2 -> %3").arg(status, PrintableName(task.InputFile), PrintableName(output));
            // What the Status cell's tip says: why it failed, why it was renamed, the engine's last lines.
            for (const QString &line : m_tasks.statusTip(row).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
                lines << QStringLiteral("      | ") + line;
        }
        for (const Skipped &skipped : m_skipped)
            lines << Texts::tr("  Skipped  %1 (%2)").arg(skipped.path, skipped.reason);
        for (const QString &path : m_request.missing)
            lines << Texts::tr("  Not found  %1").arg(path);

        QString head = Texts::tr("Summary: %1 complete, %2 failed, %3 stopped").arg(complete).arg(failed).arg(stopped);
        if (notSmaller > 0)
            head += Texts::tr(", %1 not smaller (originals kept)").arg(notSmaller);
        if (!m_skipped.isEmpty())
            head += Texts::tr(", %1 skipped").arg(m_skipped.size());
        if (!m_request.missing.isEmpty())
            head += Texts::tr(", %1 not found").arg(m_request.missing.size());
        if (notRun > 0)
            head += Texts::tr(", %1 not converted").arg(notRun);
        if (m_interrupted)
            head += Texts::tr(" (interrupted)");
        printTo(stdout, head);
        for (const QString &line : lines)
            printTo(stdout, line);

        if (m_interrupted)
            return BatchInterrupted;
        const bool allDone = complete + notSmaller == m_tasks.rowCount() && m_skipped.isEmpty() && m_request.missing.isEmpty();
        return allDone ? BatchCompleted : BatchFailed;
    }

    QString m_programFolder;
    BatchRequest m_request;
    QString m_params;
    QString m_outputExt;
    BatchInteractive &m_interactive;
    NoShell m_shell;
    NoPowerControl m_power;
    TaskListModel m_tasks;
    ProbeQueue m_probes;
    BatchView m_view;
    ConversionRun m_run;
    SignalPipe &m_signalPipe;
    QList<Skipped> m_skipped;
    bool m_interrupted = false;
    bool m_running = false;
};

// A batch fed by a watched folder: the files that settle there are converted
// in rounds, those that settle while a round runs making the next one. Each
// file converted, failed or skipped goes to the journal in the output folder,
// so that a watch started again leaves it alone. It ends only on a signal to
// end, after stopping the running engines as Stop does; a stopped file is not
// in the journal and is converted by the next watch.
class WatchBatch final : public QObject
{
    Q_OBJECT
public:
    WatchBatch(BatchRequest request, QString params, QString outputExt, BatchInteractive &interactive,
               SignalPipe &signalPipe, QString enginePath, const QString &folder, bool recursive, int settleMs)
        : m_request(std::move(request))
        , m_params(std::move(params))
        , m_outputExt(std::move(outputExt))
        , m_enginePath(std::move(enginePath))
        , m_interactive(interactive)
        , m_signalPipe(signalPipe)
        , m_journal(m_request.outputFolder + WatchJournal::FileName)
        , m_watch(folder, recursive, InputExts())
        , m_settleMs(settleMs)
    {
        m_watch.setSettleMs(settleMs);
        m_watch.setJournal(&m_journal);
        connect(&m_watch, &WatchFolder::settled, this, &WatchBatch::onSettled);
        connect(&signalPipe, &SignalPipe::caught, this, &WatchBatch::onSignal);
        signalPipe.handleJobControl();
        connect(&signalPipe, &SignalPipe::suspendRequested, this, &WatchBatch::onSuspend);
        connect(&signalPipe, &SignalPipe::continued, this, [this] {
            if (m_round)
                m_round->run.resume();
        });
    }
    Q_DISABLE_COPY_MOVE(WatchBatch)

    int exec()
    {
        if (!m_journal.error().isEmpty()) {
            printTo(stderr, m_journal.error());
            return BatchFailed;
        }
        printTo(stderr, Texts::tr("Watching %1 (a file is converted once it has not changed for %2 s); "
                                       "Ctrl+C ends.")
                            .arg(PrintableName(m_watch.folder()))
                            .arg(m_settleMs / 1000.0));
        m_watch.start();
        return QCoreApplication::exec();
    }

private:
    // The task list, probes, view and run of one round.
    struct Round
    {
        explicit Round(const WatchBatch &batch)
            : probes(tasks)
            , view(tasks, batch.m_request.outputFolder, batch.m_outputExt, batch.m_request.rename,
                   ::isatty(STDERR_FILENO) == 1)
            , run(tasks, view, batch.m_interactive, shell, power)
        {
            probes.setEnginePath(batch.m_enginePath);
            run.setEnginePath(batch.m_enginePath);
            view.setRun(&run);
            view.setJobs(batch.m_request.jobs);
            view.setOutputPlace(batch.m_request.place);
            view.setAfterwards(batch.m_request.afterwards);
        }

        NoShell shell;
        NoPowerControl power;
        TaskListModel tasks;
        ProbeQueue probes;
        BatchView view;
        ConversionRun run;
        QHash<QString, WatchedFile> files; // by path
        QSet<int> ended;                    // rows counted and journalled
    };

    void onSettled(const WatchedFile &file)
    {
        m_waiting << file;
        // From the event loop: the files that settle together make one round.
        QMetaObject::invokeMethod(this, &WatchBatch::startRound, Qt::QueuedConnection);
    }

    void startRound()
    {
        if (m_round || m_interrupted || m_waiting.isEmpty())
            return;
        m_round = std::make_unique<Round>(*this);
        connect(&m_round->probes, &ProbeQueue::idle, this, &WatchBatch::onListed);
        connect(&m_round->run, &ConversionRun::finished, this, &WatchBatch::onRoundFinished, Qt::QueuedConnection);
        connect(&m_round->tasks, &QAbstractItemModel::dataChanged, this,
                [this](const QModelIndex &from, const QModelIndex &to) {
                    for (int row = from.row(); row <= to.row(); ++row)
                        rowChanged(row);
                });
        for (const WatchedFile &file : std::exchange(m_waiting, {})) {
            m_round->files.insert(file.path, file);
            m_round->probes.enqueue(file.path, m_outputExt, m_watch.folder());
        }
    }

    void onListed()
    {
        if (m_interrupted) {
            end();
            return;
        }
        for (const Skipped &skipped : applyTimes(m_round->tasks, m_request)) {
            record(skipped.path, QStringLiteral("skipped"));
            ++m_skipped;
            m_lines << Texts::tr("  Skipped  %1 (%2)").arg(skipped.path, skipped.reason);
        }
        m_interactive.setQuiet(true);
        m_round->run.RunConversion(m_params);
    }

    // A row that has its result is counted, printed and, unless stopped,
    // journalled at once: a watch ended in the middle of a round keeps what
    // the round did so far.
    void rowChanged(int row)
    {
        ltvItemData task;
        ReadItemData(m_round->tasks, row, WholeRowField, task);
        const QString status = task.StatusText;
        int *count = status == RowStatus::Complete || status == RowStatus::NotSmaller ? &m_complete
            : status == RowStatus::Failed          ? &m_failed
            : status == RowStatus::Stop            ? &m_stopped
                                                   : nullptr;
        if (!count || m_round->ended.contains(row))
            return; // not at its end yet, or told already
        ++*count;
        m_round->ended.insert(row);
        if (status != RowStatus::Stop)
            record(task.InputFile, status.toLower());
        const QString line = QStringLiteral("  %1  %2 -> %3")
                                 .arg(status, PrintableName(task.InputFile),
                                      PrintableName(m_round->run.outputPathOf(row)));
        printTo(stdout, line);
        m_lines << line;
    }

    void onRoundFinished()
    {
        for (int row = 0; row < m_round->tasks.rowCount(); ++row)
            rowChanged(row);
        m_round.reset(); // reached from the event loop: none of it is at work
        if (m_interrupted)
            end();
        else
            startRound();
    }

    void record(const QString &path, const QString &status)
    {
        const WatchedFile file = m_round->files.value(path, WatchedFile{path, -1, 0});
        QString error;
        if (!m_watch.finish(file, status, &error))
            printTo(stderr, Texts::tr("The journal could not be written: %1").arg(error));
    }

    void onSignal()
    {
        const bool again = m_interrupted;
        m_interrupted = true;
        m_watch.stop();
        if (!m_round) {
            end();
            return;
        }
        if (m_round->probes.isBusy())
            m_round->probes.cancel(); // idle follows, and the watch ends there
        else if (again)
            m_round->run.abandon(); // a second signal: the engine is killed at once
        else
            m_round->run.requestStop();
    }

    void onSuspend()
    {
        if (m_round)
            m_round->run.pause();
        m_signalPipe.stopProgram();
        if (m_round)
            m_round->run.resume();
    }

    void end()
    {
        QString head = Texts::tr("Summary: %1 complete, %2 failed, %3 stopped")
                           .arg(m_complete)
                           .arg(m_failed)
                           .arg(m_stopped);
        if (m_skipped > 0)
            head += Texts::tr(", %1 skipped").arg(m_skipped);
        printTo(stdout, head + Texts::tr(" (interrupted)"));
        for (const QString &line : std::as_const(m_lines))
            printTo(stdout, line);
        QCoreApplication::exit(BatchInterrupted);
    }

    BatchRequest m_request;
    QString m_params;
    QString m_outputExt;
    QString m_enginePath;
    BatchInteractive &m_interactive;
    SignalPipe &m_signalPipe;
    WatchJournal m_journal;
    WatchFolder m_watch;
    int m_settleMs;
    std::unique_ptr<Round> m_round;
    QList<WatchedFile> m_waiting;
    QStringList m_lines;
    int m_complete = 0, m_failed = 0, m_stopped = 0, m_skipped = 0;
    bool m_interrupted = false;
};

// A time for --start or --end: a time text none of whose parts is negative
// ("-0:00:01" would read as one second).
bool isBatchTime(const QString &text)
{
    if (TimeTextToSeconds(text) < 0)
        return false;
    const QStringList parts = text.split(QLatin1Char(':'));
    return std::none_of(parts.begin(), parts.end(),
                        [](const QString &part) { return part.trimmed().startsWith(QLatin1Char('-')); });
}

// The arguments whose bytes are not UTF-8, by the text they were read as.
QHash<QString, QByteArrayList> unnamableArguments(int argc, char **argv)
{
    QHash<QString, QByteArrayList> raw;
    for (int i = 1; i < argc; ++i) {
        const QByteArray bytes(argv[i]);
        if (!IsNameable(bytes))
            raw[QFile::decodeName(bytes)] << bytes;
    }
    return raw;
}

// A path the batch cannot hand to the engine: skipped when it is there,
// else not found.
// A folder named on the command line: its files, each knowing the folder it
// was found under, and the folders it could not take.
void listFolder(BatchRequest &request, const QString &folder, QByteArrayList &unnamable)
{
    ListingProblems problems;
    for (const QString &file : ListFolder(folder, request.recursive, &problems)) {
        request.files << file;
        request.foundUnder.insert(file, folder);
    }
    for (const ListingProblems::SkippedFolder &skipped : std::as_const(problems.folders))
        request.skippedFolders << Skipped{PrintableName(skipped.path), skipped.reason};
    unnamable << problems.unnamable;
}

void addUnnamable(BatchRequest &request, const QByteArray &raw)
{
    struct stat info = {};
    if (::stat(raw.constData(), &info) == 0)
        request.unnamable << PrintableName(raw);
    else
        request.missing << PrintableName(raw);
}

bool isCustomSize(const QString &value)
{
    const QStringList parts = value.split(QLatin1Char('x'));
    return parts.size() == 2 && IsFrameDimension(parts[0]) && IsFrameDimension(parts[1]);
}

bool xcbConnects()
{
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    const bool usable = connection && xcb_connection_has_error(connection) == 0;
    if (connection)
        xcb_disconnect(connection);
    return usable;
}

bool waylandThere()
{
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

} // namespace

QString ApplyGridSetting(ParameterGrids &grids, const QString &setting)
{
    const qsizetype equals = setting.indexOf(QLatin1Char('='));
    if (equals <= 0)
        return Texts::tr("--set \"%1\": expected \"Parameter=Value\"").arg(setting);
    const QString name = setting.left(equals).trimmed();
    const QString value = setting.mid(equals + 1).trimmed();
    for (ParameterGrid *grid : {&grids.video, &grids.audio, &grids.advanced}) {
        const int row = grid->findRow(name);
        if (row < 0)
            continue;
        if (grid->isPickList(row)) {
            const QStringList choices = grid->pickList(row);
            for (const QString &choice : choices) {
                if (choice.compare(value, Qt::CaseInsensitive) != 0)
                    continue;
                if (choice == CustomSize)
                    return Texts::tr("--set \"%1\": give the size itself, e.g. \"%2=640x480\"")
                        .arg(setting, grid->nameAt(row));
                grid->setValueAt(row, choice);
                return QString();
            }
            if (grid->nameAt(row).compare(VideoSizeKey, Qt::CaseInsensitive) == 0 && isCustomSize(value)) {
                const QStringList parts = value.split(QLatin1Char('x'));
                grid->setValueAt(row, parts[0].trimmed() + QLatin1Char('x') + parts[1].trimmed());
                return QString();
            }
            QStringList offered;
            for (const QString &choice : choices)
                if (choice != CustomSize)
                    offered << choice;
            QString reason = Texts::tr("--set \"%1\": \"%2\" is not a choice of \"%3\" (%4)")
                                 .arg(setting, value, grid->nameAt(row), offered.join(QStringLiteral(", ")));
            if (grid->nameAt(row).compare(VideoSizeKey, Qt::CaseInsensitive) == 0)
                reason += Texts::tr(" or a size WIDTHxHEIGHT");
            return reason;
        }
        if (grid->isReadOnly(row))
            return Texts::tr("--set \"%1\": \"%2\" cannot be changed").arg(setting, grid->nameAt(row));
        grid->setValueAt(row, value);
        return QString();
    }
    return Texts::tr("--set \"%1\": the profile has no parameter \"%2\"").arg(setting, name);
}

bool DisplayAvailable(const QStringList &arguments)
{
    QString platform = QString::fromLocal8Bit(qgetenv("QT_QPA_PLATFORM"));
    const qsizetype option = arguments.indexOf(QStringLiteral("-platform"));
    if (option >= 0 && option + 1 < arguments.size())
        platform = arguments[option + 1];
    if (platform.trimmed().isEmpty())
        return xcbConnects() || waylandThere();
    // A list such as "wayland;xcb" is tried in order; a platform's options
    // follow its name after a colon.
    for (const QString &entry : platform.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString name = entry.section(QLatin1Char(':'), 0, 0).trimmed();
        if (name == QLatin1String("xcb")) {
            if (xcbConnects())
                return true;
        } else if (name.startsWith(QLatin1String("wayland"))) {
            if (waylandThere())
                return true;
        } else {
            return true; // offscreen, minimal, vnc, eglfs, ...: no display server to ask
        }
    }
    return false;
}

bool WantsBatch(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--") == 0)
            return false;
        if (qstrcmp(argv[i], "--batch") == 0)
            return true;
    }
    return false;
}

int RunBatch(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Vantorix"));
    InstallTranslations(app, QCoreApplication::applicationDirPath(),
                        UserLanguage(QProcessEnvironment::systemEnvironment()));
    // From here on a signal to end waits until the batch can end through its
    // ordinary path, which removes what the batch made.
    SignalPipe signalPipe;
    const QString programFolder = AddTrailingSeparator(QCoreApplication::applicationDirPath());
    BatchInteractive interactive;
    const StoredChoices stored = readStoredChoices(programFolder, interactive);
    QCoreApplication::setApplicationVersion(stored.version);

    QCommandLineParser parser;
    parser.setApplicationDescription(Texts::tr(
        "Converts video files without a window, one after another or several at once (--jobs), with a "
        "profile of the program folder.\n"
        "PATH: a file (converted whatever its extension), a folder (its supported files; with -r, those of its "
        "subfolders too), or, as the first "
        "path, a .tmp file listing one path per line.\n"
        "Exit status: 0 every task completed, 1 a task failed or was skipped, 2 bad usage, "
        "130 interrupted."));
    const QCommandLineOption batch(QStringLiteral("batch"), Texts::tr("Convert without a window."));
    const QCommandLineOption profile({QStringLiteral("p"), QStringLiteral("profile")},
                                     Texts::tr("The profile (default: the one chosen last in the window, "
                                                    "else the first; see --list-profiles)."),
                                     Texts::tr("name"));
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")},
                                    Texts::tr("The output folder (default: the one chosen last in the window)."),
                                    Texts::tr("folder"));
    const QCommandLineOption overwrite(QStringLiteral("overwrite"),
                                       Texts::tr("Overwrite existing output files."));
    const QCommandLineOption rename(QStringLiteral("rename"),
                                    Texts::tr("Name an output <name>_<index> when its file exists "
                                                   "(default: the choice stored in the Settings window)."));
    const QCommandLineOption set(QStringLiteral("set"),
                                 Texts::tr("Set a parameter of the profile, as in its grid, e.g. "
                                                "\"Video Size=640x480\" (repeatable)."),
                                 Texts::tr("Parameter=Value"));
    const QCommandLineOption start(QStringLiteral("start"),
                                   Texts::tr("Convert every file from this time on (h:m:s[.f])."),
                                   Texts::tr("time"));
    const QCommandLineOption end(QStringLiteral("end"), Texts::tr("Convert every file up to this time."),
                                 Texts::tr("time"));
    const QCommandLineOption jobs({QStringLiteral("j"), QStringLiteral("jobs")},
                                  Texts::tr("Convert up to N files at once, 1 to %1 (default: the number "
                                                 "stored in the Settings window, else 1).")
                                      .arg(MaxJobs()),
                                  QStringLiteral("N"));
    const QCommandLineOption recursive({QStringLiteral("r"), QStringLiteral("recursive")},
                                       Texts::tr("List the folders named with their subfolders (with --watch: "
                                                      "watch its subfolders too)."));
    const QCommandLineOption tree(QStringLiteral("tree"),
                                  Texts::tr("Keep the folder tree: a file found in a subfolder of a folder named "
                                                 "goes to the same subfolder of the output folder."));
    const QCommandLineOption beside(QStringLiteral("beside"),
                                    Texts::tr("Write each output beside its input, not into the output folder."));
    const QCommandLineOption watch(QStringLiteral("watch"),
                                   Texts::tr("Watch the folder and convert every supported file that appears "
                                                  "in it once it has settled, until ended by Ctrl+C or SIGTERM; "
                                                  "a journal in the output folder keeps a file from being "
                                                  "converted twice."),
                                   Texts::tr("folder"));
    const QCommandLineOption settle(QStringLiteral("settle"),
                                    Texts::tr("With --watch: how long a file must stay unchanged, and closed "
                                                   "by its writer, before it is converted (default 10)."),
                                    Texts::tr("seconds"));
    const QCommandLineOption copyFitting(QStringLiteral("copy-fitting"),
                                         Texts::tr("Copy each stream that already has the profile's codec and fits "
                                                   "its settings; convert the rest."));
    const QCommandLineOption notBigger(QStringLiteral("not-bigger"),
                                       Texts::tr("Keep the original when the output is not smaller: the output "
                                                 "is discarded."));
    const QCommandLineOption noDates(QStringLiteral("no-keep-dates"),
                                     Texts::tr("Do not give the outputs their inputs' modification times and "
                                               "tags."));
    const QCommandLineOption original(QStringLiteral("original"),
                                      Texts::tr("What becomes of an input once its output is checked and saved: "
                                                "keep (default), trash, delete."),
                                      QStringLiteral("keep|trash|delete"));
    const QCommandLineOption whenDone(QStringLiteral("when-done"),
                                      Texts::tr("Run this command for each file that ended, with VANTORIX_INPUT, "
                                                "VANTORIX_OUTPUT, VANTORIX_STATUS and VANTORIX_ORIGINAL in its "
                                                "environment (no shell)."),
                                      Texts::tr("command"));
    const QCommandLineOption whenBatchDone(QStringLiteral("when-batch-done"),
                                           Texts::tr("Run this command once the batch has ended, with "
                                                     "VANTORIX_STATUS and the counts in its environment."),
                                           Texts::tr("command"));
    const QCommandLineOption listProfiles(QStringLiteral("list-profiles"), Texts::tr("List the profiles."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addOptions({batch, profile, output, overwrite, rename, set, start, end, jobs, recursive, tree, beside, watch,
                       settle, copyFitting, notBigger, noDates, original, whenDone, whenBatchDone, listProfiles});
    parser.addPositionalArgument(QStringLiteral("paths"), Texts::tr("Files and folders to convert."),
                                 Texts::tr("PATH..."));

    if (!parser.parse(QCoreApplication::arguments()))
        return usageError(parser.errorText());
    if (parser.isSet(help)) {
        QString text = parser.helpText();
        // The usage line names the command a person types, in whatever language it is shown.
        const QString program = QCoreApplication::arguments().constFirst() + QLatin1Char(' ');
        const qsizetype at = text.indexOf(program);
        if (at >= 0)
            text.replace(at, program.size(), QStringLiteral("vantorix --batch "));
        std::fputs(local(text).constData(), stdout);
        return BatchCompleted;
    }
    if (parser.isSet(version)) {
        printTo(stdout, QStringLiteral("Vantorix ") + stored.version);
        return BatchCompleted;
    }
    const QStringList profiles = ProfileList(programFolder);
    if (parser.isSet(listProfiles)) {
        for (const QString &name : profiles)
            printTo(stdout, name);
        return BatchCompleted;
    }

    BatchRequest request;
    if (parser.isSet(overwrite) && parser.isSet(rename))
        return usageError(Texts::tr("--overwrite and --rename exclude each other"));
    request.rename = parser.isSet(rename) || (!parser.isSet(overwrite) && !stored.overwrite);
    request.jobs = stored.jobs;
    request.afterwards.notBigger = parser.isSet(notBigger);
    request.afterwards.keepDates = !parser.isSet(noDates);
    if (parser.isSet(original)) {
        const std::optional<OriginalAction> action = OriginalActionFromName(parser.value(original).trimmed());
        if (!action)
            return usageError(Texts::tr("--original \"%1\" is none of keep, trash, delete").arg(parser.value(original)));
        request.afterwards.original = *action;
    }
    request.afterwards.doneCommand = parser.value(whenDone);
    request.afterwards.batchDoneCommand = parser.value(whenBatchDone);
    if (parser.isSet(tree) && parser.isSet(beside))
        return usageError(Texts::tr("--tree and --beside cannot be used together"));
    request.recursive = parser.isSet(recursive);
    request.place = parser.isSet(tree) ? OutputPlace::Tree : parser.isSet(beside) ? OutputPlace::Beside : OutputPlace::Folder;
    if (parser.isSet(jobs)) {
        bool number = false;
        const QString text = parser.value(jobs).trimmed();
        request.jobs = text.toInt(&number);
        if (!number || request.jobs != JobsInRange(request.jobs))
            return usageError(Texts::tr("--jobs \"%1\" is not a number of files at once from 1 to %2")
                                  .arg(text)
                                  .arg(MaxJobs()));
    }
    for (const auto &[option, target] : {std::pair{&start, &request.start}, std::pair{&end, &request.end}}) {
        if (!parser.isSet(*option))
            continue;
        const QString text = parser.value(*option).trimmed();
        if (!isBatchTime(text))
            return usageError(Texts::tr("--%1 \"%2\" is not a time (h:m:s, e.g. 0:01:30 or 0:00:05.5)")
                                  .arg(option->names().constFirst(), text));
        *target = text;
    }
    if (request.start && request.end && TimeTextToSeconds(*request.end) <= TimeTextToSeconds(*request.start))
        return usageError(Texts::tr("--end must come after --start"));

    if (parser.isSet(profile)) {
        const QString wanted = parser.value(profile);
        for (const QString &name : profiles)
            if (name == wanted || (request.profileName.isEmpty() && name.compare(wanted, Qt::CaseInsensitive) == 0))
                request.profileName = name;
        if (request.profileName.isEmpty())
            return usageError(Texts::tr("--profile: there is no profile \"%1\" (--list-profiles lists them)")
                                  .arg(wanted));
    } else if (profiles.isEmpty()) {
        printTo(stderr, Texts::tr("There is no profile in %1.").arg(ProfilesFolder(programFolder)));
        return BatchUsage;
    } else {
        const int index = stored.profileIndex;
        request.profileName = profiles.value(index >= 0 && index < profiles.size() ? index : 0);
    }

    const QString folder = parser.isSet(output) ? parser.value(output) : stored.outputPath;
    // Outputs beside their inputs need no output folder.
    if (request.place != OutputPlace::Beside && (folder.isEmpty() || !QFileInfo(folder).isDir())) {
        if (parser.isSet(output))
            return usageError(Texts::tr("--output: the folder \"%1\" does not exist").arg(folder));
        printTo(stderr, Texts::tr("The output path does not exist. Please specify another one. "
                                       "(stored: \"%1\"; give one with --output)").arg(folder));
        return BatchUsage;
    }
    request.outputFolder = AddTrailingSeparator(QDir::cleanPath(QDir::current().absoluteFilePath(folder)));

    const QStringList positional = parser.positionalArguments();
    QString watchFolder;
    int settleMs = WatchFolder::DefaultSettleMs;
    if (parser.isSet(settle)) {
        bool number = false;
        const QString text = parser.value(settle).trimmed();
        const double seconds = text.toDouble(&number);
        if (!number || !(seconds >= 0 && seconds <= 86400))
            return usageError(Texts::tr("--settle \"%1\" is not a number of seconds from 0 to 86400").arg(text));
        settleMs = qRound(seconds * 1000);
    }
    if (parser.isSet(watch)) {
        const QFileInfo watched(parser.value(watch));
        if (!watched.isDir())
            return usageError(Texts::tr("--watch: the folder \"%1\" does not exist").arg(parser.value(watch)));
        if (!positional.isEmpty())
            return usageError(Texts::tr("--watch converts what appears in its folder: no further paths"));
        // Outputs written beside their inputs would appear in the watched
        // folder and be converted in turn.
        if (request.place == OutputPlace::Beside)
            return usageError(Texts::tr("--watch cannot write its outputs beside their inputs"));
        watchFolder = QDir::cleanPath(watched.absoluteFilePath());
        // Outputs that land in the watched folder would be converted again.
        const QString outputs = QFileInfo(request.outputFolder).canonicalFilePath();
        const QString inputs = watched.canonicalFilePath();
        if (outputs == inputs || (parser.isSet(recursive) && outputs.startsWith(inputs + QLatin1Char('/'))))
            return usageError(Texts::tr("--watch: the output folder must lie outside the watched folder"));
    } else if (parser.isSet(settle)) {
        return usageError(Texts::tr("--settle goes with --watch"));
    } else if (positional.isEmpty()) {
        return usageError(Texts::tr("no files or folders to convert"));
    }
    QString listError;
    QByteArrayList unnamable; // in a list file or a folder
    const QStringList paths = CommandLinePaths(positional, &listError, &unnamable);
    if (!listError.isEmpty())
        return usageError(listError);
    const QHash<QString, QByteArrayList> rawArguments = unnamableArguments(argc, argv);
    QHash<QString, qsizetype> rawUsed;
    for (const QString &argument : paths) {
        if (argument.contains(QChar::ReplacementCharacter) && rawArguments.contains(argument)) {
            // Named on the command line by bytes that are not UTF-8: the
            // decoded text names no file; the bytes tell what was meant.
            const QByteArrayList &candidates = rawArguments[argument];
            const QByteArray raw = candidates.value(std::min(rawUsed[argument]++, candidates.size() - 1));
            addUnnamable(request, raw);
            continue;
        }
        const QFileInfo info(argument);
        const QString path = QDir::cleanPath(info.absoluteFilePath());
        if (info.isFile())
            request.files << path; // named on its own: whatever its extension
        else if (info.isDir())
            listFolder(request, path, unnamable);
        else
            request.missing << PrintableName(argument);
    }
    for (const QByteArray &raw : std::as_const(unnamable))
        addUnnamable(request, raw);

    // The profile is read from a copy: loading and building the parameter
    // string write their file back, and a batch writes no profile. The copy
    // is gone before the first engine starts, so that nothing of it is left
    // however the batch ends.
    QString outputExt;
    std::optional<QString> params;
    {
        QTemporaryDir scratch;
        const QString copy = scratch.filePath(request.profileName + QStringLiteral(".apf"));
        if (!scratch.isValid() || !QFile::copy(ProfilePath(programFolder, request.profileName), copy)) {
            printTo(stderr, Texts::tr("The profile \"%1\" could not be read.").arg(request.profileName));
            return BatchFailed;
        }
        ParameterGrids grids;
        if (LoadProfile(copy, grids, interactive, &outputExt) != ProfileStatus::Loaded)
            return BatchUsage; // reported
        request.settings = parser.values(set);
        // As if its grid row were set first: a --set of the row itself decides.
        if (parser.isSet(copyFitting)) {
            if (grids.advanced.findRow(QStringLiteral("Streams already in the target format")) < 0)
                return usageError(Texts::tr("--copy-fitting: the profile \"%1\" copies or converts no streams")
                                      .arg(request.profileName));
            request.settings.prepend(QStringLiteral("Streams already in the target format=Copy"));
        }
        for (const QString &setting : std::as_const(request.settings)) {
            const QString reason = ApplyGridSetting(grids, setting);
            if (!reason.isEmpty())
                return usageError(reason);
        }
        params = BuildParameterString(copy, grids, interactive);
        if (!params)
            return BatchUsage; // reported
    }

    if (!watchFolder.isEmpty()) {
        WatchBatch watching(std::move(request), *params, outputExt, interactive, signalPipe,
                            programFolder + QStringLiteral("wmaspi.dll"), watchFolder, parser.isSet(recursive),
                            settleMs);
        return watching.exec();
    }
    BatchMode mode(programFolder, std::move(request), *params, outputExt, interactive, signalPipe);
    return mode.exec();
}

#include "batchmode.moc"
