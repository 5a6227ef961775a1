#include "app/startupwarning.h"

#include "platform/logging.h"

StartupWarning::StartupWarning(IInteractive &boxes)
    : m_boxes(boxes)
{
}

void StartupWarning::open()
{
    m_holding = false;
    if (!m_up)
        handOnNext();
}

void StartupWarning::discard()
{
    m_held.erase(m_held.begin() + (m_up ? 1 : 0), m_held.end());
}

void StartupWarning::handOnNext()
{
    if (m_held.isEmpty())
        return;
    m_up = true;
    // A copy: the boxes may answer before they return.
    const Request request = m_held.constFirst();
    qCInfo(lcStart) << "held message handed on:" << request.caption;
    const auto next = [this](bool yes) {
        m_up = false;
        const Request answered = m_held.takeFirst();
        if (answered.reply)
            answered.reply(yes);
        if (!m_up)
            handOnNext();
    };
    if (request.question)
        m_boxes.ask(request.caption, request.text, request.enter, next);
    else
        m_boxes.showMessage(request.kind, request.caption, request.text, [next] { next(true); });
}

void StartupWarning::hold(Request request)
{
    m_held << std::move(request);
    if (!m_holding && !m_up)
        handOnNext();
}

void StartupWarning::showMessage(MessageKind kind, const QString &caption, const QString &text,
                                 std::function<void()> closed)
{
    if (!m_holding && m_held.isEmpty()) {
        m_boxes.showMessage(kind, caption, text, std::move(closed));
        return;
    }
    Request request{false, kind, DefaultAnswer::Yes, caption, text, {}};
    if (closed)
        request.reply = [closed = std::move(closed)](bool) { closed(); };
    hold(std::move(request));
}

void StartupWarning::ask(const QString &caption, const QString &text, DefaultAnswer enter,
                         std::function<void(bool)> answered)
{
    if (!m_holding && m_held.isEmpty()) {
        m_boxes.ask(caption, text, enter, std::move(answered));
        return;
    }
    hold({true, MessageKind::Information, enter, caption, text, std::move(answered)});
}
