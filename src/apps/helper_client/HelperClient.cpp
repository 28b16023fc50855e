#include "HelperClient.h"

#include <QDeadlineTimer>
#include <QNetworkDatagram>
#include <QThread>
#include <QUdpSocket>

HelperClient::HelperClient(const QByteArray &source, int timeoutMs)
    : m_source(source)
    , m_timeoutMs(timeoutMs)
{ }

HelperClient::Result HelperClient::send(const QByteArray &command)
{
    QUdpSocket socket;
    const QByteArray datagram = QByteArrayLiteral("[SOURCE=") + m_source + ']' + command;
    if (socket.writeDatagram(datagram, QHostAddress::LocalHost, kCommandPort) != datagram.size()) {
        m_error = QStringLiteral("cannot send to UDP port %1: %2")
                      .arg(kCommandPort)
                      .arg(socket.errorString());
        return Result::NetworkError;
    }
    return Result::Ok;
}

HelperClient::Result HelperClient::exchange(
    const QByteArray &command, const QByteArray &expectedWord, QByteArray &block)
{
    QDeadlineTimer deadline(m_timeoutMs);
    QUdpSocket socket;
    // Another receiver may be letting go of the reply port; keep trying until the deadline.
    while (!socket.bind(QHostAddress::LocalHost, kReplyPort)) {
        if (deadline.hasExpired()) {
            m_error = QStringLiteral("cannot bind UDP port %1: %2")
                          .arg(kReplyPort)
                          .arg(socket.errorString());
            return Result::NetworkError;
        }
        QThread::msleep(20);
    }
    const Result sent = send(command);
    if (sent != Result::Ok)
        return sent;

    const QByteArray marker = QByteArrayLiteral("[FORWARDTO=") + m_source + ']';
    while (!deadline.hasExpired()) {
        if (!socket.hasPendingDatagrams()
            && !socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            continue;
        while (socket.hasPendingDatagrams()) {
            const QByteArray reply = socket.receiveDatagram().data();
            if (!reply.startsWith(marker))
                continue; // meant for somebody else
            const QByteArray rest = reply.mid(marker.size());
            if (!rest.startsWith(expectedWord)) {
                m_error
                    = QStringLiteral("unexpected reply from the helper: \"%1\" (expected \"%2\")")
                          .arg(QString::fromUtf8(rest.left(32)), QString::fromLatin1(expectedWord));
                return Result::UnexpectedReply;
            }
            block = rest.mid(expectedWord.size());
            return Result::Ok;
        }
    }
    m_error = QStringLiteral("no reply from the elevated helper on UDP port %1 within %2 ms")
                  .arg(kReplyPort)
                  .arg(m_timeoutMs);
    return Result::Timeout;
}
