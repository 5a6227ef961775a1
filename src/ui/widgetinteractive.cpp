#include "ui/widgetinteractive.h"

#include "platform/logging.h"

#include <QAbstractButton>
#include <QGuiApplication>

#include <memory>
#include <utility>

WidgetInteractive::WidgetInteractive(QWidget *owner)
    : m_owner(owner)
{
}

WidgetInteractive::~WidgetInteractive()
{
    // A box that outlives its queue would answer into nothing.
    if (QMessageBox *box = std::exchange(m_box, nullptr)) {
        box->disconnect();
        delete box;
    }
}

void WidgetInteractive::setOwner(QWidget *owner)
{
    m_owner = owner;
}

void WidgetInteractive::showMessage(MessageKind kind, const QString &caption, const QString &text,
                                    std::function<void()> closed)
{
    Request request;
    request.caption = caption;
    request.text = text;
    switch (kind) {
    case MessageKind::Information: request.icon = QMessageBox::Information; break;
    case MessageKind::Warning: request.icon = QMessageBox::Warning; break;
    case MessageKind::Plain:
        request.icon = QMessageBox::NoIcon;
        request.caption = QGuiApplication::applicationDisplayName();
        break;
    case MessageKind::Error:
        request.icon = QMessageBox::Critical;
        request.caption = QGuiApplication::applicationDisplayName();
        break;
    }
    if (closed)
        request.replies << [closed = std::move(closed)](bool) { closed(); };
    enqueue(std::move(request));
}

void WidgetInteractive::ask(const QString &caption, const QString &text, DefaultAnswer enter,
                            std::function<void(bool)> answered)
{
    Request request{QMessageBox::Question, caption, text, true, enter, {}};
    if (answered)
        request.replies << std::move(answered);
    enqueue(std::move(request));
}

void WidgetInteractive::discard()
{
    m_requests.erase(m_requests.begin() + (m_box ? 1 : 0), m_requests.end());
}

void WidgetInteractive::enqueue(Request request)
{
    for (Request &same : m_requests) {
        if (same.icon == request.icon && same.question == request.question && same.caption == request.caption
            && same.text == request.text) {
            same.replies << request.replies;
            return;
        }
    }
    m_requests << std::move(request);
    if (!m_box)
        openNext();
}

void WidgetInteractive::openNext()
{
    if (m_requests.isEmpty())
        return;
    const Request &request = m_requests.constFirst();
    const QMessageBox::StandardButtons buttons =
        request.question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok;
    auto *box = new QMessageBox(request.icon, request.caption, request.text, buttons, m_owner);
    box->setObjectName(QStringLiteral("messageBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setDefaultButton(!request.question                           ? QMessageBox::Ok
                          : request.enter == DefaultAnswer::No ? QMessageBox::No
                                                               : QMessageBox::Yes);
    m_box = box;
    // Yes is known from the button clicked; a box closed otherwise says No.
    auto yes = std::make_shared<bool>(false);
    QObject::connect(box, &QMessageBox::buttonClicked, box,
                     [box, yes](QAbstractButton *button) { *yes = button == box->button(QMessageBox::Yes); });
    QObject::connect(box, &QDialog::finished, box, [this, yes](int) { onFinished(*yes); });
    // Gone with its window before it was answered: nobody is asked any more
    // about it, and the next one may come.
    // Gone with its window before it was answered: what waits was for that
    // window too, and nobody is told.
    QObject::connect(box, &QObject::destroyed, [this, box] {
        if (m_box != box)
            return;
        m_box = nullptr;
        m_requests.clear();
    });
    qCInfo(lcStart) << "message opened:" << request.caption;
    box->open();
}

void WidgetInteractive::onFinished(bool yes)
{
    // Closed: it goes later, and tells nobody then.
    QObject::disconnect(std::exchange(m_box, nullptr), &QObject::destroyed, nullptr, nullptr);
    const Request answered = m_requests.takeFirst();
    for (const auto &reply : answered.replies)
        reply(yes);
    if (!m_box)
        openNext();
}
