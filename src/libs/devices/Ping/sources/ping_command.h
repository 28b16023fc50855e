#pragma once

#include <QString>
#include <QStringList>

class QProcess;

// The local ping command for one echo request with a one-second reply timeout. Its
// platform sides are ping_command_win.cpp and ping_command_unix.cpp.
namespace PingCommand {

// The program probes start unless another is set: ping.exe by its full path in the system
// folder on Windows, ping on PATH elsewhere.
QString defaultProgram();
// Arguments of one probe of host.
QStringList arguments(const QString &host);
// Whether ping would read host as an option rather than as a host.
bool isOptionLike(const QString &host);
// Whether a probe that ended with exitCode reached the host; process has just finished.
bool isReachable(int exitCode, QProcess &process);

} // namespace PingCommand
