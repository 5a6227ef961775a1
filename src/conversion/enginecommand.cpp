#include "conversion/enginecommand.h"

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
