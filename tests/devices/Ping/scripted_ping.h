#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <QTemporaryDir>

// A stand-in for ping that the workers start instead of the system's (PingWorker::setProgram):
// exits with a chosen code after a chosen delay, prints a chosen output and records every
// call, so probes can be checked without touching the network. The program is
// lm_scripted_ping, built beside the tests.
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
    QString program() const { return m_program; }

    void setExitCode(int code);
    void setDelay(double seconds);
    // What the stand-in prints, as ping prints its replies.
    void setOutput(const QByteArray &output);
    // ping's output for an answered echo request.
    static QByteArray echoReply();
    // Forget earlier calls and go back to exit code 0 with an echo reply, without delay.
    void reset();
    QList<Call> calls() const;

    // Workers created from now on start the system's ping, a program that does not
    // exist, or the stand-in.
    void useSystemPing();
    void useMissingProgram();
    void useStandIn();

private:
    void writeFile(const QString &name, const QByteArray &content);

    QTemporaryDir m_dir;
    QTemporaryDir m_emptyDir;
    QString m_program;
    bool m_valid = false;
};
