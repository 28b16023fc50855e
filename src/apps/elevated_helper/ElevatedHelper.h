#pragma once

#include <QByteArray>
#include <QString>
#include <QWidget>

class QUdpSocket;

// The helper's never-shown window: listens for commands on 127.0.0.1:3064 and answers
// on 127.0.0.1:3060. Commands run one after the other in the event loop's thread.
// No Q_OBJECT on purpose: it has no signals or properties and connects through member
// function pointers, so a meta-object of its own would only add moc output.
class ElevatedHelper : public QWidget
{
public:
    static constexpr quint16 kCommandPort = 3064;
    static constexpr quint16 kReplyPort = 3060;

    ElevatedHelper();
    ~ElevatedHelper() override;

    void readPendingDatagrams();
    void processDatagram(const QByteArray &datagram);
    void reportEvent(const QString &text);

private:
    // No parent on purpose: the destructor deletes it, so it is closed before the widget
    // part is torn down rather than among the widget's children.
    QUdpSocket *m_socket;
};
