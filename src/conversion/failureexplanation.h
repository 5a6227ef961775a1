#pragma once

#include <QString>
#include <QStringView>

// Why a task failed, in the words of the person who converts rather than the
// engine's. Reads the end of the engine's output that the run keeps and what
// the run itself said about the result (its first line: the reason a check of
// the output gave, or nothing).
//
// The sentence covers the failures people meet: a stream the container cannot
// hold, an encoder the engine lacks or cannot open, a file that does not exist
// or may not be opened, a full disk, an input the engine cannot read, an
// engine that could not be started, an output that failed its check. Empty
// when neither the output nor the reason names one of these.
QString ExplainFailure(const QString &engineOutput, const QString &runNotes);

// The first line a failed task's tip shows: ExplainFailure's sentence, else
// the engine's last line that names an error (its "[part @ 0x..]" prefix
// left out), else a sentence saying the engine gave no reason. Never empty.
QString FailureHeadline(const QString &engineOutput, const QString &runNotes);

// Whether an engine line names a failure: one of the lines ExplainFailure
// reads, or one of the engine's own summaries of a failure ("Conversion
// failed!"). A window marks these lines.
bool NamesFailure(QStringView line);

// Whether an engine line belongs to the banner it prints first: its version,
// how it was built and configured, and the versions of its libraries. None of
// it tells why a task failed.
bool IsEngineBannerLine(QStringView line);
