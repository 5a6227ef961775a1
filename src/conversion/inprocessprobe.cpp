#include "conversion/inprocessprobe.h"

#include "platform/logging.h"

#include <QFile>
#include <QFileInfo>
#include <QRunnable>
#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <functional>
#include <mutex>
#include <vector>

#include <dlfcn.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libavutil/macros.h>
#include <libavutil/pixdesc.h>
}

namespace {

struct Interrupt
{
    QDeadlineTimer deadline;
    const std::atomic_bool *abort = nullptr;
};

// Asked by the library before and between its reads: non-zero stops it.
int interrupted(void *opaque)
{
    const auto *interrupt = static_cast<const Interrupt *>(opaque);
    return (interrupt->abort && interrupt->abort->load()) || interrupt->deadline.hasExpired() ? 1 : 0;
}

// The media library's functions the probe calls. The library is loaded when
// the first file is probed, not when the program starts: with the codecs it
// pulls in it is some 130 shared objects, which would slow every start-up and
// swell every idle window. The version is the one of the headers the program
// was built with, whose structures it reads.
struct Library
{
    decltype(&avformat_alloc_context) allocContext = nullptr;
    decltype(&avformat_open_input) openInput = nullptr;
    decltype(&avformat_find_stream_info) findStreamInfo = nullptr;
    decltype(&avformat_close_input) closeInput = nullptr;
    decltype(&av_dict_set) dictSet = nullptr;
    decltype(&av_dict_free) dictFree = nullptr;
    decltype(&av_log_set_level) logSetLevel = nullptr;
    decltype(&av_read_frame) readFrame = nullptr;
    decltype(&avformat_seek_file) seekFile = nullptr;
    decltype(&av_packet_alloc) packetAlloc = nullptr;
    decltype(&av_packet_free) packetFree = nullptr;
    decltype(&av_packet_unref) packetUnref = nullptr;
    decltype(&avcodec_get_name) codecName = nullptr;
    decltype(&avcodec_descriptor_get) codecDescriptor = nullptr;
    decltype(&av_dict_get) dictGet = nullptr;
    decltype(&av_get_pix_fmt_name) pixelFormatName = nullptr;

    bool isComplete() const
    {
        return allocContext && openInput && findStreamInfo && closeInput && dictSet && dictFree && logSetLevel
               && readFrame && seekFile && packetAlloc && packetFree && packetUnref && codecName
               && codecDescriptor && dictGet && pixelFormatName;
    }
};

template<typename Function>
void resolve(void *handle, const char *name, Function &function)
{
    function = handle ? reinterpret_cast<Function>(::dlsym(handle, name)) : nullptr;
}

// Null when the library cannot be loaded: the engine probes every file then.
const Library *library()
{
    static const Library loaded = [] {
        Library api;
        // Never unloaded: a worker given up on may still be inside.
        void *util = ::dlopen("libavutil.so." AV_STRINGIFY(LIBAVUTIL_VERSION_MAJOR), RTLD_NOW | RTLD_LOCAL);
        void *format = ::dlopen("libavformat.so." AV_STRINGIFY(LIBAVFORMAT_VERSION_MAJOR), RTLD_NOW | RTLD_LOCAL);
        resolve(format, "avformat_alloc_context", api.allocContext);
        resolve(format, "avformat_open_input", api.openInput);
        resolve(format, "avformat_find_stream_info", api.findStreamInfo);
        resolve(format, "avformat_close_input", api.closeInput);
        resolve(util, "av_dict_set", api.dictSet);
        resolve(util, "av_dict_free", api.dictFree);
        resolve(util, "av_log_set_level", api.logSetLevel);
        resolve(format, "av_read_frame", api.readFrame);
        resolve(format, "avformat_seek_file", api.seekFile);
        // Found among the format library's own dependencies.
        resolve(format, "av_packet_alloc", api.packetAlloc);
        resolve(format, "av_packet_free", api.packetFree);
        resolve(format, "av_packet_unref", api.packetUnref);
        resolve(format, "avcodec_get_name", api.codecName);
        resolve(format, "avcodec_descriptor_get", api.codecDescriptor);
        resolve(util, "av_dict_get", api.dictGet);
        resolve(util, "av_get_pix_fmt_name", api.pixelFormatName);
        if (!api.isComplete())
            qCInfo(lcProbe) << "media library not usable, the engine probes every file:" << ::dlerror();
        // The library writes its warnings to the terminal unless told otherwise.
        if (api.isComplete())
            api.logSetLevel(AV_LOG_QUIET);
        return api;
    }();
    return loaded.isComplete() ? &loaded : nullptr;
}

struct CloseInput
{
    const Library *api;
    void operator()(AVFormatContext *context) const { api->closeInput(&context); }
};

// The streams in the order the engine's report lists them: those of each
// program first, then the rest.
std::vector<unsigned> reportOrder(const AVFormatContext &context)
{
    std::vector<unsigned> order;
    std::vector<bool> listed(context.nb_streams, false);
    for (unsigned p = 0; p < context.nb_programs; ++p) {
        const AVProgram &program = *context.programs[p];
        for (unsigned k = 0; k < program.nb_stream_indexes; ++k) {
            const unsigned index = program.stream_index[k];
            if (index < context.nb_streams) {
                order.push_back(index);
                listed[index] = true;
            }
        }
    }
    for (unsigned i = 0; i < context.nb_streams; ++i) {
        if (!listed[i])
            order.push_back(i);
    }
    return order;
}

// A pool for the probes whose owner gives none. Never destroyed: a worker
// stuck in a read would keep its destructor waiting at exit.
QThreadPool &modulePool()
{
    static QThreadPool *const pool = new QThreadPool;
    return *pool;
}

std::shared_ptr<std::atomic_int> moduleLingerCounter()
{
    static const auto counter = std::make_shared<std::atomic_int>(0);
    return counter;
}

} // namespace

