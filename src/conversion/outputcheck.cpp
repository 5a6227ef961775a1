#include "conversion/outputcheck.h"

#include "conversion/enginecommand.h"
#include "conversion/mediaprobe.h"
#include "conversion/outputfile.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <mutex>
#include <thread>

namespace {

// Packets read from the start of a file before the rest is skipped to its
// end. An input is read further: a leap of its times anywhere takes away the
// length the output is held to.
constexpr qint64 InputScanBytes = 256 * 1024 * 1024;
constexpr qint64 OutputScanBytes = 64 * 1024 * 1024;

// The texts a person reads, translated in this file's own context.
struct Texts
{
    Q_DECLARE_TR_FUNCTIONS(OutputCheck)
};

QString seconds(double value)
{
    return QString::number(value, 'f', 2);
}

double tolerance(double secs)
{
    return std::max(1.0, 0.02 * secs);
}

// Where the engine starts reading and, when the task ends before the input
// does, where it stops (TaskCommand).
double taskBegin(const ltvItemData &task)
{
    return task.StartSecs != task.OrigStartSecs ? task.StartSecs : 0;
}

std::optional<double> taskEnd(const ltvItemData &task)
{
    if (task.ClipLengthSecs == task.LengthSecs)
        return std::nullopt;
    return taskBegin(task) + task.ClipLengthSecs;
}

bool copiesFromKeyFrame(const ltvItemData &task, const QString &params)
{
    return taskBegin(task) > 0 && CopiesVideo(params);
}

// Where the input's streams begin and end, on its own timeline.
std::optional<std::pair<double, double>> streamSpan(const MediaFacts &input)
{
    std::optional<double> first;
    std::optional<double> last;
    for (const StreamFacts *stream : {&input.video, &input.audio}) {
        if (!stream->startSecs || !stream->endSecs)
            continue;
        first = first ? std::min(*first, *stream->startSecs) : *stream->startSecs;
        last = last ? std::max(*last, *stream->endSecs) : *stream->endSecs;
    }
    if (!first)
        return std::nullopt;
    return std::pair(*first, *last);
}

// The input's container and streams tell the same length, and its times run
// on without a leap. An input whose data stops before the length its
// container tells (InputEndsEarly) is held to the data it has.
bool timelineTrusted(const MediaFacts &input)
{
    if (!input.durationSecs || input.durationEstimated || input.timestampJump)
        return false;
    const auto span = streamSpan(input);
    if (!span)
        return false;
    const double listed = ListedLengthSecs(input.format, input.startSecs.value_or(span->first), *input.durationSecs);
    return std::fabs(span->second - span->first - listed) <= tolerance(listed) || InputEndsEarly(input).has_value();
}

// Whether the part of the input the task covers holds some of `stream`.
// Where the input's timeline cannot be trusted, a stream it has counts.
bool covers(const ltvItemData &task, const MediaFacts &input, const StreamFacts &stream)
{
    if (stream.packets == 0)
        return false;
    if (!timelineTrusted(input) || !stream.startSecs || !stream.endSecs)
        return true;
    const double origin = input.startSecs.value_or(0);
    const double end = std::min(taskEnd(task).value_or(std::numeric_limits<double>::infinity()),
                                *stream.endSecs - origin);
    return end > std::max(taskBegin(task), *stream.startSecs - origin);
}

bool wantsVideo(const ltvItemData &task, const QString &params, const QString &outputPath,
                const std::optional<MediaFacts> &input)
{
    if (!WritesVideo(params, outputPath))
        return false;
    return input ? covers(task, *input, input->video) : !task.SizeText.trimmed().isEmpty();
}

bool wantsAudio(const ltvItemData &task, const QString &params, const QString &outputPath,
                const std::optional<MediaFacts> &input)
{
    return input && WritesAudio(params, outputPath) && covers(task, *input, input->audio);
}

qsizetype countOf(const QList<MediaStream> &streams, MediaStream::Kind kind)
{
    return std::count_if(streams.begin(), streams.end(), [kind](const MediaStream &s) { return s.kind == kind; });
}

// What an output that keeps all streams misses of them: every audio stream
// of the input (unless sound is dropped) and the subtitle streams its
// container holds.
QString missingStreams(const QString &params, const QString &outputPath, const MediaFacts &input,
                       const MediaFacts &output)
{
    const StreamSelection kept = SelectStreams(input.streams, outputPath);
    const qsizetype audio = WritesAudio(params, outputPath) ? kept.audio : 0;
    const qsizetype audioFound = countOf(output.streams, MediaStream::Kind::Audio);
    if (audioFound != audio)
        return Texts::tr("The output has %1 audio streams instead of %2.").arg(audioFound).arg(audio);
    const qsizetype subtitlesFound = countOf(output.streams, MediaStream::Kind::Subtitle);
    if (subtitlesFound != kept.subtitles)
        return Texts::tr("The output has %1 subtitle streams instead of %2.").arg(subtitlesFound).arg(kept.subtitles);
    return QString();
}

// A stream whose codec the library knows: one it can decode.
bool decodable(const StreamFacts &stream)
{
    return !stream.present || (!stream.codec.isEmpty() && stream.codec != QLatin1String("none"));
}

// How long the task's part of the input lasts by its listed length; 0 when
// that is unknown.
double taskSecs(const ltvItemData &task)
{
    if (task.LengthSecs <= 0)
        return 0;
    return std::max(0.0, std::min(taskEnd(task).value_or(task.LengthSecs), task.LengthSecs) - taskBegin(task));
}

// The longest output of an input whose timeline cannot be trusted: half as
// long again as the task's listed part, and 5 s. None when the input's
// length is only an estimate or unknown.
std::optional<double> untrustedCeiling(const ltvItemData &task, const QString &params,
                                       const std::optional<MediaFacts> &input)
{
    const std::optional<double> listed = ListedOutputSecs(task, params);
    if (!listed || (input && (!input->durationSecs || input->durationEstimated)))
        return std::nullopt;
    return 1.5 * *listed + 5;
}

} // namespace

