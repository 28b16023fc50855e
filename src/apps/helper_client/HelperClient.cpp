#include "HelperClient.h"

#include "HelperRecords.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QNetworkDatagram>
#include <QThread>
#include <QUdpSocket>

namespace {

const QByteArray kSourcePrefix = QByteArrayLiteral("[SOURCE=");
const QByteArray kForwardPrefix = QByteArrayLiteral("[FORWARDTO=");

} // namespace

HelperClient::HelperClient(const QByteArray &sourceBase, int timeoutMs)
    : m_sourceBase(sourceBase)
    , m_timeoutMs(timeoutMs)
{ }

QByteArray HelperClient::nextSource()
{
    return m_sourceBase + '-' + QByteArray::number(QCoreApplication::applicationPid()) + '-'
        + QByteArray::number(++m_requests);
}

HelperClient::Result HelperClient::send(const QByteArray &command)
{
    return sendAs(nextSource(), command);
}

HelperClient::Result HelperClient::sendAs(const QByteArray &source, const QByteArray &command)
{
    const QByteArray datagram = kSourcePrefix + source + ']' + command;
    if (datagram.size() > kMaxDatagramBytes) {
        m_error = QStringLiteral("the request takes %1 bytes, more than one UDP datagram holds "
                                 "(%2 bytes)")
                      .arg(datagram.size())
                      .arg(kMaxDatagramBytes);
        return Result::TooLarge;
    }
    QUdpSocket socket;
    if (socket.writeDatagram(datagram, QHostAddress::LocalHost, kCommandPort) != datagram.size()) {
        m_error = QStringLiteral("cannot send to UDP port %1: %2")
                      .arg(kCommandPort)
                      .arg(socket.errorString());
        return Result::NetworkError;
    }
    return Result::Ok;
}

HelperClient::Result HelperClient::exchange(const QByteArray &command,
    const QByteArray &expectedWord, QByteArray &block, qsizetype smallestReplyBlock)
{
    return exchange(command, expectedWord, block, smallestReplyBlock, m_timeoutMs);
}

HelperClient::Result HelperClient::exchange(const QByteArray &command,
    const QByteArray &expectedWord, QByteArray &block, qsizetype smallestReplyBlock, int timeoutMs)
{
    const QByteArray source = nextSource();
    const QByteArray marker = kForwardPrefix + source + ']';
    // The helper carries out a command whose reply it cannot send: refuse it beforehand.
    const qsizetype replyBytes = marker.size() + expectedWord.size() + smallestReplyBlock;
    if (replyBytes > kMaxDatagramBytes) {
        m_error = QStringLiteral("the reply to this request would take at least %1 bytes, more "
                                 "than one UDP datagram holds (%2 bytes); use a shorter --source")
                      .arg(replyBytes)
                      .arg(kMaxDatagramBytes);
        return Result::TooLarge;
    }

    QDeadlineTimer deadline(timeoutMs);
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
    const Result sent = sendAs(source, command);
    if (sent != Result::Ok)
        return sent;

    while (!deadline.hasExpired()) {
        if (!socket.hasPendingDatagrams()
            && !socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            continue;
        while (socket.hasPendingDatagrams()) {
            const QByteArray reply = socket.receiveDatagram().data();
            if (!reply.startsWith(marker))
                continue; // meant for somebody else, or a late reply to an earlier request
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
                  .arg(timeoutMs);
    return Result::Timeout;
}