namespace {

QString tag(const Library *api, const AVDictionary *metadata, const char *key)
{
    const AVDictionaryEntry *entry = api->dictGet(metadata, key, nullptr, 0);
    return entry ? QString::fromUtf8(entry->value) : QString();
}

// The streams of an opened file in file order.
QList<MediaStream> streamsOf(const Library *api, const AVFormatContext &context)
{
    QList<MediaStream> streams;
    for (unsigned i = 0; i < context.nb_streams; ++i) {
        const AVStream &stream = *context.streams[i];
        const AVCodecParameters &codec = *stream.codecpar;
        MediaStream s;
        s.index = static_cast<int>(i);
        s.codec = QString::fromLatin1(api->codecName(codec.codec_id));
        switch (codec.codec_type) {
        case AVMEDIA_TYPE_VIDEO: {
            s.kind = MediaStream::Kind::Video;
            s.picture = (stream.disposition & AV_DISPOSITION_ATTACHED_PIC) != 0;
            s.width = codec.width;
            s.height = codec.height;
            const AVRational rate = stream.avg_frame_rate.num > 0 ? stream.avg_frame_rate : stream.r_frame_rate;
            if (rate.num > 0 && rate.den > 0)
                s.frameRate = static_cast<double>(rate.num) / rate.den;
            if (const char *format = api->pixelFormatName(static_cast<AVPixelFormat>(codec.format)))
                s.pixelFormat = QString::fromLatin1(format);
            break;
        }
        case AVMEDIA_TYPE_AUDIO:
            s.kind = MediaStream::Kind::Audio;
            s.sampleRate = codec.sample_rate;
            s.channels = codec.ch_layout.nb_channels;
            break;
        case AVMEDIA_TYPE_SUBTITLE: {
            s.kind = MediaStream::Kind::Subtitle;
            const AVCodecDescriptor *descriptor = api->codecDescriptor(codec.codec_id);
            // A subtitle of unknown kind counts as pictures: no text can be made of it.
            s.picture = !descriptor || !(descriptor->props & AV_CODEC_PROP_TEXT_SUB);
            break;
        }
        default:
            break;
        }
        s.bitRate = codec.bit_rate;
        s.language = tag(api, stream.metadata, "language");
        s.title = tag(api, stream.metadata, "title");
        // The QuickTime family names a track in its handler; the names
        // muxers give every track ("SoundHandler") say nothing.
        const QString handler = tag(api, stream.metadata, "handler_name");
        if (s.title.isEmpty() && !handler.endsWith(QLatin1String("Handler")))
            s.title = handler;
        streams << s;
    }
    return streams;
}

} // namespace

