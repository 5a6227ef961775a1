#pragma once
// The real program in a temporary program folder of its own, run as a batch
// without a display, with the real engine or the scripted fake one.

#include "fakes/processes.h"
#include "windowfixture.h"

#include <QProcessEnvironment>
#include <QTemporaryFile>

#include <csignal>
#include <cstdio>
#include <unistd.h>

const QString Mp4Profile = QStringLiteral("MP4 H.264 AAC");

struct Result
{
    int exitCode = -1;
    bool crashed = false;
    QString out;
    QString err;
};

inline QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A fake engine script: the report the probe reads for `path` (length 10 s),
// then success.
inline QString reportScript(const QString &path)
{
    return QStringLiteral("print 0 Input #0, avi, from '%1':\\n  Duration: 00:00:10.00, start: 0.000000, "
                          "bitrate: 1 kb/s\\n    Stream #0:0: Video: mpeg4, yuv420p, 320x240, 25 fps\\n\nexit 0\n")
        .arg(path);
}

// A row that converts /in/NAME.avi to /out/NAME.mp4 in a progress view.
inline ltvItemData clipTask(const QString &name)
{
    ltvItemData task;
    task.InputFile = QStringLiteral("/in/%1.avi").arg(name);
    task.NewName = name;
    task.NewExt = QStringLiteral(".mp4");
    return task;
}

// A temporary file a progress view writes to as to a terminal or a log.
struct ViewStream
{
    QTemporaryFile file;
    std::FILE *stream = nullptr;

    bool open()
    {
        if (!file.open())
            return false;
        stream = std::fopen(qPrintable(file.fileName()), "w");
        return stream != nullptr;
    }

    // Everything written, once the stream is closed.
    QString text()
    {
        if (stream)
            std::fclose(stream);
        stream = nullptr;
        return QString::fromLocal8Bit(contentOf(file.fileName()));
    }

    ~ViewStream()
    {
        if (stream)
            std::fclose(stream);
    }
};

// A program folder of its own: the built executable, the engine and the
// shipped profiles, and a work folder beside it.
class BatchTest : public ::testing::Test
{
protected:
    explicit BatchTest(TestProgramFolder::Engine engine = TestProgramFolder::Engine::Fake) : folder(engine) {}

    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        ASSERT_TRUE(QFile::copy(QStringLiteral(VANTORIX_PROGRAM_FOLDER "/vantorix"), program()));
        const QDir shipped(QStringLiteral(VANTORIX_PROGRAM_FOLDER "/Profiles"));
        QDir().mkpath(folder.filePath(QStringLiteral("Profiles")));
        for (const QString &name : shipped.entryList({QStringLiteral("*.apf")}, QDir::Files))
            QFile::copy(shipped.filePath(name), folder.filePath(QStringLiteral("Profiles/") + name));
        QDir().mkpath(work(QStringLiteral("out")));
        QDir().mkpath(work(QStringLiteral("in")));
    }

    QString program() const { return folder.filePath(QStringLiteral("vantorix")); }
    QString work(const QString &name) const { return folder.filePath(QStringLiteral("work/") + name); }

    // The environment of a machine without a display: no DISPLAY, no
    // WAYLAND_DISPLAY, no platform chosen.
    static QProcessEnvironment headless()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        return env;
    }

    // Started as a terminal's shell starts a job: the signals to end with
    // their default action (whatever this test runner was started with), in
    // a process group of its own when asked.
    void start(QProcess &process, const QStringList &arguments,
               const QProcessEnvironment &environment = headless(), bool ownGroup = false) const
    {
        process.setChildProcessModifier([ownGroup] {
            for (const int signal : {SIGINT, SIGTERM, SIGHUP})
                std::signal(signal, SIG_DFL);
            if (ownGroup)
                ::setpgid(0, 0);
        });
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(work(QString()));
        process.start(program(), arguments);
    }

    // The headless environment with a temporary folder of the test's own, to
    // see what the program leaves there.
    QProcessEnvironment withTemporaryFolder() const
    {
        QDir().mkpath(work(QStringLiteral("tmp")));
        QProcessEnvironment env = headless();
        env.insert(QStringLiteral("TMPDIR"), work(QStringLiteral("tmp")));
        return env;
    }

    QStringList leftInTemporaryFolder() const
    {
        return QDir(work(QStringLiteral("tmp"))).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    // The engine that wrote its "pid" line to `name`, once it has.
    RecordedProcess waitForEngine(const QString &name, const QProcess &program) const
    {
        RecordedProcess engine;
        waitFor([&] {
            engine = ReadRecordedProcess(folder.filePath(name));
            return engine.pid > 0 || program.state() == QProcess::NotRunning;
        });
        return engine;
    }

    Result run(const QStringList &arguments, int timeoutMs = 120000) const
    {
        QProcess process;
        start(process, arguments);
        return finish(process, timeoutMs);
    }

    // What a started program gave once it ends (killed when it takes too long).
    Result finish(QProcess &process, int timeoutMs = 120000) const
    {
        Result result;
        if (!process.waitForFinished(timeoutMs)) {
            ADD_FAILURE() << "the program did not end in time";
            process.kill();
            process.waitForFinished();
        }
        result.exitCode = process.exitCode();
        result.crashed = process.exitStatus() != QProcess::NormalExit;
        result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
        result.err = QString::fromLocal8Bit(process.readAllStandardError());
        return result;
    }

    TestProgramFolder folder;
};

class RealEngineBatchTest : public BatchTest
{
protected:
    RealEngineBatchTest() : BatchTest(TestProgramFolder::Engine::Real) {}
};
