#include "app/pendingstart.h"

QString PendingStart::waitingText()
{
    return QStringLiteral("Waiting for the files being added\u2026");
}

PendingStart::PendingStart(QObject *parent)
    : QObject(parent)
{
}

void PendingStart::wait()
{
    m_waiting = true;
}

void PendingStart::addingFinished()
{
    if (!m_waiting)
        return;
    m_waiting = false;
    emit start();
}

void PendingStart::cancel()
{
    if (!m_waiting)
        return;
    m_waiting = false;
    emit cancelled();
}
