#pragma once

#include <QByteArray>
#include <QString>

// One request/reply exchange with the elevated helper over loopback UDP: binds the reply
// port, sends the request marked with our source and waits for the reply forwarded to it.
class HelperClient
{
public:
    static constexpr quint16 kCommandPort = 3064;
    static constexpr quint16 kReplyPort = 3060;

    enum class Result { Ok, Timeout, NetworkError, UnexpectedReply };

    HelperClient(const QByteArray &source, int timeoutMs);

    // Sends `command` (word and argument block). On Ok, `block` holds what followed
    // `expectedWord` in the reply.
    Result exchange(const QByteArray &command, const QByteArray &expectedWord, QByteArray &block);
    // Sends without waiting for a reply (used for "exit\n").
    Result send(const QByteArray &command);

    QString errorString() const { return m_error; }

private:
    QByteArray m_source;
    int m_timeoutMs;
    QString m_error;
};
