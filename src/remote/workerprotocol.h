#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <optional>

// The stream between the controller and a worker (vantorix --worker), both
// ways a series of frames: a line "TYPE SIZE\n" and SIZE bytes. The worker
// first writes Greeting; whatever a login script printed before it is passed
// over. Controller to worker: "task" (JSON: the engine's arguments, the input
// and output paths as the controller names them, the input's size and
// SHA-256), then "data" frames and a "data-end" when the worker asked for the
// input's bytes, and at any time "pause", "resume" or "stop". Worker to
// controller: "input" (JSON: whether it reads the input in place), "started",
// "out" (the engine's output as it comes), "result" (JSON: the engine's exit,
// whether a failure is the host's, the output's size and SHA-256), then the
// output's bytes as "data" frames and "data-end". The controller sends a
// "tick" every TickMs; the worker's input ending, or no frame for
// SilenceMs (a host cut off from its controller), ends its engine at once.
namespace WorkerProtocol {

inline constexpr char Greeting[] = "vantorix-worker 1\n";
// The largest frame a reader takes: a bigger one is a damaged stream.
inline constexpr qsizetype MaxPayload = 4 * 1024 * 1024;
inline constexpr int TickMs = 10 * 1000;
inline constexpr int SilenceMs = 60 * 1000;
// How many bytes of a file go into one "data" frame.
inline constexpr qsizetype DataChunk = 1024 * 1024;

QByteArray Frame(const QByteArray &type, const QByteArray &payload = QByteArray());
QByteArray Frame(const QByteArray &type, const QJsonObject &object);

struct Message
{
    QByteArray type;
    QByteArray payload;
    QJsonObject json() const;
};

// Takes the bytes of the stream as they come and gives its frames back.
class Reader
{
public:
    // A reader of the worker's side waits for the greeting first.
    explicit Reader(bool awaitGreeting) : m_greeted(!awaitGreeting) {}
    void feed(const QByteArray &bytes) { m_buffer += bytes; }
    // The next whole frame, if one is there; none once the stream is damaged.
    std::optional<Message> next();
    bool damaged() const { return !m_damage.isEmpty(); }
    QString damage() const { return m_damage; }
    // What came before the greeting (a login script's words), for a message.
    QByteArray noise() const { return m_greeted ? QByteArray() : m_buffer.left(2000); }

private:
    QByteArray m_buffer;
    bool m_greeted;
    QString m_damage;
};

} // namespace WorkerProtocol
