#pragma once

#include "conversion/taskrecord.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <optional>

// The plain logic of a conversion in segments: which tasks qualify, what the
// engine is asked to do for each step, and the record of what is done, kept
// beside the segments so that a run that was cut off converts only the rest.

// Whether `params` (a profile's engine options, writing `outputPath`) make
// pieces that join without converting again: an MP4, M4V, MOV, MKV or TS
// file with H.264, H.265, VP9, AV1 or MPEG-4 Part 2 video, converted frame
// for frame (no frame-rate change, no frame-dropping filter, no stream map of
// its own, no range of its own, one pass). Copies never qualify.
bool JoinsWithoutConverting(const QString &params, const QString &outputPath);

// Whether `task` is converted in segments of `segmentSecs`: it qualifies
// (JoinsWithoutConverting), converts its whole input (no start or end of its
// own) and lasts longer than the segments. segmentSecs 0: never.
bool ConvertsInSegments(const ltvItemData &task, const QString &params, const QString &outputPath,
                        double segmentSecs);

// The identity of a segmented task: what its segments were made from and how.
// Two equal identities make the same segments.
struct SegmentIdentity
{
    QString input;       // absolute path
    qint64 inputSize = -1;
    qint64 inputMtimeNs = -1;
    QByteArray inputEnds; // a hash of the input's first and last MiB
    QString params;       // the engine options of the task
    double segmentSecs = 0;
    QString engine;       // the engine's size and modification time
    bool operator==(const SegmentIdentity &) const = default;
};

// Reads what SegmentIdentity holds of `input` and `enginePath` (the file
// facts and the hash); the fields of `params` and `segmentSecs` as given.
SegmentIdentity IdentityOf(const QString &input, const QString &params, double segmentSecs,
                           const QString &enginePath);

// A piece of the input's video as cut at its key frames (a file of the
// folder) and its converted segment, once checked.
struct SegmentPiece
{
    QString file;          // the cut piece
    double startSecs = 0;  // where it begins in the input
    double secs = 0;       // how long it lasts
    qint64 frames = -1;    // its frames (packets of its video)
    bool done = false;     // its segment was converted and checked
    qint64 doneSize = -1;  // the segment's size then
};

// What a segmented task's private folder holds: the identity it was made for,
// the pieces once cut, the input's frame count, whether the audio is done.
struct SegmentRecord
{
    SegmentIdentity identity;
    bool cut = false;          // the pieces are all there
    qint64 inputFrames = -1;   // the input's video frames
    double inputSecs = 0;      // how long its video lasts
    bool inputAudio = false;   // it has sound the output takes
    double audioLead = 0;      // where its sound begins after its picture
    double audioTail = 0;      // where its sound ends after its picture
    QList<SegmentPiece> pieces;
    bool audioDone = false;
    qint64 audioSize = -1;

    QByteArray toJson() const;
    static std::optional<SegmentRecord> FromJson(const QByteArray &json);

    // The share of the video converted, 0..1, by the pieces' lengths.
    double doneShare() const;
    // The name of piece i's converted segment, with the output's extension.
    static QString SegmentName(int index, const QString &ext);
};

// The cut pieces listed by the engine's segment list (CSV: "name,start,end"
// a line), in order; none when a line cannot be read.
std::optional<QList<SegmentPiece>> ParseSegmentList(const QByteArray &csv);

// The name of the private folder for a task converting `input` to
// `finalPath` in an output folder: ".vantorix-segments-" and a hash of both.
// The folder is not a work folder (WorkFolder::IsWorkPath): a sweep of work
// folders left by killed runs leaves it alone, for the next run to resume.
QString SegmentFolderName(const QString &input, const QString &finalPath);
inline const QString SegmentFolderPrefix = QStringLiteral(".vantorix-segments-");

// The engine's options for each step. `params` are the task's.
// Cuts the input's main video (not a cover picture) at key frames, about every `segmentSecs`,
// into pieces "piece%05d.nut" listed in "pieces.csv" of `folder`.
QStringList CutArguments(const QString &input, double segmentSecs, const QString &folder);
// Converts the video of one piece into `segmentPath`, frame for frame.
QString SegmentParams(const QString &params);
// Converts what is not video, over the whole input (into the output's format).
QString AudioParams(const QString &params);
// Joins the segments listed in `listPath` (a concat list) with `audioPath`
// (when not empty) into `output`, without converting.
QStringList JoinArguments(const QString &listPath, const QString &audioPath, const QString &params,
                          const QString &output);
// The concat list naming `files`.
QByteArray ConcatList(const QStringList &files);
