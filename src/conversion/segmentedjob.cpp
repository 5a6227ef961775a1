#include "conversion/segmentedjob.h"

#include "conversion/engineprocess.h"
#include "conversion/inprocessprobe.h"
#include "platform/logging.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFuture>
#include <QFutureWatcher>
#include <QPromise>
#include <QRegularExpression>
#include <QSaveFile>
#include <QThreadPool>
#include <QTimer>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <limits>

namespace {

constexpr qint64 AllPackets = std::numeric_limits<qint64>::max();
const QString RecordName = QStringLiteral("record.json");
const QString PieceList = QStringLiteral("pieces.csv");
const QString JoinList = QStringLiteral("segments.txt");
// A step that is no piece: the sound, the cut, the join.
constexpr int AudioStep = -1;
constexpr int CutStep = -2;
constexpr int JoinStep = -3;

// "hh:mm:ss.cc", as the engine writes its time.
QString engineTime(double secs)
{
    const qint64 centis = qRound64(std::max(0.0, secs) * 100);
    return QStringLiteral("%1:%2:%3.%4")
        .arg(centis / 360000, 2, 10, QLatin1Char('0'))
        .arg(centis / 6000 % 60, 2, 10, QLatin1Char('0'))
        .arg(centis / 100 % 60, 2, 10, QLatin1Char('0'))
        .arg(centis % 100, 2, 10, QLatin1Char('0'));
}

// The last time an engine's read tells ("time=..."), or -1.
double timeIn(const QString &text)
{
    const qsizetype marker = text.lastIndexOf(QLatin1String("time="));
    if (marker < 0)
        return -1;
    const QString rest = text.mid(marker + 5);
    const qsizetype blank = rest.indexOf(QLatin1Char(' '));
    return TimeTextToSeconds(blank < 0 ? rest : rest.left(blank));
}

// Whether `path` is a folder of this user's, not a link, reached as it is.
bool isOwnFolder(const QString &path)
{
    struct stat facts{};
    return ::lstat(QFile::encodeName(path).constData(), &facts) == 0 && S_ISDIR(facts.st_mode)
           && facts.st_uid == ::getuid();
}

bool isPlainFile(const QString &path)
{
    struct stat facts{};
    return ::lstat(QFile::encodeName(path).constData(), &facts) == 0 && S_ISREG(facts.st_mode);
}

void removeFile(const QString &path)
{
    if (isPlainFile(path))
        QFile::remove(path);
}

void syncFile(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// What is wrong with a converted segment against its piece; empty when nothing.
QString judgeSegment(const std::optional<MediaFacts> &facts, const SegmentPiece &piece)
{
    if (!facts || !facts->video.present)
        return SegmentedEngine::tr("its file holds no picture");
    if (facts->video.packets != piece.frames)
        return SegmentedEngine::tr("it holds %1 frames, its piece %2").arg(facts->video.packets).arg(piece.frames);
    const double frame = piece.frames > 0 ? piece.secs / double(piece.frames) : 0;
    const double length = facts->video.lengthSecs().value_or(-1);
    if (std::abs(length - piece.secs) > frame + 0.002)
        return SegmentedEngine::tr("it lasts %1 s, its piece %2 s").arg(length, 0, 'f', 3).arg(piece.secs, 0, 'f', 3);
    return QString();
}

// Every name the folder may hold of this engine's, by `record`.
QStringList ownNames(const SegmentRecord &record, const QString &ext)
{
    QStringList names{RecordName, RecordName + QStringLiteral(".tmp"), PieceList, JoinList,
                      QStringLiteral("audio.") + ext};
    for (int i = 0; i < record.pieces.size(); ++i)
        names << record.pieces[i].file << SegmentRecord::SegmentName(i, ext);
    return names;
}

} // namespace

struct SegmentedEngine::Running
{
    TaskEngine *engine = nullptr;
    int index = 0; // a piece, or AudioStep, CutStep, JoinStep
};

SegmentedEngine::SegmentedEngine(Setup setup, QObject *parent)
    : TaskEngine(parent)
    , m_setup(std::move(setup))
{
}

SegmentedEngine::~SegmentedEngine()
{
    killAndWait();
}

template<typename Result>
void SegmentedEngine::onWorker(std::function<Result()> work, std::function<void(const Result &)> done)
{
    auto promise = std::make_shared<QPromise<Result>>();
    auto *watcher = new QFutureWatcher<Result>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, done] {
        watcher->deleteLater();
        if (!m_over && watcher->future().resultCount() > 0)
            done(watcher->result());
    });
    watcher->setFuture(promise->future());
    QThreadPool::globalInstance()->start([promise, work] {
        promise->start();
        promise->addResult(work());
        promise->finish();
    });
}

