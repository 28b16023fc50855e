#include "ElevatedHelper.h"

#include "EventLog.h"
#include "HelperCommands.h"

#include <LMLog.h>

#include <QCoreApplication>
#include <QNetworkDatagram>
#include <QTimer>
#include <QUdpSocket>

ElevatedHelper::ElevatedHelper()
    : QWidget(nullptr)
    , m_socket(new QUdpSocket())
{
    connect(m_socket, &QUdpSocket::readyRead, this, &ElevatedHelper::readPendingDatagrams);
    // Exclusive: Qt's default mode on Windows shares the address (SO_REUSEADDR), so another
    // local process could bind the same port with address reuse and take the administrator's
    // commands. DontShareAddress is SO_EXCLUSIVEADDRUSE there, and no SO_REUSEADDR on Linux.
    const bool bound
        = m_socket->bind(QHostAddress::LocalHost, kCommandPort, QAbstractSocket::DontShareAddress);
    reportEvent(QStringLiteral("Binding to UDP port %1: %2").arg(kCommandPort).arg(bound ? 1 : 0));
    if (!bound && LMLog::modeContains(LOG::CRITICAL))
        qCCritical(LMLog::s_lmLogCat)
            << "[HELPER] cannot bind UDP port" << kCommandPort << ":" << m_socket->errorString();
}

ElevatedHelper::~ElevatedHelper()
{
    delete m_socket;
}

void ElevatedHelper::readPendingDatagrams()
{
    while (m_socket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_socket->receiveDatagram();
        processDatagram(datagram.data());
    }
}

void ElevatedHelper::processDatagram(const QByteArray &datagram)
{
    reportEvent(QStringLiteral("Received command : ") + QString::fromUtf8(datagram));
    const HelperResponse response
        = respondToDatagram(datagram, [this](const QString &text) { reportEvent(text); });
    switch (response.action) {
    case HelperResponse::Action::Quit:
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        break;
    case HelperResponse::Action::Reply:
        if (m_socket->writeDatagram(response.datagram, QHostAddress::LocalHost, kReplyPort)
            != response.datagram.size())
            reportEvent(QStringLiteral("Reply of %1 bytes not sent: %2")
                            .arg(response.datagram.size())
                            .arg(m_socket->errorString()));
        break;
    case HelperResponse::Action::Ignore:
        break;
    }
}

void ElevatedHelper::reportEvent(const QString &text)
{
    ::reportEvent(text);
}