bool WritesAudio(const QString &params, const QString &outputPath)
{
    if (SplitCommandLine(params).contains(QStringLiteral("-an")))
        return false;
    static const QStringList pictureOnly = {"gif", "apng", "webp", "png", "jpg", "jpeg", "bmp", "tif", "tiff",
                                            "m1v", "m2v", "h264", "264", "h265", "hevc", "y4m", "ivf"};
    return !pictureOnly.contains(QFileInfo(outputPath).suffix().toLower());
}

std::optional<double> ExpectedOutputSecs(const ltvItemData &task, const QString &params, const QString &outputPath,
                                         const std::optional<MediaFacts> &input)
{
    double streamStart = 0;
    double streamEnd = task.LengthSecs;
    if (input) {
        if (!timelineTrusted(*input))
            return std::nullopt;
        const bool video = wantsVideo(task, params, outputPath, input) || input->audio.packets == 0;
        const StreamFacts &stream = video ? input->video : input->audio;
        if (!stream.startSecs || !stream.endSecs)
            return std::nullopt;
        const double origin = input->startSecs.value_or(0);
        streamStart = *stream.startSecs - origin;
        streamEnd = *stream.endSecs - origin;
    } else if (task.LengthSecs <= 0) {
        return std::nullopt;
    }
    const double end = std::min(taskEnd(task).value_or(std::numeric_limits<double>::infinity()), streamEnd);
    const double expected = end - std::max(taskBegin(task), streamStart);
    if (expected <= 0)
        return std::nullopt;
    return expected;
}

std::optional<double> ListedOutputSecs(const ltvItemData &task, const QString &params)
{
    const double secs = taskSecs(task);
    if (secs <= 0)
        return std::nullopt;
    return secs + (copiesFromKeyFrame(task, params) ? taskBegin(task) : 0);
}

std::optional<EarlyEnd> InputEndsEarly(const MediaFacts &input)
{
    if (!input.durationSecs || input.durationEstimated || input.timestampJump)
        return std::nullopt;
    const auto span = streamSpan(input);
    if (!span)
        return std::nullopt;
    const double origin = input.startSecs.value_or(span->first);
    const double listed = ListedLengthSecs(input.format, origin, *input.durationSecs);
    const double data = span->second - origin;
    if (data >= listed - tolerance(listed))
        return std::nullopt;
    return EarlyEnd{std::max(data, 0.0), listed};
}

