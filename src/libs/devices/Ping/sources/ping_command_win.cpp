#include "ping_command.h"

#include <QProcess>

#include <windows.h>

#include <vector>

QString PingCommand::defaultProgram()
{
    // A bare "ping" would be looked up in the program's folder and the current folder
    // before the system folder, so a ping.exe left in either would run instead.
    const UINT size = GetSystemDirectoryW(nullptr, 0);
    if (size == 0)
        return QString(); // fails to start: reported unreachable, never a bare name
    std::vector<wchar_t> folder(size);
    const UINT length = GetSystemDirectoryW(folder.data(), size);
    if (length == 0 || length >= size)
        return QString();
    return QString::fromWCharArray(folder.data(), int(length)) + QStringLiteral("\\ping.exe");
}

QStringList PingCommand::arguments(const QString &host)
{
    return {QStringLiteral("-n"), QStringLiteral("1"), QStringLiteral("-w"), QStringLiteral("1000"),
        host};
}

bool PingCommand::isOptionLike(const QString &host)
{
    // Windows' ping also takes "/t" and the like as options.
    return host.startsWith(QLatin1Char('-')) || host.startsWith(QLatin1Char('/'));
}

bool PingCommand::isReachable(int exitCode, QProcess &process)
{
    // ping exits 0 as well when a router answers "Destination host unreachable"; only the
    // line of an echo reply carries "TTL=".
    const QByteArray output = process.readAllStandardOutput();
    return exitCode == 0 && output.contains("TTL=");
}
