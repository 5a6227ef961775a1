#pragma once

#include "conversion/mediaprobe.h"

#include <QString>

// A task's output is written under a temporary name beside its final one and
// takes the final name only once it is complete and checked. Until then the
// final name keeps whatever it held, and a file or link found there is
// replaced, never written through.

// The hidden name the engine writes to: ".NAME.vantorix-part.EXT" in the same
// folder, so that the engine picks the container from the extension, the
// rename stays on one file system, and a file left by a crash is found again.
QString TemporaryOutputPath(const QString &finalPath);

// Removes the file (or link, never followed) at `path`, if any, by its name
// in its folder (unlinkat). False when something is still there afterwards.
bool RemoveOutputFile(const QString &path);

// The first line of the engine's output that tells of a failed write
// ("Error writing trailer", "No space left on device", ...): the engine may
// still exit 0 after one. Empty when there is none.
class WriteFailureScanner
{
public:
    // Feeds one more piece of the output; lines may span pieces.
    void feed(const QString &text);
    // The output has ended: its last line counts too.
    void finish();
    void reset();
    QString failureLine() const { return m_failure; }

private:
    void checkLine(QStringView line);

    QString m_partial; // the unfinished last line, bounded
    QString m_failure;
};

// Whether a profile writes a video stream: its parameter string does not drop
// video ("-vn") and its extension is not one of an audio-only format.
bool WritesVideo(const QString &params, const QString &outputPath);

// What is wrong with an output as its probe found it; empty when nothing is.
// `expectedSecs` is the length asked for (not checked unless positive): the
// output must last that long within max(1 s, 2 %). `wantVideo`: it must hold
// a video stream.
QString CheckOutputReport(const ProbeReport &report, double expectedSecs, bool wantVideo);
