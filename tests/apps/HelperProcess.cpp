#include "HelperProcess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QNetworkDatagram>
#include <QThread>

namespace {

constexpr quint16 kCommandPort = 3064;
constexpr quint16 kReplyPort = 3060;
constexpr int kPortRetryMs = 15000;

} // namespace

HelperProcess::HelperProcess()
    : m_portLock(QDir::temp().filePath(QStringLiteral("lumora-helper-udp-ports.lock")))
{
    // Longer than any test program may run, so that only a lock left by a killed run
    // counts as stale.
    m_portLock.setStaleLockTime(150000);
    m_portsLocked = m_portLock.tryLock(100000);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

HelperProcess::~HelperProcess()
{
    stop();
}

QString HelperProcess::buildDir()
{
    return qEnvironmentVariable("LM_BUILD_DIR", QStringLiteral(LM_TEST_BUILD_DIR));
}

QString HelperProcess::binary(const QString &name)
{
    return buildDir() + QStringLiteral("/bin/") + name;
}

QString HelperProcess::simLibrary()
{
#ifdef Q_OS_WIN
    return buildDir() + QStringLiteral("/bin/nvapi64.dll");
#else
    return buildDir() + QStringLiteral("/lib/liblm_nvapi_sim.so");
#endif
}

QProcessEnvironment HelperProcess::noDriverEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LM_NVAPI_LIBRARY"), QStringLiteral("/nonexistent/liblm_nvapi.so"));
    env.remove(QStringLiteral("LM_NVAPI_SIM_RIG"));
    return env;
}

QProcessEnvironment HelperProcess::simEnvironment(const QString &rigPath)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // No LM_NVAPI_LIBRARY: the helper finds the simulated driver beside itself.
    env.remove(QStringLiteral("LM_NVAPI_LIBRARY"));
    env.insert(QStringLiteral("LM_NVAPI_SIM_RIG"), rigPath);
    return env;
}

QString HelperProcess::eventLogPath() const
{
    return m_dir.filePath(QStringLiteral("events.log"));
}

bool HelperProcess::start(QProcessEnvironment env)
{
    stop();
    if (!m_portsLocked) {
        m_error = QStringLiteral("another test run keeps the UDP ports locked");
        return false;
    }
    env.insert(QStringLiteral("LM_HELPER_EVENT_LOG"), eventLogPath());
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    m_process.setProcessEnvironment(env);
    QDeadlineTimer deadline(kPortRetryMs);
    while (!deadline.hasExpired()) {
        QFile::remove(eventLogPath());
#ifdef Q_OS_WIN
        // Readiness is known by an answer here, and a helper left by another run would give
        // one: start ours only on a free port.
        if (!QUdpSocket().bind(
                QHostAddress::LocalHost, kCommandPort, QAbstractSocket::DontShareAddress)) {
            QThread::msleep(200);
            continue;
        }
#endif
        m_process.start(binary(QStringLiteral("lm_elevated_helper")), {});
        if (!m_process.waitForStarted(5000)) {
            m_error = m_process.errorString();
            return false;
        }
        if (waitUntilBound())
            return true;
        // Port still held by another helper (another test run): try again shortly.
        stop();
        QThread::msleep(200);
    }
    m_error = QStringLiteral("the helper could not bind UDP port 3064");
    return false;
}

bool HelperProcess::waitUntilBound()
{
#ifdef Q_OS_WIN
    // The Windows helper logs its binding to the system event log only; it is bound once it
    // answers. A helper that could not bind never does.
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired() && m_process.state() == QProcess::Running) {
        if (answersProbe(250))
            return true;
    }
#else
    QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired() && m_process.state() == QProcess::Running) {
        const QStringList lines = events();
        if (lines.contains(QStringLiteral("Binding to UDP port 3064: 1")))
            return true;
        if (lines.contains(QStringLiteral("Binding to UDP port 3064: 0")))
            break;
        QThread::msleep(10);
    }
#endif
    return false;
}

bool HelperProcess::answersProbe(int timeoutMs)
{
    // A word the helper does not know: answered "UnknownCmd", without any driver work.
    const QByteArray answer = QByteArrayLiteral("[FORWARDTO=ready-probe]UnknownCmd");
    QUdpSocket own;
    QUdpSocket *replies = &m_replySocket;
    if (m_replySocket.state() != QAbstractSocket::BoundState) {
        // The client tests leave the reply port to the client: hold it only while probing.
        if (!own.bind(QHostAddress::LocalHost, kReplyPort)) {
            QThread::msleep(50);
            return false;
        }
        replies = &own;
    }
    send(QByteArrayLiteral("[SOURCE=ready-probe]areYouReady\n"));
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (replies->hasPendingDatagrams()
            || replies->waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())))) {
            if (replies->receiveDatagram().data() == answer)
                return true;
        }
    }
    return false;
}