void SegmentedEngine::launch(const QString &enginePath, const EngineCommand &command)
{
    m_enginePath = enginePath;
    m_output = command.arguments.value(command.arguments.size() - 1);
    m_ext = QFileInfo(m_output).suffix();
    m_busy = true;
    QTimer::singleShot(0, this, [this] {
        if (m_over)
            return;
        emit started();
        prepare();
    });
}

// ---------------------------------------------------------------------------
// What was done before

void SegmentedEngine::prepare()
{
    struct Prepared
    {
        SegmentRecord record;
        QString failure;
    };
    const Setup setup = m_setup;
    const QString enginePath = m_enginePath;
    const QString ext = m_ext;
    const auto abort = m_abort;
    onWorker<Prepared>(
        [setup, enginePath, ext, abort] {
            Prepared prepared;
            const QString folder = setup.folder;
            if (!QFileInfo::exists(folder))
                ::mkdir(QFile::encodeName(folder).constData(), 0700);
            if (!isOwnFolder(folder)) {
                prepared.failure = tr("The folder for its segments, \"%1\", could not be made.").arg(folder);
                return prepared;
            }
            SegmentRecord &record = prepared.record;
            record.identity = IdentityOf(setup.task.InputFile, setup.params, setup.segmentSecs, enginePath);
            QFile file(folder + QLatin1Char('/') + RecordName);
            std::optional<SegmentRecord> kept;
            if (isPlainFile(file.fileName()) && file.open(QIODevice::ReadOnly))
                kept = SegmentRecord::FromJson(file.read(1 << 24));
            if (!kept || !(kept->identity == record.identity)) {
                // Made for another input or other settings: started afresh.
                if (kept)
                    for (const QString &name : ownNames(*kept, ext))
                        removeFile(folder + QLatin1Char('/') + name);
                return prepared;
            }
            record = *kept;
            for (int i = 0; i < record.pieces.size(); ++i) {
                SegmentPiece &piece = record.pieces[i];
                if (!piece.done)
                    continue;
                const QString path = folder + QLatin1Char('/') + SegmentRecord::SegmentName(i, ext);
                // A segment is kept only when it is still there and still good.
                const bool there = isPlainFile(path) && QFileInfo(path).size() == piece.doneSize;
                if (!there || !judgeSegment(ReadMediaFacts(path, AllPackets, QDeadlineTimer::Forever, abort.get()),
                                            piece).isEmpty()) {
                    piece.done = false;
                    removeFile(path);
                }
            }
            for (const SegmentPiece &piece : std::as_const(record.pieces))
                if (!piece.done && !isPlainFile(folder + QLatin1Char('/') + piece.file))
                    record.cut = false;
            const QString audio = folder + QStringLiteral("/audio.") + ext;
            if (record.audioDone && (!isPlainFile(audio) || QFileInfo(audio).size() != record.audioSize))
                record.audioDone = false;
            return prepared;
        },
        [this](const Prepared &prepared) { onPrepared(prepared.record, prepared.failure); });
}

