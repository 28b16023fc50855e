#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <QTemporaryDir>

// A stand-in "ping" program put first on PATH: exits with a chosen code after a chosen
// delay and records every call, so probes can be checked without touching the network.
class ScriptedPing
{
public:
    struct Call
    {
        QStringList arguments;
        qint64 startNs = 0;
        qint64 endNs = 0; // 0 while running or when killed
    };

    ScriptedPing();
    ~ScriptedPing();

    bool isValid() const { return m_valid; }
    QString directory() const { return m_dir.path(); }

    void setExitCode(int code);
    void setDelay(double seconds);
    // Forget earlier calls and go back to exit code 0 without delay.
    void reset();
    QList<Call> calls() const;

    // PATH without the stand-in (for a real probe) or with nothing that holds "ping".
    void usePathWithoutStandIn();
    void usePathWithoutAnyPing();
    void useStandIn();

private:
    void writeFile(const QString &name, const QByteArray &content);

    QTemporaryDir m_dir;
    QTemporaryDir m_emptyDir;
    QByteArray m_originalPath;
    bool m_valid = false;
};
