#pragma once

#include <QString>

// Opens a file, a folder or an address the way the desktop does.
class IShell
{
public:
    virtual ~IShell() = default;
    // Opens a local path (file or folder) with its default application.
    virtual bool openPath(const QString &path) = 0;
    // Opens a web or mail address.
    virtual bool openAddress(const QString &address) = 0;
};

class DesktopShell final : public IShell
{
public:
    bool openPath(const QString &path) override;
    bool openAddress(const QString &address) override;
};
