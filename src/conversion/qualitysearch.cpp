#include "conversion/qualitysearch.h"

#include "conversion/engineprocess.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

struct Texts
{
    Q_DECLARE_TR_FUNCTIONS(QualitySearch)
};

// " -name value" of a parameter string, the option and its value.
QRegularExpression optionPattern(const QString &name)
{
    return QRegularExpression(QStringLiteral("(^|\\s)%1\\s+(\\S+)").arg(QRegularExpression::escape(name)));
}

// The value of the last `name` option of `params`; empty when none.
QString optionValue(const QString &params, const QStringList &names)
{
    QString value;
    qsizetype at = -1;
    for (const QString &name : names) {
        QRegularExpressionMatchIterator it = optionPattern(name).globalMatch(params);
        while (it.hasNext()) {
            const QRegularExpressionMatch match = it.next();
            if (match.capturedStart() > at) {
                at = match.capturedStart();
                value = match.captured(2);
            }
        }
    }
    return value;
}

QString withoutOptions(QString params, const QStringList &names)
{
    for (const QString &name : names)
        params.remove(optionPattern(name));
    return params;
}

const QStringList VideoCodecOptions = {QStringLiteral("-vcodec"), QStringLiteral("-c:v"), QStringLiteral("-codec:v")};

// The options of a parameter string that decide how the video is encoded,
// for the probes: the codec and its settings, the picture's size and filters.
// Sound, streams, container, frame rate and bit rate have no part in them.
QStringList videoOptions(const QString &params)
{
    static const QStringList withValue = {"-vcodec", "-c:v", "-codec:v", "-preset", "-pix_fmt", "-s", "-vf",
                                          "-filter:v", "-tune", "-profile:v", "-level", "-x264-params",
                                          "-x265-params", "-svtav1-params", "-g", "-bf", "-aspect"};
    const QStringList arguments = SplitCommandLine(params);
    QStringList kept;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (withValue.contains(arguments[i]) && i + 1 < arguments.size()) {
            kept << arguments[i] << arguments[i + 1];
            ++i;
        } else if (arguments[i] == QLatin1String("-bitexact")) {
            kept << arguments[i];
        }
    }
    return kept;
}

// The measure the search interpolates on: close to linear in the CRF.
double quality(double ssim)
{
    return -std::log10(std::max(1.0 - ssim, 1e-6));
}

double ssimOf(double quality)
{
    return 1.0 - std::pow(10.0, -quality);
}

QString number(double value)
{
    return QString::number(value, 'f', 3);
}

} // namespace

std::optional<CrfScale> CrfScaleFor(const QString &encoder)
{
    if (encoder == QLatin1String("libx264") || encoder == QLatin1String("libx264rgb"))
        return CrfScale{0, 51, 23, 0.1, 6, 1, 0.045};
    if (encoder == QLatin1String("libx265"))
        return CrfScale{0, 51, 28, 0.1, 6, 1, 0.045};
    if (encoder == QLatin1String("libsvtav1"))
        return CrfScale{1, 63, 35, 1, 8, 2, 0.03};
    if (encoder == QLatin1String("libaom-av1"))
        return CrfScale{0, 63, 32, 1, 8, 2, 0.03};
    return std::nullopt;
}

std::optional<double> TargetSsim(const QString &params)
{
    const QString text = optionValue(params, {QString::fromLatin1(TargetSsimOption)});
    bool ok = false;
    const double target = text.toDouble(&ok);
    if (!ok || target <= 0 || target >= 1)
        return std::nullopt;
    return target;
}

QString WithoutTargetSsim(const QString &params)
{
    return withoutOptions(params, {QString::fromLatin1(TargetSsimOption)});
}

QString WithCrf(const QString &params, double crf)
{
    return withoutOptions(params, {QStringLiteral("-crf"), QStringLiteral("-b:v"), QStringLiteral("-vb")})
           + QStringLiteral(" -crf ") + QString::number(crf, 'g', 4);
}

// ---------------------------------------------------------------------------

CrfSearch::CrfSearch(double target, const CrfScale &scale, double start, int maxProbes)
    : m_target(target)
    , m_scale(scale)
    , m_maxProbes(maxProbes)
    , m_next(std::clamp(start, scale.low, scale.high))
{
}

void CrfSearch::measured(double crf, double ssim)
{
    const auto at = std::lower_bound(m_points.begin(), m_points.end(), crf,
                                     [](const Point &p, double c) { return p.crf < c; });
    m_points.insert(at, Point{crf, ssim});
    m_next = plan();
}

std::pair<int, int> CrfSearch::bracket() const
{
    int below = -1; // the highest CRF that reached the target
    for (int i = 0; i < m_points.size(); ++i) {
        if (m_points[i].ssim >= m_target)
            below = i;
    }
    int above = -1; // the lowest CRF above it that did not
    for (int i = below + 1; i < m_points.size(); ++i) {
        if (m_points[i].ssim < m_target) {
            above = i;
            break;
        }
    }
    return {below, above};
}

