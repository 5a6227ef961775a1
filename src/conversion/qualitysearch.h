#pragma once

#include "conversion/enginecommand.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <optional>

class EngineProcess;

// The quality value (CRF) of the encoders that have one, as a search moves
// over it: a lower value is a better picture.
struct CrfScale
{
    double low = 0;
    double high = 51;
    double start = 23; // where the search begins when the profile names none
    double step = 0.1; // the finest value the encoder takes
    double jump = 6;   // the second probe's distance from the first
    double close = 1;  // a bracket this narrow is interpolated without more probes
    double slope = 0.045; // how much -log10(1 - SSIM) falls per CRF, typically
};

// The scale of an encoder (libx264, libx265, libsvtav1, libaom-av1); nothing
// for an encoder without one.
std::optional<CrfScale> CrfScaleFor(const QString &encoder);

// The engine value of a profile's "Quality: SSIM" row (" -target_ssim 0.985").
// The engine never sees the option: a task's command has the CRF the search
// chose in its place.
inline constexpr char TargetSsimOption[] = "-target_ssim";

// The SSIM a parameter string asks for (0 < SSIM < 1); nothing when none.
std::optional<double> TargetSsim(const QString &params);
// `params` without its "-target_ssim" option.
QString WithoutTargetSsim(const QString &params);
// `params` converting at `crf`: its own "-crf" and video bit rate give way.
QString WithCrf(const QString &params, double crf);

// Picks the CRF whose SSIM against the source is at least a target, from
// measurements at a few CRFs (each a probe): the first at the start value,
// the second where the encoder's typical slope puts the target, then each
// where the measurements around the target put it, interpolated on
// log(1 - SSIM), which is close to linear in the CRF. Ends once a probe
// lands just above the target, the bracket is narrow (CrfScale::close), or
// after `maxProbes`. Plain logic: the caller measures.
class CrfSearch
{
public:
    static constexpr int MaxProbes = 6;
    // A probe this close above the target ends the search.
    static constexpr double Tolerance = 0.001;

    CrfSearch(double target, const CrfScale &scale, double start, int maxProbes = MaxProbes);

    // The CRF to measure next; nothing once the search is over.
    std::optional<double> next() const { return m_next; }
    // The SSIM measured at `crf`.
    void measured(double crf, double ssim);

    int probes() const { return static_cast<int>(m_points.size()); }
    // The CRF to convert with: the highest the measurements predict to reach
    // the target, on the encoder's steps; the lowest probed when none does.
    double chosen() const;
    // The SSIM predicted at chosen().
    double predicted() const;

private:
    struct Point
    {
        double crf;
        double ssim;
    };
    // The highest CRF that reached the target and the lowest above it that
    // did not; -1 where there is none.
    std::pair<int, int> bracket() const;
    std::optional<double> plan() const;
    double predictAt(double crf) const;

    double m_target;
    CrfScale m_scale;
    int m_maxProbes;
    QList<Point> m_points; // by CRF
    std::optional<double> m_next;
};

// Where the search takes its samples of an input range: `count` spans spread
// evenly over it, each a small share of it (at least half a second, at most
// five), or the whole range when it is short.
QList<std::pair<double, double>> SampleSpans(double start, double length, int count = 4);

// The engine's arguments measuring the SSIM of `distorted` against
// `reference` (scaled to its size first), and the figure the engine's report
// gives ("All:"); nothing when the report has none.
QStringList SsimArguments(const QString &distorted, const QString &reference);
std::optional<double> SsimFromReport(const QString &report);

// Runs the search for one input with the engine, without blocking: the
// samples are cut out once (lossless), then each probe encodes them with the
// profile's video options at its CRF and measures them against the cut. The
// engines run one after another as child processes; finished() follows the
// last. Deleting the search kills a running engine and removes its files.
class QualitySearch final : public QObject
{
    Q_OBJECT
public:
    struct Request
    {
        QString enginePath;
        QString input;
        QList<std::pair<double, double>> spans; // (start, seconds) of each sample
        QString params;                         // the task's parameter string
        double target = 0;
    };

    explicit QualitySearch(Request request, QObject *parent = nullptr);
    ~QualitySearch() override;
    Q_DISABLE_COPY_MOVE(QualitySearch)

    void start();
    // Kills a running engine at once and emits nothing more.
    void abandon();
    // Holds the running engine, and each one after it until resumed.
    void suspend();
    void resume();

    // Once finished: empty when a CRF was chosen, else why not, as a sentence.
    QString failure() const { return m_failure; }
    double chosen() const { return m_search ? m_search->chosen() : 0; }
    double predicted() const { return m_search ? m_search->predicted() : 0; }
    int probes() const { return m_search ? m_search->probes() : 0; }

signals:
    void finished();

private:
    enum Step { Cutting, Encoding, Measuring };
    void launch(const QStringList &arguments);
    void onEnded(int exitCode, bool crashed);
    void probeNext();
    void fail(const QString &reason);

    Request m_request;
    QStringList m_videoOptions;
    std::optional<CrfSearch> m_search;
    QTemporaryDir m_scratch;
    EngineProcess *m_engine = nullptr;
    Step m_step = Cutting;
    double m_crf = 0;
    bool m_suspended = false;
    QString m_report;
    QString m_failure;
};
