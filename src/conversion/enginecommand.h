#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// One start of the engine: the argument text as the program writes it (logs and
// tests compare it), and the argument list the engine actually receives.
struct EngineCommand
{
    QString text;
    QStringList arguments;
};

// Splits a command-line text the way Windows programs split theirs: blanks and
// tabs separate arguments, double quotes group, 2n backslashes before a quote
// give n backslashes and a grouping quote, 2n+1 give n and a literal quote, and
// "" inside a quoted run is a literal quote.
QStringList SplitCommandLine(const QString &text);

// ` -i "INPUT"`
EngineCommand ProbeCommand(const QString &input);

// ` -y -i "INPUT"PARAMS -ss START -t SECONDS "OUTPUT"`; the -ss and -t pieces
// only when given. INPUT and OUTPUT always reach the engine as one argument
// each, whatever characters they hold; PARAMS and the pieces are split like a
// command line.
EngineCommand ConversionCommand(const QString &input, const QString &params,
                                const std::optional<QString> &start,
                                const std::optional<QString> &seconds, const QString &output);
