#include "platform/logging.h"

#include <QRegularExpression>

// Warnings and worse only, by default: the program writes nothing of its own
// to the terminal until the rules ask for the info lines.
Q_LOGGING_CATEGORY(lcEngine, "vantorix.engine", QtWarningMsg)
Q_LOGGING_CATEGORY(lcProbe, "vantorix.probe", QtWarningMsg)
Q_LOGGING_CATEGORY(lcRun, "vantorix.run", QtWarningMsg)
Q_LOGGING_CATEGORY(lcRecovery, "vantorix.recovery", QtWarningMsg)
Q_LOGGING_CATEGORY(lcDesktop, "vantorix.desktop", QtWarningMsg)
Q_LOGGING_CATEGORY(lcStart, "vantorix.start", QtWarningMsg)
Q_LOGGING_CATEGORY(lcWatch, "vantorix.watch", QtWarningMsg)
Q_LOGGING_CATEGORY(lcCheck, "vantorix.check", QtWarningMsg)
Q_LOGGING_CATEGORY(lcWorkFolder, "vantorix.workfolder", QtWarningMsg)

QString ShellCommandLine(const QString &program, const QStringList &arguments)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./:=+,@%-]+$"));
    QStringList words;
    for (QString word : QStringList{program} + arguments) {
        if (!plain.match(word).hasMatch())
            word = QLatin1Char('\'') + word.replace(QLatin1Char('\''), QStringLiteral("'\\''")) + QLatin1Char('\'');
        words << word;
    }
    return words.join(QLatin1Char(' '));
}