void SegmentedEngine::onPrepared(const SegmentRecord &record, const QString &failure)
{
    if (!failure.isEmpty()) {
        fail(failure);
        return;
    }
    m_record = record;
    emitChunk(tr("Converting in segments of about %1 s; the work is kept in \"%2\".\n")
                  .arg(m_setup.segmentSecs)
                  .arg(m_setup.folder));
    if (m_stopping) {
        finish(255);
        return;
    }
    if (!m_record.cut) {
        emitChunk(tr("Cutting the input at its key frames.\n"));
        cut();
        return;
    }
    onCut();
}

// ---------------------------------------------------------------------------
// The cut

void SegmentedEngine::cut()
{
    const QStringList arguments = CutArguments(m_setup.task.InputFile, m_setup.segmentSecs, m_setup.folder);
    run(new EngineProcess(this), CutStep, EngineCommand{arguments.join(QLatin1Char(' ')), arguments},
        [this](const QString &text) { emitChunk(text); });
}

void SegmentedEngine::run(TaskEngine *engine, int index, const EngineCommand &command,
                          const std::function<void(const QString &)> &onChunk)
{
    auto *step = new Running{engine, index};
    m_running << step;
    connect(engine, &TaskEngine::chunkRead, this, onChunk);
    // A pause that came while it was starting holds it once it runs.
    connect(engine, &TaskEngine::started, this, [this, engine] {
        if (m_paused)
            engine->suspendEngine();
    });
    connect(engine, &TaskEngine::ended, this, [this, step](int code, bool crashed) { onStepEnded(step, code, crashed); });
    connect(engine, &TaskEngine::failedToStart, this, [this, step](const QString &error) {
        onStepEnded(step, -1, false);
        fail(error);
    }, Qt::QueuedConnection);
    engine->launch(m_enginePath, command);
    if (m_paused)
        engine->suspendEngine();
}

void SegmentedEngine::onCut()
{
    if (m_stopping) {
        finish(255);
        return;
    }
    m_busy = false;
    const double share = m_record.doneShare();
    if (share > 0) {
        int done = 0;
        for (const SegmentPiece &piece : std::as_const(m_record.pieces))
            done += piece.done ? 1 : 0;
        m_note = tr("Resumed at %1 %: %2 of %3 segments had been converted before.")
                     .arg(qRound(share * 100))
                     .arg(done)
                     .arg(m_record.pieces.size());
        qCInfo(lcRun).noquote() << m_setup.task.InputFile << m_note;
    }
    emitChunk((m_note.isEmpty() ? tr("%1 segments to convert.").arg(m_record.pieces.size()) : m_note)
              + QLatin1Char('\n'));
    m_pieceSecs = QList<double>(m_record.pieces.size(), 0.0);
    progress();
    schedule();
}

// ---------------------------------------------------------------------------
// The segments

void SegmentedEngine::schedule()
{
    if (m_over || m_stopping || m_paused || m_busy || !m_failure.isEmpty())
        return;
    const bool audioWanted = m_record.inputAudio && !m_record.audioDone;
    if (audioWanted && !m_audioRunning && m_running.size() < m_setup.parallel)
        launchAudio();
    QList<int> active;
    for (const Running *step : std::as_const(m_running))
        active << step->index;
    bool allDone = true;
    for (int i = 0; i < m_record.pieces.size(); ++i) {
        if (m_record.pieces[i].done)
            continue;
        allDone = false;
        if (m_running.size() < m_setup.parallel && !active.contains(i) && m_pieceSecs.value(i) >= 0)
            launchSegment(i);
    }
    if (allDone && !audioWanted && m_running.isEmpty() && m_checking == 0)
        join();
}

TaskEngine *SegmentedEngine::makeEngine(bool local, const QString &input, double secs)
{
    if (local || !m_setup.makeEngine)
        return new EngineProcess(this);
    ltvItemData piece = m_setup.task;
    piece.InputFile = input;
    piece.StartSecs = 0;
    piece.LengthSecs = secs;
    piece.ClipLengthSecs = secs;
    return m_setup.makeEngine(piece, m_setup.params, this);
}

