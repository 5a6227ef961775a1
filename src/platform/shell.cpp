#include "platform/shell.h"

#include <QDesktopServices>
#include <QUrl>

bool DesktopShell::openPath(const QString &path)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool DesktopShell::openAddress(const QString &address)
{
    return QDesktopServices::openUrl(QUrl(address));
}
