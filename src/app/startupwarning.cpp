#include "app/startupwarning.h"

#include "platform/logging.h"

#include <QGuiApplication>

StartupWarning::StartupWarning(IInteractive &boxes, QObject *parent)
    : QObject(parent)
    , m_boxes(boxes)
{
}

StartupWarning::~StartupWarning()
{
    delete m_box;
}

void StartupWarning::open(QWidget *owner)
{
    m_holding = false;
    m_owner = owner;
    if (!m_held.isEmpty())
        openNext();
}

void StartupWarning::discard()
{
    // The box that is up is the first one; it goes when it is closed.
    m_held.erase(m_held.begin() + (m_box ? 1 : 0), m_held.end());
}

void StartupWarning::openNext()
{
    const Message &message = m_held.constFirst();
    auto *box = new QMessageBox(message.icon, message.caption, message.text, QMessageBox::Ok, m_owner);
    box->setObjectName(QStringLiteral("messageBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    m_box = box;
    connect(box, &QDialog::finished, this, [this] {
        m_box = nullptr;
        m_held.removeFirst();
        if (!m_held.isEmpty())
            openNext();
    });
    qCInfo(lcStart) << "message opened:" << message.caption;
    box->open();
}

void StartupWarning::show(const Message &message)
{
    if (m_holding) {
        m_held << message;
        return;
    }
    switch (message.icon) {
    case QMessageBox::Information:
        m_boxes.information(message.caption, message.text);
        break;
    case QMessageBox::Warning:
        m_boxes.warning(message.caption, message.text);
        break;
    case QMessageBox::Critical:
        m_boxes.error(message.text);
        break;
    default:
        m_boxes.plainMessage(message.text);
    }
}

void StartupWarning::information(const QString &caption, const QString &text)
{
    show({QMessageBox::Information, caption, text});
}

void StartupWarning::warning(const QString &caption, const QString &text)
{
    show({QMessageBox::Warning, caption, text});
}

void StartupWarning::plainMessage(const QString &text)
{
    show({QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(), text});
}

bool StartupWarning::question(const QString &caption, const QString &text)
{
    return m_boxes.question(caption, text);
}

bool StartupWarning::questionDefaultNo(const QString &caption, const QString &text)
{
    return m_boxes.questionDefaultNo(caption, text);
}

void StartupWarning::error(const QString &text)
{
    show({QMessageBox::Critical, QGuiApplication::applicationDisplayName(), text});
}
