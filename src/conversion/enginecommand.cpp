#include "conversion/enginecommand.h"

#include <QRegularExpression>

#include <algorithm>

QStringList SplitCommandLine(const QString &text)
{
    QStringList result;
    QString current;
    bool inArgument = false;
    bool quoted = false;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('\\')) {
            qsizetype run = 0;
            while (i + run < n && text[i + run] == QLatin1Char('\\'))
                ++run;
            inArgument = true;
            if (i + run < n && text[i + run] == QLatin1Char('"')) {
                current += QString(run / 2, QLatin1Char('\\'));
                if (run % 2 == 1) {
                    current += QLatin1Char('"');
                    i += run; // the quote is taken as a literal
                } else {
                    i += run - 1; // the quote is handled by the next step
                }
            } else {
                current += QString(run, QLatin1Char('\\'));
                i += run - 1;
            }
        } else if (c == QLatin1Char('"')) {
            inArgument = true;
            if (quoted && i + 1 < n && text[i + 1] == QLatin1Char('"')) {
                current += QLatin1Char('"');
                ++i;
            } else {
                quoted = !quoted;
            }
        } else if (!quoted && (c == QLatin1Char(' ') || c == QLatin1Char('\t'))) {
            if (inArgument) {
                result << current;
                current.clear();
                inArgument = false;
            }
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (inArgument)
        result << current;
    return result;
}

namespace {

QString quoted(const QString &path)
{
    return QLatin1Char('"') + path + QLatin1Char('"');
}

} // namespace

EngineCommand ProbeCommand(const QString &input)
{
    return {QStringLiteral(" -i ") + quoted(input), {QStringLiteral("-i"), input}};
}

EngineCommand ConversionCommand(const QString &input, const QString &params,
                                const std::optional<QString> &start,
                                const std::optional<QString> &seconds, const QString &output)
{
    QString middle = params;
    if (start)
        middle += QStringLiteral(" -ss ") + *start;
    if (seconds)
        middle += QStringLiteral(" -t ") + *seconds;

    EngineCommand command;
    command.text = QStringLiteral(" -y -i ") + quoted(input) + middle + QLatin1Char(' ') + quoted(output);
    command.arguments << QStringLiteral("-y") << QStringLiteral("-i") << input;
    command.arguments << SplitCommandLine(middle);
    command.arguments << output;
    return command;
}

bool CopiesVideo(const QString &params)
{
    static const QRegularExpression videoCodec(QStringLiteral("^-(c|codec|vcodec|c:v|codec:v)(:\\d+)?$"));
    const QStringList arguments = SplitCommandLine(params);
    for (qsizetype i = 0; i + 1 < arguments.size(); ++i) {
        if (arguments[i + 1] == QLatin1String("copy") && videoCodec.match(arguments[i]).hasMatch())
            return true;
    }
    return false;
}

namespace {

// Seconds as the engine reads them: a whole number as one, else to the
// millisecond without trailing zeros.
QString secondsText(double seconds)
{
    const qint64 ms = qRound64(seconds * 1000);
    if (ms % 1000 == 0)
        return QString::number(ms / 1000);
    QString text = QString::number(static_cast<double>(ms) / 1000, 'f', 3);
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    return text;
}

} // namespace

EngineCommand TaskCommand(const ltvItemData &task, const QString &params, const QString &output)
{
    std::optional<QString> start;
    if (task.StartSecs != task.OrigStartSecs)
        start = task.StartText;
    std::optional<QString> seconds;
    // A range past the input's end takes what the input has: the engine
    // stops at its real end, which a length estimated from the bit rate or
    // read from a damaged file need not be.
    const bool pastTheEnd = task.LengthSecs > 0 && task.StartSecs + task.ClipLengthSecs > task.LengthSecs + 0.0005;
    if (task.ClipLengthSecs != task.LengthSecs && !pastTheEnd)
        seconds = secondsText(task.ClipLengthSecs);
    if (!start || !CopiesVideo(params))
        return ConversionCommand(task.InputFile, params, start, seconds, output);

    // " -y -ss START -i "INPUT"PARAMS -t SECONDS "OUTPUT""
    QString middle = params;
    if (seconds)
        middle += QStringLiteral(" -t ") + *seconds;
    EngineCommand command;
    command.text = QStringLiteral(" -y -ss ") + *start + QStringLiteral(" -i ") + quoted(task.InputFile) + middle
                   + QLatin1Char(' ') + quoted(output);
    command.arguments << QStringLiteral("-y") << SplitCommandLine(QStringLiteral("-ss ") + *start)
                      << QStringLiteral("-i") << task.InputFile;
    command.arguments << SplitCommandLine(middle);
    command.arguments << output;
    return command;
}