std::optional<double> CrfSearch::plan() const
{
    if (probes() >= m_maxProbes)
        return std::nullopt;
    for (const Point &p : m_points) {
        if (p.ssim >= m_target && p.ssim - m_target <= Tolerance)
            return std::nullopt; // close enough above the target
    }
    const auto [below, above] = bracket();
    const double goal = quality(m_target);
    double crf = 0;
    double least = m_scale.low;
    double most = m_scale.high;
    if (below >= 0 && above >= 0) {
        const Point &a = m_points[below];
        const Point &b = m_points[above];
        if (b.crf - a.crf <= m_scale.close)
            return std::nullopt;
        const double qa = quality(a.ssim);
        const double qb = quality(b.ssim);
        crf = qa == qb ? (a.crf + b.crf) / 2 : a.crf + (qa - goal) / (qa - qb) * (b.crf - a.crf);
        least = a.crf + m_scale.step;
        most = b.crf - m_scale.step;
    } else {
        // Outside what was measured: towards the target along the slope of
        // the two nearest probes, or the encoder's typical slope while they
        // say nothing, by two jumps at most.
        const bool upwards = below >= 0; // every probe reached the target
        const int near = upwards ? static_cast<int>(m_points.size()) - 1 : 0;
        const int next = upwards ? near - 1 : 1;
        const Point &p = m_points[near];
        double slope = -m_scale.slope;
        if (next >= 0 && next < m_points.size()) {
            const Point &q = m_points[next];
            const double measured = (quality(p.ssim) - quality(q.ssim)) / (p.crf - q.crf);
            if (measured < -1e-4)
                slope = measured;
        }
        const double move = std::clamp(std::abs((goal - quality(p.ssim)) / slope), m_scale.step, 2 * m_scale.jump);
        crf = p.crf + (upwards ? move : -move);
    }
    least = std::max(least, m_scale.low);
    most = std::min(most, m_scale.high);
    if (least > most)
        return std::nullopt; // the bracket is one step wide
    crf = std::clamp(std::round(crf / m_scale.step) * m_scale.step, least, most);
    for (const Point &p : m_points) {
        if (std::abs(p.crf - crf) < m_scale.step / 2)
            return std::nullopt; // at the end of the scale
    }
    return crf;
}

double CrfSearch::predictAt(double crf) const
{
    const auto [below, above] = bracket();
    if (below < 0 || above < 0)
        return m_points.isEmpty() ? 0 : m_points[below >= 0 ? below : 0].ssim;
    const Point &a = m_points[below];
    const Point &b = m_points[above];
    const double t = (crf - a.crf) / (b.crf - a.crf);
    return ssimOf(quality(a.ssim) + t * (quality(b.ssim) - quality(a.ssim)));
}

double CrfSearch::chosen() const
{
    if (m_points.isEmpty())
        return m_next.value_or(m_scale.start);
    const auto [below, above] = bracket();
    if (below < 0)
        return m_points.first().crf; // none reached it: the best probed
    if (above < 0)
        return m_points[below].crf;
    const Point &a = m_points[below];
    const Point &b = m_points[above];
    const double qa = quality(a.ssim);
    const double qb = quality(b.ssim);
    const double goal = quality(m_target);
    const double crf = qa == qb ? a.crf : a.crf + (qa - goal) / (qa - qb) * (b.crf - a.crf);
    // On the encoder's steps, on the side of the better picture.
    const double steps = std::floor((crf - a.crf) / m_scale.step + 1e-9);
    return std::clamp(a.crf + steps * m_scale.step, a.crf, std::max(a.crf, b.crf - m_scale.step));
}

double CrfSearch::predicted() const
{
    return predictAt(chosen());
}

QList<std::pair<double, double>> SampleSpans(double start, double length, int count)
{
    const double each = std::clamp(length * 0.012, 0.5, 5.0);
    if (length <= 0)
        return {};
    if (length <= each * count * 2)
        return {{start, length}};
    QList<std::pair<double, double>> spans;
    for (int i = 0; i < count; ++i)
        spans.append({start + (i + 0.5) * length / count - each / 2, each});
    return spans;
}

QStringList SsimArguments(const QString &distorted, const QString &reference)
{
    return {QStringLiteral("-hide_banner"),
            QStringLiteral("-nostats"),
            QStringLiteral("-i"),
            distorted,
            QStringLiteral("-i"),
            reference,
            QStringLiteral("-lavfi"),
            QStringLiteral("[0:v][1:v]scale2ref=flags=bicubic[d][r];[d][r]ssim"),
            QStringLiteral("-f"),
            QStringLiteral("null"),
            QStringLiteral("-")};
}

std::optional<double> SsimFromReport(const QString &report)
{
    static const QRegularExpression pattern(QStringLiteral("SSIM .*All:([0-9.]+)"));
    QRegularExpressionMatchIterator it = pattern.globalMatch(report);
    std::optional<double> found;
    while (it.hasNext()) {
        bool ok = false;
        const double value = it.next().captured(1).toDouble(&ok);
        if (ok)
            found = value;
    }
    return found;
}

// ---------------------------------------------------------------------------

