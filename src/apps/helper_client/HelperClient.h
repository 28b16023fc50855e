#pragma once

#include <QByteArray>
#include <QString>

// One request/reply exchange with the elevated helper over loopback UDP: binds the reply
// port, sends the request marked with a source of its own and waits for the reply
// forwarded to that source.
class HelperClient
{
public:
    static constexpr quint16 kCommandPort = 3064;
    static constexpr quint16 kReplyPort = 3060;

    enum class Result { Ok, Timeout, NetworkError, UnexpectedReply, TooLarge };

    // Each request's source is `sourceBase` + "-" + the process id + "-" + a request
    // number, so that a late reply to an earlier request is never taken for a later one.
    HelperClient(const QByteArray &sourceBase, int timeoutMs);

    // Sends `command` (word and argument block). On Ok, `block` holds what followed
    // `expectedWord` in the reply. `smallestReplyBlock` is the size of the block the reply
    // carries at least when the command succeeds: a request whose reply could not fit one
    // datagram is not sent.
    Result exchange(const QByteArray &command, const QByteArray &expectedWord, QByteArray &block,
        qsizetype smallestReplyBlock = 0);
    // As exchange, with a time-out of its own.
    Result exchange(const QByteArray &command, const QByteArray &expectedWord, QByteArray &block,
        qsizetype smallestReplyBlock, int timeoutMs);
    // Sends without waiting for a reply (used for "exit\n").
    Result send(const QByteArray &command);

    QString errorString() const { return m_error; }
    int timeoutMs() const { return m_timeoutMs; }

private:
    QByteArray nextSource();
    Result sendAs(const QByteArray &source, const QByteArray &command);

    QByteArray m_sourceBase;
    int m_timeoutMs;
    int m_requests = 0;
    QString m_error;
};
