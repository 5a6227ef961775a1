#include "app/pendingstart.h"

#include <QCoreApplication>

QString PendingStart::waitingText()
{
    return QCoreApplication::translate("PendingStart", "Waiting for the files being added\u2026");
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