QualitySearch::QualitySearch(Request request, QObject *parent)
    : QObject(parent)
    , m_request(std::move(request))
    , m_videoOptions(videoOptions(m_request.params))
{
}

QualitySearch::~QualitySearch()
{
    abandon();
}

void QualitySearch::abandon()
{
    if (!m_engine)
        return;
    m_engine->disconnect(this);
    m_engine->killAndWait();
    std::exchange(m_engine, nullptr)->deleteLater();
}

void QualitySearch::suspend()
{
    m_suspended = true;
    if (m_engine)
        m_engine->suspendEngine();
}

void QualitySearch::resume()
{
    m_suspended = false;
    if (m_engine)
        m_engine->resumeEngine();
}

void QualitySearch::start()
{
    const std::optional<CrfScale> scale = CrfScaleFor(optionValue(m_request.params, VideoCodecOptions));
    if (!scale) {
        fail(Texts::tr("The profile's video encoder has no quality value to pick."));
        return;
    }
    if (!m_scratch.isValid() || m_request.spans.isEmpty()) {
        fail(Texts::tr("No samples of the input could be taken."));
        return;
    }
    bool own = false;
    const double start = optionValue(m_request.params, {QStringLiteral("-crf")}).toDouble(&own);
    m_search.emplace(m_request.target, *scale, own ? start : scale->start);

    // The samples, one after another, in one lossless file.
    QStringList arguments = {QStringLiteral("-y"), QStringLiteral("-hide_banner"), QStringLiteral("-nostats")};
    QString inputs;
    for (int i = 0; i < m_request.spans.size(); ++i) {
        arguments << QStringLiteral("-ss") << number(m_request.spans[i].first) << QStringLiteral("-t")
                  << number(m_request.spans[i].second) << QStringLiteral("-i") << m_request.input;
        inputs += QStringLiteral("[%1:v:0]").arg(i);
    }
    arguments << QStringLiteral("-filter_complex")
              << inputs + QStringLiteral("concat=n=%1:v=1:a=0[v]").arg(m_request.spans.size())
              << QStringLiteral("-map") << QStringLiteral("[v]") << QStringLiteral("-c:v") << QStringLiteral("ffv1")
              << QStringLiteral("-f") << QStringLiteral("matroska") << m_scratch.filePath(QStringLiteral("samples"));
    m_step = Cutting;
    launch(arguments);
}

void QualitySearch::launch(const QStringList &arguments)
{
    m_report.clear();
    m_engine = new EngineProcess(this);
    connect(m_engine, &EngineProcess::chunkRead, this, [this](const QString &text) {
        // Only the end of the report is read: the SSIM line, or the error.
        m_report = (m_report + text).right(16384);
    });
    connect(m_engine, &EngineProcess::ended, this, &QualitySearch::onEnded);
    connect(m_engine, &EngineProcess::failedToStart, this, [this](const QString &error) {
        std::exchange(m_engine, nullptr)->deleteLater();
        fail(Texts::tr("The engine could not be started: %1").arg(error));
    });
    EngineCommand command;
    command.arguments = arguments;
    command.text = arguments.join(QLatin1Char(' '));
    // A search paused meanwhile holds its next engine as soon as it runs.
    connect(m_engine, &EngineProcess::started, this, [this] {
        if (m_suspended)
            m_engine->suspendEngine();
    });
    m_engine->launch(m_request.enginePath, command);
}

void QualitySearch::onEnded(int exitCode, bool crashed)
{
    std::exchange(m_engine, nullptr)->deleteLater();
    if (exitCode != 0 || crashed) {
        const QStringList lines = m_report.trimmed().split(QLatin1Char('\n'));
        fail(Texts::tr("A sample could not be converted: %1").arg(lines.value(lines.size() - 1).trimmed()));
        return;
    }
    const QString samples = m_scratch.filePath(QStringLiteral("samples"));
    const QString probe = m_scratch.filePath(QStringLiteral("probe"));
    switch (m_step) {
    case Cutting:
        probeNext();
        return;
    case Encoding:
        m_step = Measuring;
        launch(SsimArguments(probe, samples));
        return;
    case Measuring:
        if (const std::optional<double> ssim = SsimFromReport(m_report)) {
            m_search->measured(m_crf, *ssim);
            probeNext();
        } else {
            fail(Texts::tr("The engine gave no SSIM for a sample."));
        }
        return;
    }
}

void QualitySearch::probeNext()
{
    const std::optional<double> crf = m_search->next();
    if (!crf) {
        emit finished();
        return;
    }
    m_crf = *crf;
    m_step = Encoding;
    launch(QStringList{QStringLiteral("-y"), QStringLiteral("-hide_banner"), QStringLiteral("-nostats"),
                       QStringLiteral("-i"), m_scratch.filePath(QStringLiteral("samples"))}
           + m_videoOptions
           + QStringList{QStringLiteral("-crf"), QString::number(m_crf, 'g', 4), QStringLiteral("-an"),
                         QStringLiteral("-f"), QStringLiteral("matroska"), m_scratch.filePath(QStringLiteral("probe"))});
}

void QualitySearch::fail(const QString &reason)
{
    m_failure = reason;
    emit finished();
}
