#include "app/displaycheck.h"

#include <xcb/xcb.h>

namespace {

bool xcbConnects()
{
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    const bool usable = connection && xcb_connection_has_error(connection) == 0;
    if (connection)
        xcb_disconnect(connection);
    return usable;
}

bool waylandThere()
{
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

} // namespace

bool DisplayAvailable(const QStringList &arguments)
{
    QString platform = QString::fromLocal8Bit(qgetenv("QT_QPA_PLATFORM"));
    const qsizetype option = arguments.indexOf(QStringLiteral("-platform"));
    if (option >= 0 && option + 1 < arguments.size())
        platform = arguments[option + 1];
    if (platform.trimmed().isEmpty())
        return xcbConnects() || waylandThere();
    // A list such as "wayland;xcb" is tried in order; a platform's options
    // follow its name after a colon.
    for (const QString &entry : platform.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString name = entry.section(QLatin1Char(':'), 0, 0).trimmed();
        if (name == QLatin1String("xcb")) {
            if (xcbConnects())
                return true;
        } else if (name.startsWith(QLatin1String("wayland"))) {
            if (waylandThere())
                return true;
        } else {
            return true; // offscreen, minimal, vnc, eglfs, ...: no display server to ask
        }
    }
    return false;
}