QString InputEndNote(const ltvItemData &task, const std::optional<MediaFacts> &input)
{
    const std::optional<EarlyEnd> early = input ? InputEndsEarly(*input) : std::nullopt;
    if (!early || taskEnd(task).value_or(early->listedSecs) <= early->dataSecs)
        return QString();
    return Texts::tr("The input ends early (its data stops at %1 s of %2 s): the output holds all there is.")
        .arg(QString::number(early->dataSecs, 'f', 1), QString::number(early->listedSecs, 'f', 1));
}

QString JudgeOutput(const ltvItemData &task, const QString &params, const QString &outputPath,
                    const std::optional<MediaFacts> &input, const MediaFacts &output)
{
    const bool video = wantsVideo(task, params, outputPath, input);
    if (output.video.packets == 0 && output.audio.packets == 0)
        return Texts::tr("The output holds neither picture nor sound.");
    if (video && output.video.packets == 0) {
        if (input && !decodable(input->video))
            return Texts::tr("The output has no picture: the engine does not know the codec of the input's video stream.");
        return Texts::tr("The output has no video stream.");
    }
    if (wantsAudio(task, params, outputPath, input) && output.audio.packets == 0)
        return Texts::tr("The output has no audio stream.");
    if (input && KeepsAllStreams(params)) {
        const QString missing = missingStreams(params, outputPath, *input, output);
        if (!missing.isEmpty())
            return missing;
    }

    if (video && !decodable(output.video))
        return Texts::tr("The output's picture cannot be decoded: its video codec is unknown.");

    // The engine writes an output's header from what it wrote: data that
    // stops well before the length the output itself lists was cut off after
    // the engine (a full disk, a copy broken off), whatever the input is.
    if (const std::optional<EarlyEnd> cut = InputEndsEarly(output))
        return Texts::tr("The output is cut short: its data stops at %1 s of the %2 s it lists.")
            .arg(seconds(cut->dataSecs), seconds(cut->listedSecs));

    const StreamFacts &measured = video || output.audio.packets == 0 ? output.video : output.audio;
    const std::optional<double> expected = ExpectedOutputSecs(task, params, outputPath, input);
    if (!expected) {
        // Times that cannot be trusted still bound the output: a damaged
        // input must not give an output many times as long as the task.
        const std::optional<double> actual = measured.lengthSecs();
        const std::optional<double> ceiling = untrustedCeiling(task, params, input);
        if (actual && ceiling && *actual > *ceiling)
            return Texts::tr("The output lasts %1 s, far longer than the %2 s of its input.")
                .arg(seconds(*actual), seconds(taskSecs(task)));
        return QString();
    }
    const std::optional<double> actual = measured.lengthSecs();
    if (!actual)
        return Texts::tr("The output's length could not be read (%1 s expected).").arg(seconds(*expected));
    const double slack = tolerance(*expected);
    const double longest = *expected + slack + (copiesFromKeyFrame(task, params) ? taskBegin(task) : 0);
    if (*actual < *expected - slack || *actual > longest)
        return Texts::tr("The output lasts %1 s instead of %2 s.").arg(seconds(*actual), seconds(*expected));
    return QString();
}

// ---------------------------------------------------------------------------

// What the worker and the check share; the worker keeps it alive while it
// runs, so the check may go at any time.
struct OutputCheck::Work
{
    QString inputPath; // empty when the input's facts are known
    QString outputPath;
    QDeadlineTimer deadline;
    std::atomic_bool abort{false};

    std::mutex mutex;
    // Hands the result over; cleared by a check that no longer wants it.
    std::function<void(const std::optional<MediaFacts> &, bool, const std::optional<MediaFacts> &, bool)> deliver;

