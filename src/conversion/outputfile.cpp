#include "conversion/outputfile.h"

#include "conversion/enginecommand.h"
#include "conversion/taskrecord.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/dirhandle.h"

#include <algorithm>
#include <cerrno>
#include <cmath>

namespace {

// Lines of the engine's output that tell of an output it could not finish.
constexpr QLatin1String WriteFailureMarkers[] = {
    QLatin1String("Error writing trailer"),
    QLatin1String("Error closing file"),
    QLatin1String("No space left on device"),
    QLatin1String("Unable to re-open"),
};

// A line longer than this is looked at in pieces; the overlap keeps a marker
// that straddles two pieces.
constexpr qsizetype MaxLineChars = 4096;
constexpr qsizetype LineOverlapChars = 64;

QString seconds(double value)
{
    return QString::number(value, 'f', 2);
}

} // namespace

QString TemporaryOutputPath(const QString &finalPath)
{
    const QFileInfo info(finalPath);
    QString name = QLatin1Char('.') + info.completeBaseName() + QStringLiteral(".vantorix-part");
    if (!info.suffix().isEmpty())
        name += QLatin1Char('.') + info.suffix();
    const qsizetype slash = std::max(finalPath.lastIndexOf(QLatin1Char('/')), finalPath.lastIndexOf(QDir::separator()));
    return finalPath.left(slash + 1) + name;
}

bool RemoveOutputFile(const QString &path)
{
    const QFileInfo info(path);
    const DirHandle folder = DirHandle::open(info.path());
    const QByteArray name = DirHandle::NativeName(info.fileName());
    struct stat left{};
    if (!folder.isOpen() || name.isEmpty())
        return false;
    folder.removeFile(name);
    return !folder.statAt(name, &left) && errno == ENOENT;
}

void WriteFailureScanner::feed(const QString &text)
{
    if (!m_failure.isEmpty())
        return;
    const QStringView view(text);
    qsizetype begin = 0;
    for (qsizetype i = 0; i < view.size(); ++i) {
        if (view[i] != QLatin1Char('\n') && view[i] != QLatin1Char('\r'))
            continue;
        if (m_partial.isEmpty()) {
            checkLine(view.mid(begin, i - begin));
        } else {
            m_partial += view.mid(begin, i - begin);
            checkLine(m_partial);
            m_partial.clear();
        }
        begin = i + 1;
    }
    m_partial += view.mid(begin);
    if (m_partial.size() > MaxLineChars) {
        checkLine(m_partial);
        m_partial.remove(0, m_partial.size() - LineOverlapChars);
    }
}

void WriteFailureScanner::finish()
{
    checkLine(m_partial);
    m_partial.clear();
}

void WriteFailureScanner::reset()
{
    m_partial.clear();
    m_failure.clear();
}

void WriteFailureScanner::checkLine(QStringView line)
{
    if (!m_failure.isEmpty())
        return;
    for (const QLatin1String marker : WriteFailureMarkers) {
        if (line.contains(marker)) {
            m_failure = line.trimmed().toString();
            return;
        }
    }
}

bool WritesVideo(const QString &params, const QString &outputPath)
{
    if (SplitCommandLine(params).contains(QStringLiteral("-vn")))
        return false;
    static const QStringList audioOnly = {"mp3", "wav", "ogg", "oga", "m4a", "aac", "flac",
                                          "opus", "wma", "ac3", "amr", "mka", "aif", "aiff"};
    return !audioOnly.contains(QFileInfo(outputPath).suffix().toLower());
}

QString CheckOutputReport(const ProbeReport &report, double expectedSecs, bool wantVideo)
{
    if (expectedSecs > 0) {
        const double actual = TimeTextToSeconds(report.length);
        if (actual < 0)
            return QCoreApplication::translate("OutputFile", "The output's length could not be read (%1 s expected).").arg(seconds(expectedSecs));
        const double tolerance = std::max(1.0, 0.02 * expectedSecs);
        if (std::fabs(actual - expectedSecs) > tolerance)
            return QCoreApplication::translate("OutputFile", "The output lasts %1 s instead of %2 s.").arg(seconds(actual), seconds(expectedSecs));
    }
    if (wantVideo && report.size.trimmed().isEmpty())
        return QCoreApplication::translate("OutputFile", "The output has no video stream.");
    return QString();
}
