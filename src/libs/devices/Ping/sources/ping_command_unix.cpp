#include "ping_command.h"

#include <QProcess>

QString PingCommand::defaultProgram()
{
    return QStringLiteral("ping");
}

QStringList PingCommand::arguments(const QString &host)
{
    return {
        QStringLiteral("-c"), QStringLiteral("1"), QStringLiteral("-W"), QStringLiteral("1"), host};
}

bool PingCommand::isOptionLike(const QString &host)
{
    return host.startsWith(QLatin1Char('-'));
}

bool PingCommand::isReachable(int exitCode, QProcess &process)
{
    // ping exits 0 only when an echo reply came back; its output is not needed.
    Q_UNUSED(process)
    return exitCode == 0;
}