void SegmentedEngine::launchSegment(int index)
{
    const SegmentPiece &piece = m_record.pieces[index];
    const QString input = m_setup.folder + QLatin1Char('/') + piece.file;
    const QString output = m_setup.folder + QLatin1Char('/') + SegmentRecord::SegmentName(index, m_ext);
    const EngineCommand command =
        ConversionCommand(input, SegmentParams(m_setup.params), std::nullopt, std::nullopt, output);
    TaskEngine *engine = makeEngine(false, input, piece.secs);
    m_pieceSecs[index] = 0;
    const QString tag = QStringLiteral("[%1/%2] ").arg(index + 1).arg(m_record.pieces.size());
    connect(engine, &TaskEngine::started, this, [this, tag, text = command.text] {
        emitChunk(tag + tr("Segment started:") + text + QLatin1Char('\n'));
    });
    run(engine, index, command, [this, index, tag](const QString &text) {
        const double secs = timeIn(text);
        if (secs >= 0 && index < m_pieceSecs.size())
            m_pieceSecs[index] = std::min(secs, m_record.pieces[index].secs);
        emitChunk(tag + text);
    });
}

void SegmentedEngine::launchAudio()
{
    const QString output = m_setup.folder + QStringLiteral("/audio.") + m_ext;
    const EngineCommand command =
        ConversionCommand(m_setup.task.InputFile, AudioParams(m_setup.params), std::nullopt, std::nullopt, output);
    m_audioRunning = true;
    run(makeEngine(true, QString(), 0), AudioStep, command, [this](const QString &text) {
        emitChunk(QStringLiteral("[") + tr("sound") + QStringLiteral("] ") + text);
    });
}

void SegmentedEngine::onStepEnded(Running *step, int exitCode, bool crashed)
{
    if (!m_running.removeOne(step))
        return;
    const int index = step->index;
    step->engine->deleteLater();
    delete step;
    if (index == AudioStep)
        m_audioRunning = false;
    if (m_over)
        return;
    const bool good = exitCode == 0 && !crashed;
    if (m_stopping || !m_failure.isEmpty()) {
        if (m_running.isEmpty() && m_checking == 0)
            finish(m_stopping ? 255 : 1);
        return;
    }
    if (exitCode == -1)
        return; // failed to start: fail() follows
    if (index == CutStep) {
        if (good)
            readPieces();
        else
            fail(tr("The input could not be cut at its key frames."));
        return;
    }
    if (index == JoinStep) {
        if (good)
            checkJoined();
        else
            fail(tr("The segments could not be joined."));
        return;
    }
    if (index == AudioStep) {
        if (!good) {
            fail(tr("The sound could not be converted."));
            return;
        }
        const QString path = m_setup.folder + QStringLiteral("/audio.") + m_ext;
        syncFile(path);
        m_record.audioDone = true;
        m_record.audioSize = QFileInfo(path).size();
        saveRecord();
        schedule();
        return;
    }
    if (!good) {
        fail(tr("Segment %1 of %2 could not be converted.").arg(index + 1).arg(m_record.pieces.size()));
        return;
    }
    checkSegment(index);
}

