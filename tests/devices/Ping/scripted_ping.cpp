#include "scripted_ping.h"

#include "ping_worker.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTextStream>

namespace {
#ifdef Q_OS_WIN
const char kExeSuffix[] = ".exe";
#else
const char kExeSuffix[] = "";
#endif
} // namespace

ScriptedPing::ScriptedPing()
    : m_program(QCoreApplication::applicationDirPath() + QStringLiteral("/lm_scripted_ping")
        + QLatin1String(kExeSuffix))
{
    if (!m_dir.isValid() || !m_emptyDir.isValid() || !QFileInfo(m_program).isExecutable())
        return;
    // The stand-in finds its script through its environment, which it inherits.
    qputenv("LM_SCRIPTED_PING_DIR", QDir::toNativeSeparators(m_dir.path()).toLocal8Bit());
    reset();
    useStandIn();
    m_valid = true;
}

ScriptedPing::~ScriptedPing()
{
    PingWorker::setProgram(QString());
    qunsetenv("LM_SCRIPTED_PING_DIR");
}

void ScriptedPing::writeFile(const QString &name, const QByteArray &content)
{
    QFile f(m_dir.filePath(name));
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(content);
}

void ScriptedPing::setExitCode(int code)
{
    writeFile(QStringLiteral("exitcode"), QByteArray::number(code));
}

void ScriptedPing::setDelay(double seconds)
{
    writeFile(QStringLiteral("delay"), QByteArray::number(seconds, 'f', 2));
}

void ScriptedPing::setOutput(const QByteArray &output)
{
    writeFile(QStringLiteral("output"), output);
}

QByteArray ScriptedPing::echoReply()
{
#ifdef Q_OS_WIN
    return QByteArrayLiteral("\r\nPinging 127.0.0.1 with 32 bytes of data:\r\n"
                             "Reply from 127.0.0.1: bytes=32 time<1ms TTL=128\r\n");
#else
    return QByteArrayLiteral("PING 127.0.0.1 (127.0.0.1) 56(84) bytes of data.\n"
                             "64 bytes from 127.0.0.1: icmp_seq=1 ttl=64 time=0.05 ms\n");
#endif
}

void ScriptedPing::reset()
{
    for (const char *name : {"exitcode", "delay", "events", "args"})
        QFile::remove(m_dir.filePath(QString::fromLatin1(name)));
    setOutput(echoReply());
}

QList<ScriptedPing::Call> ScriptedPing::calls() const
{
    QList<Call> result;
    QHash<QString, int> byPid;

    QFile args(m_dir.filePath(QStringLiteral("args")));
    if (args.open(QIODevice::ReadOnly)) {
        QTextStream in(&args);
        while (!in.atEnd()) {
            const QStringList head = in.readLine().split(QLatin1Char(' '));
            if (head.size() != 2)
                break;
            Call call;
            const int count = head.at(1).toInt();
            for (int i = 0; i < count && !in.atEnd(); ++i)
                call.arguments << in.readLine();
            byPid.insert(head.at(0), int(result.size()));
            result << call;
        }
    }

    QFile events(m_dir.filePath(QStringLiteral("events")));
    if (events.open(QIODevice::ReadOnly)) {
        QTextStream in(&events);
        while (!in.atEnd()) {
            const QStringList f = in.readLine().split(QLatin1Char(' '));
            if (f.size() != 3 || !byPid.contains(f.at(1)))
                continue;
            Call &call = result[byPid.value(f.at(1))];
            (f.at(0) == QLatin1String("start") ? call.startNs : call.endNs) = f.at(2).toLongLong();
        }
    }
    return result;
}

void ScriptedPing::useSystemPing()
{
    PingWorker::setProgram(QString());
}

void ScriptedPing::useMissingProgram()
{
    PingWorker::setProgram(m_emptyDir.filePath(QStringLiteral("ping")) + QLatin1String(kExeSuffix));
}

void ScriptedPing::useStandIn()
{
    PingWorker::setProgram(m_program);
}