bool HelperProcess::isRunning() const
{
    return m_process.state() == QProcess::Running;
}

bool HelperProcess::waitForCleanExit(int ms)
{
    if (m_process.state() != QProcess::NotRunning && !m_process.waitForFinished(ms))
        return false;
    return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
}

void HelperProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
#ifdef Q_OS_WIN
    // wine keeps the port of a killed helper bound until its wineserver ends: ask ours to
    // end itself first (the ports are ours while the lock is held).
    send(QByteArrayLiteral("exit\n"));
    if (m_process.waitForFinished(5000))
        return;
#endif
    m_process.kill();
    m_process.waitForFinished(5000);
}

bool HelperProcess::bindReplyPort()
{
    if (!m_portsLocked) {
        m_error = QStringLiteral("another test run keeps the UDP ports locked");
        return false;
    }
    if (m_replySocket.state() == QAbstractSocket::BoundState)
        return true;
    QDeadlineTimer deadline(kPortRetryMs);
    while (!m_replySocket.bind(QHostAddress::LocalHost, kReplyPort)) {
        if (deadline.hasExpired()) {
            m_error = m_replySocket.errorString();
            return false;
        }
        QThread::msleep(50);
    }
    return true;
}

void HelperProcess::releaseReplyPort()
{
    m_replySocket.close();
}

void HelperProcess::send(const QByteArray &datagram)
{
    QUdpSocket sender;
    sender.writeDatagram(datagram, QHostAddress::LocalHost, kCommandPort);
}

QByteArray HelperProcess::nextReply(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!m_replySocket.hasPendingDatagrams()) {
        if (deadline.hasExpired())
            return QByteArray();
        m_replySocket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
    }
    return m_replySocket.receiveDatagram().data();
}

QByteArray HelperProcess::request(const QByteArray &datagram, int timeoutMs)
{
    drainReplies();
    send(datagram);
    // Replies to earlier requests of other sources may still be on their way.
    const QByteArray marker = "[SOURCE=";
    const qsizetype at = datagram.lastIndexOf(marker);
    const qsizetype end = at < 0 ? -1 : datagram.indexOf(']', at);
    const QByteArray expected = end < 0
        ? QByteArray("[FORWARDTO=")
        : "[FORWARDTO=" + datagram.mid(at + marker.size(), end - at - marker.size()) + ']';
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        const QByteArray reply = nextReply(int(qMax<qint64>(1, deadline.remainingTime())));
        if (reply.startsWith(expected))
            return reply;
    }
    return QByteArray();
}

void HelperProcess::drainReplies()
{
    while (m_replySocket.hasPendingDatagrams())
        m_replySocket.receiveDatagram();
}

QStringList HelperProcess::events() const
{
    QFile file(eventLogPath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool HelperProcess::waitForEvent(const QString &text, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    do {
        for (const QString &line : events()) {
            if (line.contains(text))
                return true;
        }
        QThread::msleep(10);
    } while (!deadline.hasExpired());
    return false;
}

bool HelperProcess::startOnRig(const QByteArray &json)
{
    // A new file per rig: the driver reads a rig again only when its name changes.
    const QString path = tempPath(QStringLiteral("rig%1.json").arg(++m_rigs));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(json) != json.size()) {
        m_error = QStringLiteral("cannot write ") + path;
        return false;
    }
    file.close();
    return start(simEnvironment(path));
}

bool HelperProcess::call(const QByteArray &command, const QByteArray &replyWord, QByteArray &block)
{
    const QByteArray reply = request(QByteArrayLiteral("[SOURCE=test]") + command);
    const QByteArray head = QByteArrayLiteral("[FORWARDTO=test]") + replyWord;
    if (!reply.startsWith(head))
        return false;
    block = reply.mid(head.size());
    return true;
}

bool HelperProcess::gpus(GpuList &list)
{
    QByteArray block;
    list = GpuList();
    return call(QByteArrayLiteral("getGpusInfo\n"), QByteArrayLiteral("gpusInfo"), block)
        && decodeWholeBlock(block, list);
}

QByteArray withLineFeeds(QByteArray text)
{
#ifdef Q_OS_WIN
    text.replace("\r\n", "\n");
#endif
    return text;
}

int runClient(const QStringList &arguments, QByteArray *out, QByteArray *err, int timeoutMs)
{
    QProcess client;
    client.start(HelperProcess::binary(QStringLiteral("lm_helper_client")), arguments);
    if (!client.waitForFinished(timeoutMs)) {
        client.kill();
        client.waitForFinished(2000);
        return -1;
    }
    if (out)
        *out = withLineFeeds(client.readAllStandardOutput());
    if (err)
        *err = withLineFeeds(client.readAllStandardError());
    return client.exitStatus() == QProcess::NormalExit ? client.exitCode() : -1;
}