// The pieces as cut: their frames and lengths, and the input's, read on a worker.
void SegmentedEngine::readPieces()
{
    struct Cut
    {
        SegmentRecord record;
        QString failure;
    };
    SegmentRecord fresh = m_record;
    const QString folder = m_setup.folder;
    const QString input = m_setup.task.InputFile;
    const bool audioWanted = !SplitCommandLine(m_setup.params).contains(QStringLiteral("-an"));
    const auto abort = m_abort;
    onWorker<Cut>(
        [fresh, folder, input, audioWanted, abort] {
            Cut cut{fresh, QString()};
            SegmentRecord &record = cut.record;
            QFile list(folder + QLatin1Char('/') + PieceList);
            std::optional<QList<SegmentPiece>> pieces;
            if (isPlainFile(list.fileName()) && list.open(QIODevice::ReadOnly))
                pieces = ParseSegmentList(list.read(1 << 24));
            const std::optional<MediaFacts> whole = ReadMediaFacts(input, AllPackets, QDeadlineTimer::Forever, abort.get());
            if (!pieces || !whole || !whole->video.present) {
                cut.failure = tr("The input could not be cut at its key frames.");
                return cut;
            }
            qint64 frames = 0;
            for (SegmentPiece &piece : *pieces) {
                const std::optional<MediaFacts> facts =
                    ReadMediaFacts(folder + QLatin1Char('/') + piece.file, AllPackets, QDeadlineTimer::Forever, abort.get());
                piece.frames = facts ? facts->video.packets : -1;
                piece.secs = facts ? facts->video.lengthSecs().value_or(0) : 0;
                frames += std::max<qint64>(piece.frames, 0);
            }
            if (frames != whole->video.packets) {
                cut.failure = tr("The input could not be cut at its key frames: its pieces hold %1 frames of %2.")
                                  .arg(frames)
                                  .arg(whole->video.packets);
                return cut;
            }
            // Segments done from an earlier cut count when the cut is the same.
            bool same = pieces->size() == record.pieces.size();
            for (int i = 0; same && i < pieces->size(); ++i)
                same = (*pieces)[i].frames == record.pieces[i].frames
                       && std::abs((*pieces)[i].startSecs - record.pieces[i].startSecs) < 0.001;
            for (int i = 0; same && i < pieces->size(); ++i) {
                (*pieces)[i].done = record.pieces[i].done;
                (*pieces)[i].doneSize = record.pieces[i].doneSize;
            }
            record.pieces = *pieces;
            record.inputFrames = whole->video.packets;
            record.inputSecs = whole->video.lengthSecs().value_or(0);
            record.inputAudio = audioWanted && whole->audio.present;
            if (record.inputAudio && whole->audio.startSecs && whole->video.startSecs && whole->audio.endSecs
                && whole->video.endSecs) {
                record.audioLead = *whole->audio.startSecs - *whole->video.startSecs;
                record.audioTail = *whole->audio.endSecs - *whole->video.endSecs;
            }
            record.cut = true;
            return cut;
        },
        [this](const Cut &cut) {
            if (!cut.failure.isEmpty()) {
                fail(cut.failure);
                return;
            }
            m_record = cut.record;
            saveRecord();
            onCut();
        });
}

void SegmentedEngine::checkJoined()
{
    const SegmentRecord record = m_record;
    const QString output = m_output;
    const auto abort = m_abort;
    onWorker<QString>(
        [record, output, abort] {
            const std::optional<MediaFacts> facts = ReadMediaFacts(output, AllPackets, QDeadlineTimer::Forever, abort.get());
            if (!facts || !facts->video.present)
                return tr("The joined output holds no picture.");
            if (facts->video.packets != record.inputFrames)
                return tr("The joined output holds %1 frames, its input %2.")
                    .arg(facts->video.packets)
                    .arg(record.inputFrames);
            const double frame = record.inputFrames > 0 ? record.inputSecs / double(record.inputFrames) : 0;
            const double length = facts->video.lengthSecs().value_or(-1);
            if (std::abs(length - record.inputSecs) > frame + 0.002)
                return tr("The joined output lasts %1 s, its input %2 s.")
                    .arg(length, 0, 'f', 3)
                    .arg(record.inputSecs, 0, 'f', 3);
            if (record.inputAudio) {
                if (!facts->audio.present || !facts->audio.startSecs || !facts->video.startSecs
                    || !facts->audio.endSecs || !facts->video.endSecs)
                    return tr("The joined output has lost its sound.");
                const double lead = *facts->audio.startSecs - *facts->video.startSecs;
                const double tail = *facts->audio.endSecs - *facts->video.endSecs;
                constexpr double Step = 0.1; // an audio frame or two, whatever the codec
                if (std::abs(lead - record.audioLead) > Step || std::abs(tail - record.audioTail) > Step)
                    return tr("The sound of the joined output is out of step with its picture "
                              "(it begins %1 s and ends %2 s from it, in the input %3 s and %4 s).")
                        .arg(lead, 0, 'f', 3)
                        .arg(tail, 0, 'f', 3)
                        .arg(record.audioLead, 0, 'f', 3)
                        .arg(record.audioTail, 0, 'f', 3);
            }
            return QString();
        },
        [this](const QString &failure) { onJoined(failure); });
}

