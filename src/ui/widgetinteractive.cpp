#include "ui/widgetinteractive.h"

#include <QGuiApplication>
#include <QMessageBox>

namespace {

QMessageBox::StandardButton ShowBox(QWidget *owner, QMessageBox::Icon icon, const QString &caption,
                                    const QString &text, QMessageBox::StandardButtons buttons,
                                    QMessageBox::StandardButton defaultButton)
{
    QMessageBox box(icon, caption, text, buttons, owner);
    box.setObjectName(QStringLiteral("messageBox"));
    box.setDefaultButton(defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

} // namespace

WidgetInteractive::WidgetInteractive(QWidget *owner)
    : m_owner(owner)
{
}

void WidgetInteractive::setOwner(QWidget *owner)
{
    m_owner = owner;
}

void WidgetInteractive::information(const QString &caption, const QString &text)
{
    ShowBox(m_owner, QMessageBox::Information, caption, text, QMessageBox::Ok, QMessageBox::Ok);
}

void WidgetInteractive::warning(const QString &caption, const QString &text)
{
    ShowBox(m_owner, QMessageBox::Warning, caption, text, QMessageBox::Ok, QMessageBox::Ok);
}

void WidgetInteractive::plainMessage(const QString &text)
{
    ShowBox(m_owner, QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(), text, QMessageBox::Ok,
            QMessageBox::Ok);
}

bool WidgetInteractive::question(const QString &caption, const QString &text)
{
    return ShowBox(m_owner, QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No,
                   QMessageBox::Yes)
           == QMessageBox::Yes;
}

bool WidgetInteractive::questionDefaultNo(const QString &caption, const QString &text)
{
    return ShowBox(m_owner, QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No,
                   QMessageBox::No)
           == QMessageBox::Yes;
}

void WidgetInteractive::error(const QString &text)
{
    ShowBox(m_owner, QMessageBox::Critical, QGuiApplication::applicationDisplayName(), text, QMessageBox::Ok,
            QMessageBox::Ok);
}

void WidgetInteractive::showMessage(MessageKind kind, const QString &caption, const QString &text,
                                    std::function<void()> closed)
{
    QMessageBox::Icon icon = QMessageBox::Information;
    QString title = caption;
    switch (kind) {
    case MessageKind::Information: break;
    case MessageKind::Warning: icon = QMessageBox::Warning; break;
    case MessageKind::Plain:
        icon = QMessageBox::NoIcon;
        title = QGuiApplication::applicationDisplayName();
        break;
    case MessageKind::Error:
        icon = QMessageBox::Critical;
        title = QGuiApplication::applicationDisplayName();
        break;
    }
    auto *box = new QMessageBox(icon, title, text, QMessageBox::Ok, m_owner);
    box->setObjectName(QStringLiteral("messageBox"));
    box->setDefaultButton(QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    if (closed)
        QObject::connect(box, &QMessageBox::finished, box, [closed = std::move(closed)](int) { closed(); });
    box->open();
}