QString EngineDurationText(std::optional<qint64> microseconds)
{
    if (!microseconds)
        return QStringLiteral("N/A");
    // The engine's own arithmetic, signs and all.
    const qint64 rounded = *microseconds + (*microseconds <= INT64_MAX - 5000 ? 5000 : 0);
    qint64 seconds = rounded / AV_TIME_BASE;
    const qint64 rest = rounded % AV_TIME_BASE;
    qint64 minutes = seconds / 60;
    seconds %= 60;
    const qint64 hours = minutes / 60;
    minutes %= 60;
    return QString::asprintf("%02lld:%02lld:%02lld.%02lld", static_cast<long long>(hours),
                             static_cast<long long>(minutes), static_cast<long long>(seconds),
                             static_cast<long long>(100 * rest / AV_TIME_BASE));
}

namespace {

using Input = std::unique_ptr<AVFormatContext, CloseInput>;

// The length listed for an opened input (ListedLengthSecs; the pieces of a
// timeline that leaps added up); none when unknown.
std::optional<qint64> listedMicroseconds(const Library *api, AVFormatContext *context, const QString &path);

// Opens `path` the way the engine opens an input and reads its stream
// parameters; null when the library cannot, or `interrupt` stops it.
Input openInput(const Library *api, const QString &path, Interrupt *interrupt)
{
    if (interrupted(interrupt))
        return nullptr;
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty() || !api)
        return nullptr;
    AVFormatContext *context = api->allocContext();
    if (!context)
        return nullptr;
    context->interrupt_callback = AVIOInterruptCB{interrupted, interrupt};
    context->flags |= AVFMT_FLAG_NONBLOCK;
    AVDictionary *options = nullptr;
    api->dictSet(&options, "scan_all_pmts", "1", AV_DICT_DONT_OVERWRITE);
    const int opened = api->openInput(&context, name.constData(), nullptr, &options);
    api->dictFree(&options);
    if (opened < 0)
        return nullptr; // the library has freed the context
    Input input(context, CloseInput{api});
    if (api->findStreamInfo(context, nullptr) < 0 || interrupted(interrupt))
        return nullptr;
    return input;
}

} // namespace

std::optional<ProbeReport> ProbeInProcess(const QString &path, QDeadlineTimer deadline, const std::atomic_bool *abort)
{
    Interrupt interrupt{deadline, abort};
    const Library *api = library();
    const Input input = openInput(api, path, &interrupt);
    if (!input)
        return std::nullopt;
    AVFormatContext *context = input.get();

    ProbeReport report;
    report.streams = streamsOf(api, *context);
    // The first stream the report calls "Video", a cover picture included.
    for (const unsigned index : reportOrder(*context)) {
        const AVCodecParameters &codec = *context->streams[index]->codecpar;
        if (codec.codec_type != AVMEDIA_TYPE_VIDEO)
            continue;
        // Without a width the report writes no size, and its third field is
        // some other figure: only the engine's report tells which.
        if (codec.width == 0)
            return std::nullopt;
        report.size = QStringLiteral(" %1x%2").arg(codec.width).arg(codec.height);
        break;
    }
    report.length = EngineDurationText(listedMicroseconds(api, context, path));
    if (interrupted(&interrupt))
        return std::nullopt;
    return report;
}

namespace {

// A gap between two packets of one stream longer than this, or a step back
// longer than a second, is a leap of the timeline rather than a pause.
constexpr double TimestampJumpSecs = 10;
// The packets read after a skip to the end: enough for the last ones of
// every stream, whatever the interleaving.
constexpr qint64 TailMicroseconds = 30 * qint64(AV_TIME_BASE);

struct Track
{
    int index = -1;
    StreamFacts *facts = nullptr;
    double timeBase = 0;
    std::optional<double> next;    // where the packet after the last one begins
    std::optional<double> lastDts; // for leaps of the timeline
    // The pieces between leaps: the length of those before the last leap,
    // and where the one after it begins and ends.
    double closedPieces = 0;
    std::optional<double> pieceStart;
    std::optional<double> pieceEnd;

