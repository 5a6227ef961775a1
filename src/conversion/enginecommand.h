#pragma once

#include "conversion/mediastream.h"
#include "conversion/taskrecord.h"

#include <QList>
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

// Whether a parameter string copies the video stream as it is ("-c copy",
// "-vcodec copy", "-c:v copy", "-codec:v:0 copy", ...): such a copy can only
// begin at a key frame.
bool CopiesVideo(const QString &params);

// The engine command for a task: its whole input, or the part from Start that
// lasts the clip length when the task's range differs from the input's
// (ConversionCommand). Whole seconds read as they always did ("-t 10"), a
// fraction is kept to the millisecond ("-t 0.4"). A range that runs past the
// input's end has no "-t": the engine takes what the input has from Start
// on. A profile that copies the video seeks on the input side ("-ss" before
// "-i"), so the copy starts at the key frame at or before Start and has a
// picture from its first frame; a copy into Matroska has "-fflags +genpts"
// there too (WithMatroskaSubtitles).
EngineCommand TaskCommand(const ltvItemData &task, const QString &params, const QString &output);

// Whether a parameter string copies the video into a Matroska file (".mkv",
// ".mka", ".webm"). Such a copy reads its input with "-fflags +genpts"
// (TaskCommand): a packet without a time cannot be written there.
bool CopiesIntoMatroska(const QString &params, const QString &outputPath);


// `params` of a profile that copies subtitles ("-scodec copy", "-c:s copy",
// "-c copy") into a Matroska file at outputPath, with every mov_text
// subtitle among `streams` (the input's) that the output takes turned into
// SubRip (" -c:s:N srt"; WebVTT in WebM): Matroska cannot hold mov_text. The output takes
// every subtitle stream with "-map 0", else the first text one. `params`
// itself otherwise.
QString WithMatroskaSubtitles(const QString &params, const QList<MediaStream> &streams, const QString &outputPath);

// The engine value of a profile's "-map" choice that keeps every stream of the
// input the output can hold ("Streams: All streams" of a converting profile).
// The engine never sees it: a task's command has the input's own streams in
// its place (WithStreams).
inline constexpr char AllStreamsValue[] = "all";

// Whether a parameter string asks for all streams ("-map all").
bool KeepsAllStreams(const QString &params);

// What "All streams" keeps of an input in an output file.
struct StreamSelection
{
    QString options;     // " -map 0:0 -map 0:1 ... -c:s:0 mov_text", a command-line text
    int audio = 0;       // audio streams kept
    int subtitles = 0;   // subtitle streams kept
    QStringList leftOut; // a sentence for each subtitle stream left out, and why
};

// The streams of an input kept in an output at outputPath: the main video
// (the first that is not a cover picture), every audio stream, and the
// subtitle streams the output's container holds: an MP4, MOV or 3GP file
// takes text subtitles as mov_text, an MKV file copies text and DVD, Blu-ray
// and DVB picture subtitles (other text as SubRip), a WebM file takes text
// subtitles as WebVTT, an MPG file copies DVD picture subtitles. Languages
// and titles go with each stream (in MP4, MOV and 3GP a title is the
// track's name, and a track's name is a title elsewhere; a MOV file tags
// German as "ger", not "deu", which it could not hold). Without `streams` (the input could not be read), the main
// video and every audio stream, no subtitles.
StreamSelection SelectStreams(const std::optional<QList<MediaStream>> &streams, const QString &outputPath);

// `params` with its "-map all" replaced by the options of `selection`;
// `params` itself when it holds none.
QString WithStreams(const QString &params, const StreamSelection &selection);

// The engine value of a converting profile's "Streams already in the target
// format: Copy" choice (" -fitting copy"). The engine never sees the option:
// a task's command has a copy of each stream that fits in its place
// (WithFittingCopies).
inline constexpr char FittingOption[] = "-fitting";

// Whether a parameter string asks to copy the streams that already fit.
bool CopiesFitting(const QString &params);

// A parameter string with the streams that fit copied.
struct FittingCopies
{
    QString params;     // without the "-fitting" option, with "-c:v copy", "-c:a:N copy"...
    QStringList copied; // what was copied, as a person reads it: "video (h264, 640x360)"
};

// `params` without its "-fitting" option; when it asks for copies, a copy of
// each input stream that already has the codec the profile writes and fits
// what the profile sets (frame size, frame rate, pixel format, sample rate,
// channels, bit rate not above the profile's, no filter, no change of
// aspect). The main video is copied when it fits; the audio when every audio
// stream the output takes fits, or with "-map all" each audio stream that
// fits. Without `streams` nothing is copied.
FittingCopies WithFittingCopies(const QString &params, const std::optional<QList<MediaStream>> &streams);
