#include "scripted_ping.h"

#include <QFile>
#include <QHash>
#include <QTextStream>

namespace {
const char *kScript = R"sh(#!/bin/sh
d='%1'
code=$(cat "$d/exitcode" 2>/dev/null || echo 0)
delay=$(cat "$d/delay" 2>/dev/null || echo 0)
echo "start $$ $(date +%s%N)" >> "$d/events"
{ echo "$$ $#"; for a in "$@"; do printf '%s\n' "$a"; done; } >> "$d/args"
sleep "$delay"
echo "end $$ $(date +%s%N)" >> "$d/events"
exit "$code"
)sh";
}

ScriptedPing::ScriptedPing()
    : m_originalPath(qgetenv("PATH"))
{
    if (!m_dir.isValid() || !m_emptyDir.isValid())
        return;
    QFile script(m_dir.filePath(QStringLiteral("ping")));
    if (!script.open(QIODevice::WriteOnly))
        return;
    script.write(QString::fromLatin1(kScript).arg(m_dir.path()).toUtf8());
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    useStandIn();
    m_valid = true;
}

ScriptedPing::~ScriptedPing()
{
    qputenv("PATH", m_originalPath);
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

void ScriptedPing::reset()
{
    for (const char *name : {"exitcode", "delay", "events", "args"})
        QFile::remove(m_dir.filePath(QString::fromLatin1(name)));
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

void ScriptedPing::usePathWithoutStandIn()
{
    qputenv("PATH", m_originalPath);
}

void ScriptedPing::usePathWithoutAnyPing()
{
    qputenv("PATH", m_emptyDir.path().toUtf8());
}

void ScriptedPing::useStandIn()
{
    qputenv("PATH", m_dir.path().toUtf8() + ':' + m_originalPath);
}