    double piecesSecs() const { return closedPieces + (pieceStart ? *pieceEnd - *pieceStart : 0); }
};

void take(Track &track, const AVPacket &packet, bool *jump)
{
    StreamFacts &facts = *track.facts;
    ++facts.packets;
    if (packet.dts != AV_NOPTS_VALUE) {
        const double dts = static_cast<double>(packet.dts) * track.timeBase;
        if (track.lastDts && (dts < *track.lastDts - 1 || dts > *track.lastDts + TimestampJumpSecs)) {
            *jump = true;
            track.closedPieces = track.piecesSecs();
            track.pieceStart.reset();
            track.pieceEnd.reset();
        }
        track.lastDts = dts;
    }
    // Packets that only prepare the decoder (before an edit list's start) are
    // not shown.
    if (packet.flags & AV_PKT_FLAG_DISCARD)
        return;
    const double duration = static_cast<double>(std::max<int64_t>(packet.duration, 0)) * track.timeBase;
    const int64_t stamp = packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts;
    if (stamp != AV_NOPTS_VALUE) {
        const double time = static_cast<double>(stamp) * track.timeBase;
        facts.startSecs = facts.startSecs ? std::min(*facts.startSecs, time) : time;
        track.next = time + duration;
        track.pieceStart = track.pieceStart ? std::min(*track.pieceStart, time) : time;
        track.pieceEnd = track.pieceEnd ? std::max(*track.pieceEnd, *track.next) : *track.next;
    } else if (track.next) {
        *track.next += duration;
    }
    if (track.next)
        facts.endSecs = facts.endSecs ? std::max(*facts.endSecs, *track.next) : *track.next;
}

// Of a container whose times may leap (MPEG-TS, MPEG-PS), the packets read
// for the pieces of its timeline: the first this many bytes of the file.
constexpr qint64 PieceScanBytes = 64 * 1024 * 1024;

std::optional<qint64> listedMicroseconds(const Library *api, AVFormatContext *context, const QString &path)
{
    if (context->duration == AV_NOPTS_VALUE)
        return std::nullopt;
    const double start = context->start_time != AV_NOPTS_VALUE ? double(context->start_time) / AV_TIME_BASE : 0;
    const double told = double(context->duration) / AV_TIME_BASE;
    double listed = ListedLengthSecs(QString::fromLatin1(context->iformat->name), start, told);
    if (context->iformat->flags & AVFMT_TS_DISCONT) {
        // The library measures such a file from its first time to its last,
        // which spans the gap of every leap: the pieces are added up instead.
        StreamFacts facts;
        Track track;
        for (const unsigned index : reportOrder(*context)) {
            const AVStream &stream = *context->streams[index];
            const AVMediaType type = stream.codecpar->codec_type;
            if ((type == AVMEDIA_TYPE_VIDEO || type == AVMEDIA_TYPE_AUDIO)
                && (track.index < 0 || (type == AVMEDIA_TYPE_VIDEO && context->streams[track.index]->codecpar->codec_type
                                                                         != AVMEDIA_TYPE_VIDEO))) {
                track.index = static_cast<int>(index);
                track.timeBase = av_q2d(stream.time_base);
            }
        }
        track.facts = &facts;
        for (unsigned i = 0; i < context->nb_streams; ++i) {
            if (static_cast<int>(i) != track.index)
                context->streams[i]->discard = AVDISCARD_ALL;
        }
        AVPacket *packet = track.index >= 0 ? api->packetAlloc() : nullptr;
        bool jump = false;
        bool whole = true;
        qint64 position = 0;
        while (packet && api->readFrame(context, packet) >= 0) {
            if (packet->stream_index == track.index)
                take(track, *packet, &jump);
            position = std::max<qint64>(position, packet->pos);
            api->packetUnref(packet);
            if (position > PieceScanBytes) {
                whole = false;
                break;
            }
        }
        if (packet)
            api->packetFree(&packet);
        const double pieces = track.piecesSecs();
        const qint64 size = QFileInfo(path).size();
        // Past the bytes read, the rest is taken to run at the same rate.
        const double scaled = whole || position <= 0 ? pieces : pieces * double(size) / double(position);
        if (pieces > 0 && (jump || (!whole && (listed > 4 * scaled || 4 * listed < scaled))))
            listed = scaled;
    }
    // The engine's own figure wherever it stands.
    return listed == told ? context->duration : qRound64(listed * AV_TIME_BASE);
}

} // namespace