// A segment counts once checked.
void SegmentedEngine::checkSegment(int index)
{
    ++m_checking;
    m_pieceSecs[index] = -1; // checking: not launched again
    const SegmentPiece piece = m_record.pieces[index];
    const QString path = m_setup.folder + QLatin1Char('/') + SegmentRecord::SegmentName(index, m_ext);
    const auto abort = m_abort;
    onWorker<QString>(
        [piece, path, abort] {
            syncFile(path);
            return judgeSegment(ReadMediaFacts(path, AllPackets, QDeadlineTimer::Forever, abort.get()), piece);
        },
        [this, index](const QString &failure) { onSegmentChecked(index, failure); });
    schedule();
}

void SegmentedEngine::onSegmentChecked(int index, const QString &failure)
{
    --m_checking;
    m_pieceSecs[index] = 0;
    if (failure.isEmpty()) {
        // Kept as done also when the task is being stopped: the next run needs it not.
        SegmentPiece &piece = m_record.pieces[index];
        piece.done = true;
        piece.doneSize = QFileInfo(m_setup.folder + QLatin1Char('/') + SegmentRecord::SegmentName(index, m_ext)).size();
        saveRecord();
        // Its piece is not needed any more.
        removeFile(m_setup.folder + QLatin1Char('/') + piece.file);
    }
    if (m_stopping || !m_failure.isEmpty()) {
        if (m_running.isEmpty() && m_checking == 0)
            finish(m_stopping ? 255 : 1);
        return;
    }
    if (!failure.isEmpty()) {
        fail(tr("Segment %1 of %2 failed its check: %3.").arg(index + 1).arg(m_record.pieces.size()).arg(failure));
        return;
    }
    progress();
    schedule();
}

// ---------------------------------------------------------------------------
// The join

void SegmentedEngine::join()
{
    m_busy = true;
    QStringList files;
    for (int i = 0; i < m_record.pieces.size(); ++i)
        files << m_setup.folder + QLatin1Char('/') + SegmentRecord::SegmentName(i, m_ext);
    const QString listPath = m_setup.folder + QLatin1Char('/') + JoinList;
    QSaveFile list(listPath);
    if (!list.open(QIODevice::WriteOnly) || list.write(ConcatList(files)) < 0 || !list.commit()) {
        fail(tr("The list of segments could not be written in \"%1\".").arg(m_setup.folder));
        return;
    }
    const QString audio = m_record.inputAudio ? m_setup.folder + QStringLiteral("/audio.") + m_ext : QString();
    const QStringList arguments = JoinArguments(listPath, audio, m_setup.params, m_output);
    emitChunk(tr("Joining the segments:") + QLatin1Char(' ') + arguments.join(QLatin1Char(' ')) + QLatin1Char('\n'));
    run(new EngineProcess(this), JoinStep, EngineCommand{arguments.join(QLatin1Char(' ')), arguments},
        [this](const QString &text) { emitChunk(text); });
}

void SegmentedEngine::onJoined(const QString &failure)
{
    if (!failure.isEmpty()) {
        fail(failure);
        return;
    }
    if (m_stopping) {
        finish(255);
        return;
    }
    finish(0);
}

// ---------------------------------------------------------------------------
// Ends, progress, the record

