#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>

// A temporary program folder for a test: the engine wmaspi.dll is either a copy
// of the scripted fake engine or a link to the real one.
class TestProgramFolder
{
public:
    enum class Engine { Fake, Real, None };

    explicit TestProgramFolder(Engine engine = Engine::Fake)
    {
        const QString target = enginePath();
        if (engine == Engine::Fake)
            QFile::copy(QStringLiteral(VANTORIX_FAKE_ENGINE), target);
        else if (engine == Engine::Real)
            QFile::link(QStringLiteral(VANTORIX_FFMPEG), target);
    }

    bool isValid() const { return m_dir.isValid(); }
    // The folder, ending with a separator.
    QString path() const { return m_dir.path() + QLatin1Char('/'); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }
    QString enginePath() const { return filePath(QStringLiteral("wmaspi.dll")); }

    // The fake engine's script: for every start (call 0) or for start number call (from 1).
    void setScript(const QString &lines, int call = 0) const
    {
        const QString name = call == 0 ? QStringLiteral("fake-engine.txt")
                                       : QStringLiteral("fake-engine-%1.txt").arg(call);
        QFile file(filePath(name));
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(lines.toUtf8());
    }

    // The fake engine's script for every start whose input (after -i) has the
    // file name `inputName`; it wins over the others.
    void setScriptFor(const QString &inputName, const QString &lines) const
    {
        QFile file(filePath(QStringLiteral("fake-engine-for-") + inputName + QStringLiteral(".txt")));
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(lines.toUtf8());
    }

    // How long the fake engine takes to report on fake media (an output the
    // program checks).
    void setCheckDelay(int ms) const
    {
        QFile file(filePath(QStringLiteral("fake-engine-check.txt")));
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(QStringLiteral("sleep %1\n").arg(ms).toUtf8());
    }

    // The fake engine's checks of outputs report only once the file `name`
    // exists in the program folder.
    void holdChecksUntil(const QString &name) const
    {
        QFile file(filePath(QStringLiteral("fake-engine-check.txt")));
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(QStringLiteral("wait-for %1\n").arg(name).toUtf8());
    }

    // How many times the fake engine was started (its checks of outputs apart).
    int callCount() const { return countOf(QStringLiteral("call")); }

    // How many times the fake engine was asked about fake media (the program
    // checking an output).
    int checkCount() const { return countOf(QStringLiteral("check")); }

    // The argument list that start number call (from 1) received.
    QStringList arguments(int call) const
    {
        QFile file(filePath(QStringLiteral("call-%1.args").arg(call)));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList result;
        const QList<QByteArray> parts = file.readAll().split('\0');
        for (qsizetype i = 0; i + 1 < parts.size(); ++i)
            result << QString::fromUtf8(parts[i]);
        return result;
    }

private:
    int countOf(const QString &prefix) const
    {
        int n = 0;
        while (QFile::exists(filePath(QStringLiteral("%1-%2.args").arg(prefix).arg(n + 1))))
            ++n;
        return n;
    }

    QTemporaryDir m_dir;
};

// Whether `written` (the output argument of an engine start) is where a run
// has the engine write the output that becomes `finalPath`: under that
// output's own file name, in a folder of the run's own, never beside the
// output or at its final name.
inline bool IsWorkFileFor(const QString &written, const QString &finalPath)
{
    const QFileInfo work(written);
    const QFileInfo output(finalPath);
    return work.fileName() == output.fileName()
           && QDir::cleanPath(work.absolutePath()) != QDir::cleanPath(output.absolutePath());
}

// Everything in `folder`, hidden entries and folders too.
inline QStringList EntriesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// A file the fake engine takes for media of this length (a time text), with a
// picture or without: what it converts from and what it reports on.
inline bool WriteFakeMedia(const QString &path, const QString &length, bool video = true)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray content = "VANTORIX-FAKE-MEDIA\nDuration: " + length.toUtf8() + "\n";
    if (video)
        content += "Video: fake, yuv420p, 320x240\n";
    return file.write(content) == content.size();
}
