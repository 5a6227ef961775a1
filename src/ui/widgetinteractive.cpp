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
