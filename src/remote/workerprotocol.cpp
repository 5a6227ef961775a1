#include "remote/workerprotocol.h"

#include <QCoreApplication>
#include <QJsonDocument>

namespace WorkerProtocol {

QByteArray Frame(const QByteArray &type, const QByteArray &payload)
{
    return type + ' ' + QByteArray::number(payload.size()) + '\n' + payload;
}

QByteArray Frame(const QByteArray &type, const QJsonObject &object)
{
    return Frame(type, QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QJsonObject Message::json() const
{
    return QJsonDocument::fromJson(payload).object();
}

std::optional<Message> Reader::next()
{
    if (damaged())
        return std::nullopt;
    if (!m_greeted) {
        const qsizetype at = m_buffer.indexOf(Greeting);
        if (at < 0) {
            // A login script may talk, but not for ever.
            if (m_buffer.size() > 64 * 1024)
                m_damage = QCoreApplication::translate("WorkerProtocol", "no worker answered");
            return std::nullopt;
        }
        m_buffer.remove(0, at + qstrlen(Greeting));
        m_greeted = true;
    }
    const qsizetype end = m_buffer.indexOf('\n');
    if (end < 0) {
        if (m_buffer.size() > 64)
            m_damage = QCoreApplication::translate("WorkerProtocol", "a frame without its head");
        return std::nullopt;
    }
    const QByteArray head = m_buffer.left(end);
    const qsizetype blank = head.indexOf(' ');
    bool number = false;
    const qsizetype size = blank < 0 ? -1 : head.mid(blank + 1).toLongLong(&number);
    if (blank <= 0 || !number || size < 0 || size > MaxPayload) {
        m_damage = QCoreApplication::translate("WorkerProtocol", "a damaged frame head \"%1\"").arg(QString::fromLatin1(head.left(40)));
        return std::nullopt;
    }
    if (m_buffer.size() < end + 1 + size)
        return std::nullopt;
    Message message{head.left(blank), m_buffer.mid(end + 1, size)};
    m_buffer.remove(0, end + 1 + size);
    return message;
}

} // namespace WorkerProtocol
