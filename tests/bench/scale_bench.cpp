// The main window with long lists (offscreen platform): adding a folder of
// 10,000 files, with the pace at the start and at the end and the resident
// memory after; the memory a row of the task list costs (100,000 rows); restoring a kept list of 100,000 rows, from the window's
// construction until it is shown; and the share of a core the window uses while
// a batch of 10,000 rows converts.
// Usage: scale_bench [FILES [KEPT_ROWS]]
#include "benchutil.h"

#include "app/mainform.h"
#include "conversion/conversionrun.h"
#include "conversion/mediaprobe.h"
#include "conversion/tasklistrecovery.h"
#include "conversion/taskrecord.h"
#include "fakes/recordedservices.h"

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {

constexpr int PaceMs = 3000;
constexpr int BatchWarmUpMs = 3000;
constexpr int BatchMeasureMs = 15000;
const QString ProfileName = QStringLiteral("MP4 H.264 AAC");

double ownCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval &t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// `count` names in `folder` for one file: hard links where the file system
// has them, else copies.
QStringList linkMany(const QString &file, const QString &folder, const QString &stem, int count)
{
    QDir().mkpath(folder);
    QStringList links;
    for (int i = 0; i < count; ++i) {
        const QString link = QDir(folder).filePath(stem + QStringLiteral("%1.avi").arg(i, 5, 10, QLatin1Char('0')));
        if (linkOrCopy(file, link))
            links << link;
    }
    return links;
}

void waitFor(QObject *sender, const char *signal, const std::function<bool()> &done)
{
    if (done())
        return;
    QEventLoop loop;
    QObject::connect(sender, signal, &loop, SLOT(quit()));
    loop.exec();
}

// Let the event loop run for `ms`.
void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const OtherLoad otherLoad;
    const int fileCount = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10000;
    const int keptRows = argc > 2 ? std::max(1, std::atoi(argv[2])) : 100000;

    QTemporaryDir work;
    const QString program = work.filePath(QStringLiteral("program"));
    if (!copyProgramFolder(QStringLiteral(VANTORIX_PROGRAM_FOLDER), program, false)) {
        std::fprintf(stderr, "could not copy the program folder\n");
        return 1;
    }
    const QString engine = QDir(program).filePath(QStringLiteral("wmaspi.dll"));
    const QString small = work.filePath(QStringLiteral("small.avi"));
    const QString large = work.filePath(QStringLiteral("large.avi"));
    if (!makeClip(engine, small, 2, QStringLiteral("160x120")) || !makeClip(engine, large, 60, QStringLiteral("640x360"))) {
        std::fprintf(stderr, "could not make the test clips\n");
        return 1;
    }
    const QString clips = work.filePath(QStringLiteral("clips"));
    if (linkMany(small, clips, QStringLiteral("clip "), fileCount).size() != fileCount) {
        std::fprintf(stderr, "could not name the test clip %d times\n", fileCount);
        return 1;
    }
    const QStringList larges = linkMany(large, work.filePath(QStringLiteral("large")), QStringLiteral("large "), fileCount);
    if (larges.size() != fileCount) {
        std::fprintf(stderr, "could not name the large clip %d times\n", fileCount);
        return 1;
    }

    // 1. Add Directory with 10,000 files, the rows listed counted every 3 s.
    RecordedServices recorded;
    {
        TMainForm window(recorded.services(program + QLatin1Char('/')));
        window.show();
        if (!QTest::qWaitForWindowExposed(&window)) {
            std::fprintf(stderr, "the window was not shown\n");
            return 1;
        }
        std::vector<int> listed;
        QTimer pace;
        pace.setInterval(PaceMs);
        QObject::connect(&pace, &QTimer::timeout, [&] { listed.push_back(window.tasks().rowCount()); });
        QElapsedTimer clock;
        double cpuAtStart = 0;
        QTimer::singleShot(0, &window, [&] {
            cpuAtStart = ownCpuMs();
            clock.start();
            pace.start();
            window.AddTaskFolder(clips);
        });
        runFor(0);
        waitFor(&window, SIGNAL(addingFinished()), [&] { return clock.isValid() && !window.isAdding(); });
        const double ms = clock.nsecsElapsed() / 1e6;
        const double cpuMs = ownCpuMs() - cpuAtStart;
        pace.stop();
        if (window.tasks().rowCount() != fileCount) {
            std::fprintf(stderr, "the window listed %d files of %d\n", window.tasks().rowCount(), fileCount);
            return 1;
        }
        // Rows listed in each whole 3 s, the first and the last of them.
        QString paceText = listed.empty() ? QStringLiteral("all within the first 3 s")
                                          : QStringLiteral("%1 in the first 3 s").arg(listed.front());
        if (listed.size() >= 2)
            paceText = QStringLiteral("%1 in the first 3 s, %2 in the last whole 3 s")
                       .arg(listed.front())
                       .arg(listed.back() - listed[listed.size() - 2]);
        std::printf("window listing of %d files (Add Directory): %.1f s (target <= 5 s), rows listed %s; resident memory %.0f MB; CPU time "
                    "of all its threads %.1f s\n",
                    fileCount, ms / 1000, qPrintable(paceText), statusKb(getpid(), "VmRSS") / 1024.0, cpuMs / 1000);
    }

    // 2. The memory a row of the window's task list costs: the growth of the
    // process's own resident memory (RssAnon) over 100,000 rows as the probes
    // make them (each row's texts its own, the time texts of a row shared).
    {
        const qint64 before = statusKb(getpid(), "RssAnon");
        TaskListModel model;
        for (int row = 0; row < keptRows; ++row) {
            const QString path = QStringLiteral("/home/user/Videos/holiday %1/clip %2.avi").arg(row / 20).arg(row);
            ProbeReport report;
            report.length = QStringLiteral("00:%1:%2.%3")
                                .arg(row / 3600 % 60, 2, 10, QLatin1Char('0'))
                                .arg(row / 60 % 60, 2, 10, QLatin1Char('0'))
                                .arg(row % 100, 2, 10, QLatin1Char('0'));
            report.size = QStringLiteral(" 640x360");
            ltvItemData record = TaskFromProbe(path, report, QStringLiteral(".mp4"));
            record.FoundUnder = QStringLiteral("/home/user/Videos");
            model.appendTask(record);
        }
        const qint64 after = statusKb(getpid(), "RssAnon");
        std::printf("window task list of %d rows: memory per task (RssAnon growth) %.2f kB (target <= 1 kB)\n",
                    keptRows, static_cast<double>(after - before) / keptRows);
    }

    // 3. A kept list of 100,000 rows left by a session that did not close.
    {
        const QString folder = work.filePath(QStringLiteral("kept"));
        QDir().mkpath(folder);
        TaskListModel model;
        ltvItemData record;
        record.LengthText = QStringLiteral("00:00:02");
        record.SizeText = QStringLiteral("160x120");
        record.NewExt = QStringLiteral(".mp4");
        for (int row = 0; row < keptRows; ++row) {
            record.InputFile = QStringLiteral("/videos/clip %1.avi").arg(row);
            record.NewName = QStringLiteral("clip %1").arg(row);
            record.StatusText = row % 3 ? QString() : RowStatus::Complete;
            model.appendTask(record);
        }
        QFile file(QDir(folder).filePath(QStringLiteral("TaskList-left.json")));
        if (!file.open(QIODevice::WriteOnly) || !file.write(TaskListText(model, {}))) {
            std::fprintf(stderr, "could not write the kept list\n");
            return 1;
        }
        file.close();
        recorded.recoveryFolder = folder;
        QElapsedTimer clock;
        clock.start();
        TMainForm window(recorded.services(program + QLatin1Char('/')));
        window.show();
        const bool shown = QTest::qWaitForWindowExposed(&window);
        const double ms = clock.nsecsElapsed() / 1e6;
        if (!shown || window.tasks().rowCount() != keptRows) {
            std::fprintf(stderr, "the window restored %d rows of %d\n", window.tasks().rowCount(), keptRows);
            return 1;
        }
        std::printf("window restore of %d kept rows: %.2f s until the window shows (target <= 3 s)\n", keptRows, ms / 1000);
        window.tbtnClearClick();
        recorded.recoveryFolder.clear();
    }

    // 4. A batch of 10,000 rows: the window's own CPU time while it converts.
    {
        TMainForm window(recorded.services(program + QLatin1Char('/')));
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            return 1;
        auto *profiles = window.findChild<QComboBox *>(QStringLiteral("cmbProfile"));
        auto *output = window.findChild<QLineEdit *>(QStringLiteral("edtOutputdir"));
        if (!profiles || !output || profiles->findText(ProfileName) < 0) {
            std::fprintf(stderr, "no profile \"%s\" to choose\n", qPrintable(ProfileName));
            return 1;
        }
        profiles->setCurrentIndex(profiles->findText(ProfileName));
        const QString out = work.filePath(QStringLiteral("out"));
        QDir().mkpath(out);
        output->setText(out + QLatin1Char('/'));
        window.AddTaskFile(larges.first());
        waitFor(&window, SIGNAL(addingFinished()), [&] { return !window.isAdding(); });
        if (window.tasks().rowCount() != 1) {
            std::fprintf(stderr, "the large clip was not listed\n");
            return 1;
        }
        // The others as the same file under other names.
        ltvItemData record;
        ReadItemData(window.tasks(), 0, WholeRowField, record);
        QList<ltvItemData> records;
        for (qsizetype i = 1; i < larges.size(); ++i) {
            record.InputFile = larges[i];
            record.NewName = QFileInfo(larges[i]).completeBaseName();
            records << record;
        }
        window.tasks().appendTasks(records);
        runFor(0);
        window.imgStartClick();
        if (window.RunState() == ConversionRun::Idle) {
            std::fprintf(stderr, "the batch did not start: %s\n", qPrintable(recorded.interactive.messages.join("; ")));
            return 1;
        }
        runFor(BatchWarmUpMs);
        const double cpu = ownCpuMs();
        QElapsedTimer clock;
        clock.start();
        runFor(BatchMeasureMs);
        const double share = (ownCpuMs() - cpu) / (clock.nsecsElapsed() / 1e6);
        const bool running = window.RunState() != ConversionRun::Idle;
        window.imgStopClick();
        waitFor(&window.run(), SIGNAL(finished()), [&] { return window.RunState() == ConversionRun::Idle; });
        if (!running) {
            std::fprintf(stderr, "the batch ended before it was measured: %s\n",
                         qPrintable(recorded.interactive.messages.join("; ")));
            return 1;
        }
        std::printf("converting a batch of %d rows: the window used %.1f%% of a core (target < 5%%)\n",
                    fileCount, share * 100);
    }
    otherLoad.print();
    return 0;
}
