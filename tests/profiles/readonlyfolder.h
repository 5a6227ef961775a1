#pragma once
// Makes the program take a folder as read-only, which permission bits cannot
// do for root, and points the user's configuration folder at a temporary one.

#include "profiles/userfolder.h"

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QTemporaryDir>

class ReadOnlyProgramFolder final
{
public:
    // Every folder whose path starts with readOnlyFolder counts as read-only.
    explicit ReadOnlyProgramFolder(const QString &readOnlyFolder)
        : m_oldConfigHome(qgetenv("XDG_CONFIG_HOME"))
        , m_hadConfigHome(qEnvironmentVariableIsSet("XDG_CONFIG_HOME"))
    {
        const QString prefix = QDir::cleanPath(readOnlyFolder);
        SetFolderWritableTest([prefix](const QString &folder) { return !QDir::cleanPath(folder).startsWith(prefix); });
        qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
    }
    ~ReadOnlyProgramFolder()
    {
        SetFolderWritableTest({});
        if (m_hadConfigHome)
            qputenv("XDG_CONFIG_HOME", m_oldConfigHome);
        else
            qunsetenv("XDG_CONFIG_HOME");
    }
    ReadOnlyProgramFolder(const ReadOnlyProgramFolder &) = delete;
    ReadOnlyProgramFolder &operator=(const ReadOnlyProgramFolder &) = delete;

    // The user's configuration folder for the program: <config>/Vantorix/.
    QString userFolder() const { return m_config.path() + QStringLiteral("/Vantorix/"); }

private:
    QTemporaryDir m_config;
    QByteArray m_oldConfigHome;
    bool m_hadConfigHome;
};
