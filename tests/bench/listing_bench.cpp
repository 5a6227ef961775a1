// Listing a large tree: 100,000 empty files in 5,000 folders. The listing the
// batch mode makes (ListFolder, before its first probe), and the window's Add
// Directory with subfolders (offscreen): the time until the files are queued
// and the longest pause of the window's event loop meanwhile.
// Usage: listing_bench [ROUNDS]
#include "benchutil.h"

#include "app/mainform.h"
#include "app/tasklistcontroller.h"
#include "conversion/tasklistops.h"
#include "fakes/recordedservices.h"

#include <QApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int TopFolders = 50;
constexpr int SubFolders = 100; // in each top folder: 5,000 in all
constexpr int FilesEach = 20;   // in each of those: 100,000 in all
constexpr int TickMs = 5;
constexpr int QueueingMs = 2000; // watched after the listing came back

bool makeTree(const QString &root)
{
    for (int top = 0; top < TopFolders; ++top) {
        for (int sub = 0; sub < SubFolders; ++sub) {
            const QString folder = QStringLiteral("%1/top %2/sub %3").arg(root).arg(top).arg(sub);
            if (!QDir().mkpath(folder))
                return false;
            for (int file = 0; file < FilesEach; ++file) {
                const QByteArray path = QFile::encodeName(folder + QStringLiteral("/clip %1.avi").arg(file));
                const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
                if (fd < 0)
                    return false;
                ::close(fd);
            }
        }
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const OtherLoad otherLoad;
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const int expected = TopFolders * SubFolders * FilesEach;

    QTemporaryDir work;
    const QString root = work.filePath(QStringLiteral("tree"));
    const QString program = work.filePath(QStringLiteral("program"));
    if (!makeTree(root) || !copyProgramFolder(QStringLiteral(VANTORIX_PROGRAM_FOLDER), program, false)) {
        std::fprintf(stderr, "could not make the tree or the program folder\n");
        return 1;
    }

    // 1. The batch mode's listing.
    std::vector<double> batchMs;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer clock;
        clock.start();
        const qsizetype count = ListFolder(root, true).size();
        batchMs.push_back(clock.nsecsElapsed() / 1e6);
        if (count != expected) {
            std::fprintf(stderr, "the listing found %lld files of %d\n", static_cast<long long>(count), expected);
            return 1;
        }
    }
    std::printf("--batch -r listing %d files in %d folders: %.0f ms median of %d (target <= 2000 ms)\n", expected,
                TopFolders * SubFolders, median(batchMs), rounds);

    // 2. The window's Add Directory with subfolders; what is queued is then
    // dropped (probing 100,000 files is another figure).
    RecordedServices recorded;
    std::vector<double> windowMs;
    std::vector<double> pauseMs;
    for (int round = 0; round < rounds; ++round) {
        TMainForm window(recorded.services(program + QLatin1Char('/')));
        window.show();
        if (!QTest::qWaitForWindowExposed(&window)) {
            std::fprintf(stderr, "the window was not shown\n");
            return 1;
        }
        auto *list = window.findChild<TaskListController *>();
        if (!list) {
            std::fprintf(stderr, "no task list controller\n");
            return 1;
        }
        list->setIncludeSubfolders(true);
        QElapsedTimer clock;
        QElapsedTimer sinceTick;
        double longest = 0;
        int listed = -1;
        QTimer tick;
        tick.setInterval(TickMs);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            longest = std::max(longest, sinceTick.nsecsElapsed() / 1e6 - TickMs);
            sinceTick.start();
        });
        QEventLoop loop;
        QObject::connect(list, &TaskListController::folderListed, &loop, [&](const QString &, int files) {
            windowMs.push_back(clock.nsecsElapsed() / 1e6);
            listed = files;
            loop.quit();
        });
        QTimer::singleShot(0, &window, [&] {
            clock.start();
            sinceTick.start();
            tick.start();
            window.AddTaskFolder(root);
        });
        loop.exec();
        // The queueing of the files on the GUI thread, in steps, counts too.
        QTimer::singleShot(QueueingMs, &loop, &QEventLoop::quit);
        loop.exec();
        tick.stop();
        pauseMs.push_back(longest);
        list->cancelAdding();
        if (!QTest::qWaitFor([&] { return !window.isAdding(); }, 60000)) {
            std::fprintf(stderr, "adding did not end after a cancel\n");
            return 1;
        }
        if (listed != expected) {
            std::fprintf(stderr, "the window listed %d files of %d\n", listed, expected);
            return 1;
        }
    }
    std::printf("window Add Directory with subfolders, %d files: listed after %.0f ms median; the longest pause of "
                "its event loop until 2 s later (files queued meanwhile) %.0f ms median (target <= 250 ms) of %d\n",
                expected, median(windowMs), median(pauseMs), rounds);
    return 0;
}