    void run()
    {
        std::optional<MediaFacts> input;
        bool inputAnswered = false;
        if (!inputPath.isEmpty()) {
            // Half the time at most: the output's facts matter more.
            const QDeadlineTimer half(std::max<qint64>(deadline.remainingTime() / 2, 0));
            input = ReadMediaFacts(inputPath, InputScanBytes, half, &abort);
            inputAnswered = input.has_value() || !(abort.load() || half.hasExpired());
        }
        std::optional<MediaFacts> output = ReadMediaFacts(outputPath, OutputScanBytes, deadline, &abort);
        const bool stopped = !output && (abort.load() || deadline.hasExpired());
        const std::lock_guard lock(mutex);
        if (deliver)
            deliver(input, inputAnswered, output, stopped);
    }
};

OutputCheck::OutputCheck(QString enginePath, ltvItemData task, QString params, QString outputPath, QObject *parent)
    : QObject(parent)
    , m_enginePath(std::move(enginePath))
    , m_task(std::move(task))
    , m_params(std::move(params))
    , m_outputPath(std::move(outputPath))
{
    m_timeout.setSingleShot(true);
    connect(&m_timeout, &QTimer::timeout, this, [this] {
        detach();
        finish(Texts::tr("The output could not be checked in time."));
    });
}

OutputCheck::~OutputCheck()
{
    detach();
}

void OutputCheck::start()
{
    if (m_started)
        return;
    m_started = true;
    m_work = std::make_shared<Work>();
    if (!m_input)
        m_work->inputPath = m_task.InputFile;
    m_work->outputPath = m_outputPath;
    m_work->deadline = QDeadlineTimer(m_timeoutMs);
    // Runs on the worker's thread, under the work's lock: detach() takes the
    // same lock, and a call posted before that dies with the check.
    m_work->deliver = [this](const std::optional<MediaFacts> &input, bool inputAnswered,
                             const std::optional<MediaFacts> &output, bool stopped) {
        QMetaObject::invokeMethod(
            this, [=, this] { onRead(input, inputAnswered, output, stopped); }, Qt::QueuedConnection);
    };
    m_timeout.start(m_timeoutMs);
    // A thread of its own, left to end by itself: a read the kernel holds
    // cannot be taken back.
    std::thread([work = m_work] { work->run(); }).detach();
}

void OutputCheck::abandon()
{
    m_timeout.stop();
    detach();
    if (m_engine)
        m_engine->abandon();
    m_done = true;
}

void OutputCheck::detach()
{
    if (!m_work)
        return;
    m_work->abort = true;
    {
        const std::lock_guard lock(m_work->mutex);
        m_work->deliver = nullptr;
    }
    m_work.reset();
}

void OutputCheck::onRead(const std::optional<MediaFacts> &input, bool inputAnswered,
                         const std::optional<MediaFacts> &output, bool stopped)
{
    if (m_done || !m_work)
        return;
    m_work.reset();
    m_timeout.stop();
    if (input) {
        m_input = input;
    } else if (!m_input && !inputAnswered) {
        // The input could not be read in time: its length cannot be held to.
        m_task.LengthSecs = 0;
    }
    if (output) {
        const QString reason = JudgeOutput(m_task, m_params, m_outputPath, m_input, *output);
        if (reason.isEmpty())
            m_note = InputEndNote(m_task, m_input);
        finish(reason);
        return;
    }
    if (stopped) {
        finish(Texts::tr("The output could not be checked in time."));
        return;
    }
    // The library refused the output: the engine's report is the last word.
    m_engine = new EngineProbe(m_enginePath, m_outputPath, this);
    connect(m_engine, &EngineProbe::done, this, &OutputCheck::onEngineDone);
    m_engine->launch(m_timeoutMs);
}

void OutputCheck::onEngineDone()
{
    const ProbeReport &report = m_engine->report();
    if (report.length.isEmpty() && report.size.trimmed().isEmpty()) {
        finish(Texts::tr("The output could not be read."));
        return;
    }
    const std::optional<double> expected = ExpectedOutputSecs(m_task, m_params, m_outputPath, m_input);
    m_note = InputEndNote(m_task, m_input);
    finish(CheckOutputReport(report, expected.value_or(0), wantsVideo(m_task, m_params, m_outputPath, m_input)));
}

void OutputCheck::finish(const QString &reason)
{
    if (m_done)
        return;
    m_done = true;
    m_timeout.stop();
    m_reason = reason;
    emit done(reason);
}