void SegmentedEngine::fail(const QString &reason)
{
    if (m_over || !m_failure.isEmpty())
        return;
    qCInfo(lcRun).noquote() << "segmented conversion of" << m_setup.task.InputFile << "failed:" << reason;
    m_failure = reason;
    emitChunk(reason + QLatin1Char('\n'));
    for (Running *step : std::as_const(m_running)) {
        step->engine->resumeEngine();
        step->engine->kill();
    }
    if (m_running.isEmpty() && m_checking == 0)
        finish(1);
}

void SegmentedEngine::finish(int exitCode)
{
    if (m_over)
        return;
    m_over = true;
    m_busy = false;
    emit ended(exitCode, false);
}

void SegmentedEngine::saveRecord()
{
    QSaveFile file(m_setup.folder + QLatin1Char('/') + RecordName);
    if (!file.open(QIODevice::WriteOnly) || file.write(m_record.toJson()) < 0 || !file.flush()
        || ::fsync(file.handle()) != 0 || !file.commit())
        qCWarning(lcRun).noquote() << "the record of" << m_setup.folder << "could not be written";
    // The record's new name outlasts a power cut too.
    const int folder = ::open(QFile::encodeName(m_setup.folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}

void SegmentedEngine::progress()
{
    double total = 0;
    double done = 0;
    for (int i = 0; i < m_record.pieces.size(); ++i) {
        total += m_record.pieces[i].secs;
        done += m_record.pieces[i].done ? m_record.pieces[i].secs : std::max(0.0, m_pieceSecs.value(i));
    }
    const double clip = m_setup.task.ClipLengthSecs > 0 ? m_setup.task.ClipLengthSecs : m_setup.task.LengthSecs;
    // Ahead of each read, so that it is the first time in it.
    m_progressPrefix = QStringLiteral("[time=%1 ] ").arg(engineTime(total > 0 ? clip * done / total : 0));
}

void SegmentedEngine::emitChunk(const QString &text)
{
    if (!m_pieceSecs.isEmpty())
        progress();
    emit chunkRead(m_progressPrefix + text);
}

// ---------------------------------------------------------------------------
// Pause, stop, kill

void SegmentedEngine::suspendEngine()
{
    m_paused = true;
    for (Running *step : std::as_const(m_running))
        step->engine->suspendEngine();
}

void SegmentedEngine::resumeEngine()
{
    m_paused = false;
    for (Running *step : std::as_const(m_running))
        step->engine->resumeEngine();
    schedule();
}

void SegmentedEngine::TerminateEngine()
{
    if (m_over)
        return;
    m_stopping = true;
    for (Running *step : std::as_const(m_running)) {
        step->engine->resumeEngine();
        step->engine->TerminateEngine();
    }
    // Between steps (or while a worker reads): ends once that worker is back.
    if (m_running.isEmpty() && m_checking == 0 && !m_busy)
        finish(255);
}

void SegmentedEngine::kill()
{
    if (m_over)
        return;
    m_stopping = true;
    for (Running *step : std::as_const(m_running))
        step->engine->kill();
    if (m_running.isEmpty() && m_checking == 0 && !m_busy)
        finish(255);
}

void SegmentedEngine::killAndWait()
{
    m_abort->store(true);
    m_over = true;
    for (Running *step : std::as_const(m_running)) {
        step->engine->killAndWait();
        step->engine->deleteLater();
        delete step;
    }
    m_running.clear();
}

bool SegmentedEngine::isRunning() const
{
    return !m_over && !m_enginePath.isEmpty();
}

void SegmentedEngine::RemoveFolder(const QString &folder)
{
    if (!isOwnFolder(folder) || !QFileInfo(folder).fileName().startsWith(SegmentFolderPrefix))
        return;
    // Only the names this engine gives its files.
    static const QRegularExpression own(QStringLiteral(
        "^(piece\\d{5}\\.nut|segment\\d{5}\\.\\w+|audio\\.\\w+|record\\.json(\\.\\w+)?|pieces\\.csv|segments\\.txt)$"));
    for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System))
        if (own.match(name).hasMatch())
            removeFile(folder + QLatin1Char('/') + name);
    ::rmdir(QFile::encodeName(folder).constData());
}
