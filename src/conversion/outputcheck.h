#pragma once

#include "conversion/inprocessprobe.h"
#include "conversion/taskrecord.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <optional>

class EngineProbe;

// Whether a profile writes sound: its parameter string does not drop audio
// ("-an") and its extension is not one of a picture-only format.
bool WritesAudio(const QString &params, const QString &outputPath);

// The length an output of `task` must have, in seconds: the part of the input
// the task covers, from Start to the earlier of End and the input's end,
// measured on the stream the output takes (the video stream when it has a
// picture, else the audio stream). None when the input's timeline cannot be
// trusted (its container's length disagrees with its streams', its times
// leap, its length is only estimated or unknown). `input` holds the input's
// facts when the library could read them; without them the task's own length
// counts.
std::optional<double> ExpectedOutputSecs(const ltvItemData &task, const QString &params, const QString &outputPath,
                                         const std::optional<MediaFacts> &input);

// Where the data of an input stops when that is well before the length its
// container tells (a file cut short, a download broken off): both from the
// input's first time. None for an input that holds what it tells, and for
// one whose length is only estimated or whose times leap.
struct EarlyEnd
{
    double dataSecs = 0;
    double listedSecs = 0;
};
std::optional<EarlyEnd> InputEndsEarly(const MediaFacts &input);

// What a good output of `task` is told with: that the input ends early, when
// the task's range reaches past the end of its data. Empty otherwise.
QString InputEndNote(const ltvItemData &task, const std::optional<MediaFacts> &input);

// How long an output of `task` lasts by the input's listed length: the part
// of it the task covers, and as much as Start more for a copy that starts at
// the key frame before it. None when the listed length is unknown.
std::optional<double> ListedOutputSecs(const ltvItemData &task, const QString &params);

// What is wrong with an output whose facts the library read; empty when
// nothing is. It must hold a packet of the picture and of the sound the
// profile writes from the input, and last as ExpectedOutputSecs says within
// max(1 s, 2 %); where the input's timeline cannot be trusted, not more than
// half as long again as the task's listed part and 5 s. A video output must
// hold a codec the library knows. A profile that keeps all streams must have kept as many audio
// and subtitle streams as SelectStreams tells for the input. A video copy that starts before Start (at a key frame) may
// last longer by as much as Start; never shorter.
QString JudgeOutput(const ltvItemData &task, const QString &params, const QString &outputPath,
                    const std::optional<MediaFacts> &input, const MediaFacts &output);

// The check of one task's output once its engine has ended: the input's facts
// (unless given) and the output's are read by the media library on a worker
// thread, the engine's report stands in for an output the library refuses,
// and done() tells the verdict on the thread that started it. Never blocks.
class OutputCheck final : public QObject
{
    Q_OBJECT
public:
    static constexpr int DefaultTimeoutMs = 30000;

    OutputCheck(QString enginePath, ltvItemData task, QString params, QString outputPath,
                QObject *parent = nullptr);
    ~OutputCheck() override;
    Q_DISABLE_COPY_MOVE(OutputCheck)

    // The input's facts as already known; without them start() reads them.
    void setInputFacts(const MediaFacts &facts) { m_input = facts; }
    // For the reading of both files together; the engine has as long again.
    void setTimeoutMs(int ms) { m_timeoutMs = ms; }

    // Starts the check and returns at once; done() follows.
    void start();
    // Stops the check (its worker told to stop, its engine killed and
    // reaped); done() never follows.
    void abandon();

    bool isDone() const { return m_done; }
    QString reason() const { return m_reason; }
    // What a good output is told with (InputEndNote); empty otherwise.
    QString note() const { return m_note; }
    // The input's facts were known to the verdict (so was whether it ends early).
    bool knewInput() const { return m_input.has_value(); }

    struct Work;

signals:
    // Empty when the output is good; else a sentence telling the user why not.
    void done(const QString &reason);

private:
    void onRead(const std::optional<MediaFacts> &input, bool inputAnswered, const std::optional<MediaFacts> &output,
                bool stopped);
    void onEngineDone();
    void finish(const QString &reason);
    void detach();

    QString m_enginePath;
    ltvItemData m_task;
    QString m_params;
    QString m_outputPath;
    std::optional<MediaFacts> m_input;
    int m_timeoutMs = DefaultTimeoutMs;
    std::shared_ptr<Work> m_work;
    QTimer m_timeout;
    EngineProbe *m_engine = nullptr;
    bool m_started = false;
    bool m_done = false;
    QString m_reason;
    QString m_note;
};
