#include "LMLogLink.h"

#include <QDir>

#include <qt_windows.h>

#include <string>

void lmlogfs::replaceLink(const QString &linkPath, const QString &target)
{
    const std::wstring link = QDir::toNativeSeparators(linkPath).toStdWString();
    // Windows resolves only backslashes in a link's target.
    const std::wstring to = QDir::toNativeSeparators(target).toStdWString();
    // DeleteFileW removes a symbolic link itself, never its target.
    ::DeleteFileW(link.c_str());
    // Without administrator rights a link needs the unprivileged flag (and the
    // developer mode); Windows before 10 1703 refuses that flag as an invalid
    // parameter, and there only an administrator can make the link anyway.
    if (!::CreateSymbolicLinkW(
            link.c_str(), to.c_str(), SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE)
        && ::GetLastError() == ERROR_INVALID_PARAMETER) {
        ::CreateSymbolicLinkW(link.c_str(), to.c_str(), 0);
    }
}