std::optional<MediaFacts> ReadMediaFacts(const QString &path, qint64 scanBytes, QDeadlineTimer deadline,
                                         const std::atomic_bool *abort)
{
    Interrupt interrupt{deadline, abort};
    const Library *api = library();
    const Input input = openInput(api, path, &interrupt);
    if (!input)
        return std::nullopt;
    AVFormatContext *context = input.get();

    MediaFacts facts;
    facts.format = QString::fromLatin1(context->iformat->name);
    if (context->start_time != AV_NOPTS_VALUE)
        facts.startSecs = static_cast<double>(context->start_time) / AV_TIME_BASE;
    if (context->duration != AV_NOPTS_VALUE)
        facts.durationSecs = static_cast<double>(context->duration) / AV_TIME_BASE;
    facts.durationEstimated = context->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE;
    facts.streams = streamsOf(api, *context);

    Track tracks[2];
    for (const unsigned index : reportOrder(*context)) {
        const AVStream &stream = *context->streams[index];
        const AVMediaType type = stream.codecpar->codec_type;
        Track &track = tracks[type == AVMEDIA_TYPE_VIDEO ? 0 : 1];
        if ((type != AVMEDIA_TYPE_VIDEO && type != AVMEDIA_TYPE_AUDIO) || track.index >= 0
            || (stream.disposition & AV_DISPOSITION_ATTACHED_PIC))
            continue;
        track.index = static_cast<int>(index);
        track.facts = type == AVMEDIA_TYPE_VIDEO ? &facts.video : &facts.audio;
        track.facts->present = true;
        track.facts->codec = QString::fromLatin1(api->codecName(stream.codecpar->codec_id));
        track.timeBase = av_q2d(stream.time_base);
    }
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        if (static_cast<int>(i) != tracks[0].index && static_cast<int>(i) != tracks[1].index)
            context->streams[i]->discard = AVDISCARD_ALL;
    }

    AVPacket *packet = api->packetAlloc();
    if (!packet)
        return std::nullopt;
    qint64 bytes = 0;
    bool skipped = false;
    while (api->readFrame(context, packet) >= 0) {
        bytes += packet->size;
        for (Track &track : tracks) {
            if (track.index == packet->stream_index)
                take(track, *packet, &facts.timestampJump);
        }
        api->packetUnref(packet);
        if (bytes > scanBytes && !skipped && context->duration != AV_NOPTS_VALUE) {
            skipped = true;
            const int64_t start = context->start_time != AV_NOPTS_VALUE ? context->start_time : 0;
            const int64_t target = start + std::max<int64_t>(context->duration - TailMicroseconds, 0);
            if (api->seekFile(context, -1, INT64_MIN, target, target, 0) >= 0) {
                for (Track &track : tracks) {
                    track.next.reset();
                    track.lastDts.reset();
                }
            }
        }
    }
    api->packetFree(&packet);
    if (interrupted(&interrupt))
        return std::nullopt;
    return facts;
}

// ---------------------------------------------------------------------------

// What a worker and the probe that waits for it share. The worker keeps it
// alive as long as it runs, so the probe may go at any time.
struct InProcessProbe::Job
{
    QString path;
    QDeadlineTimer deadline;
    std::atomic_bool abort{false};

    std::mutex mutex;
    bool finished = false;
    bool stopped = false; // the deadline or abort ended the work
    std::optional<ProbeReport> result;
    // Hands the result over; cleared by a probe that no longer wants it.
    std::function<void(const std::optional<ProbeReport> &, bool)> deliver;
    // Set when the waiting side gave up while the work ran on.
    std::shared_ptr<std::atomic_int> lingering;

    void run()
    {
        std::optional<ProbeReport> report = ProbeInProcess(path, deadline, &abort);
        const bool wasStopped = !report && (abort.load() || deadline.hasExpired());
        const std::lock_guard lock(mutex);
        result = std::move(report);
        stopped = wasStopped;
        finished = true;
        if (deliver)
            deliver(result, stopped);
        if (lingering)
            --*lingering;
    }
};

InProcessProbe::InProcessProbe(QString path, QThreadPool *pool, QObject *parent)
    : QObject(parent)
    , m_path(std::move(path))
    , m_pool(pool)
{
    m_timeout.setSingleShot(true);
    connect(&m_timeout, &QTimer::timeout, this, &InProcessProbe::giveUp);
    if (!m_pool)
        m_lingerCounter = moduleLingerCounter();
}

InProcessProbe::~InProcessProbe()
{
    detach();
}

void InProcessProbe::setLingerCounter(std::shared_ptr<std::atomic_int> counter)
{
    m_lingerCounter = std::move(counter);
}

void InProcessProbe::launch(int timeoutMs)
{
    if (m_job || isDone())
        return;
    m_job = std::make_shared<Job>();
    m_job->path = m_path;
    m_job->deadline = QDeadlineTimer(timeoutMs);
    // Runs on the worker's thread, under the job's lock: detach() takes the
    // same lock before the probe goes, and a call posted before that dies
    // with the probe.
    m_job->deliver = [this](const std::optional<ProbeReport> &report, bool stopped) {
        QMetaObject::invokeMethod(
            this, [this, report, stopped] { deliver(report, stopped); }, Qt::QueuedConnection);
    };
    QThreadPool *pool = m_pool;
    if (!pool) {
        // Threads held by stuck workers do not count against the others.
        pool = &modulePool();
        pool->setMaxThreadCount(std::max(1, QThread::idealThreadCount()) + m_lingerCounter->load());
    }
    m_timeout.start(timeoutMs);
    const std::shared_ptr<Job> job = m_job;
    pool->start(QRunnable::create([job] { job->run(); }));
}

void InProcessProbe::abandon()
{
    m_timeout.stop();
    detach();
    if (m_outcome == Outcome::Pending)
        m_outcome = Outcome::GivenUp;
}

void InProcessProbe::detach()
{
    if (!m_job)
        return;
    m_job->abort = true;
    {
        const std::lock_guard lock(m_job->mutex);
        m_job->deliver = nullptr;
        if (!m_job->finished && m_lingerCounter && !m_job->lingering) {
            m_job->lingering = m_lingerCounter;
            ++*m_lingerCounter;
        }
    }
    m_job.reset();
}

void InProcessProbe::giveUp()
{
    if (isDone())
        return;
    detach();
    m_outcome = Outcome::GivenUp;
    emit done();
}

void InProcessProbe::deliver(const std::optional<ProbeReport> &report, bool stopped)
{
    // A result posted just before a give-up or an abandon arrives after it.
    if (isDone())
        return;
    m_timeout.stop();
    m_job.reset();
    if (report) {
        m_outcome = Outcome::Read;
        m_report = *report;
    } else {
        m_outcome = stopped ? Outcome::GivenUp : Outcome::Refused;
    }
    emit done();
}

FileProbe::FileProbe(QString enginePath, QString path, QThreadPool *pool, QObject *parent)
    : QObject(parent)
    , m_enginePath(std::move(enginePath))
    , m_path(path)
    , m_library(std::move(path), pool)
{
    connect(&m_library, &InProcessProbe::done, this, &FileProbe::onLibraryDone);
}

void FileProbe::setLingerCounter(std::shared_ptr<std::atomic_int> counter)
{
    m_library.setLingerCounter(std::move(counter));
}

void FileProbe::launch(int timeoutMs)
{
    m_timeoutMs = timeoutMs;
    m_library.launch(timeoutMs);
}

void FileProbe::abandon()
{
    m_library.abandon();
    if (m_engine)
        m_engine->abandon();
    m_done = true;
}

void FileProbe::onLibraryDone()
{
    if (m_library.outcome() != InProcessProbe::Outcome::Refused) {
        finish(m_library.report());
        return;
    }
    m_engine = new EngineProbe(m_enginePath, m_path, this);
    connect(m_engine, &EngineProbe::done, this, &FileProbe::onEngineDone);
    m_engine->launch(m_timeoutMs);
}

void FileProbe::onEngineDone()
{
    finish(m_engine->report());
}

void FileProbe::finish(const ProbeReport &report)
{
    if (m_done)
        return;
    m_done = true;
    m_report = report;
    emit done();
}
