#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// The helper's request handling, free of sockets: what a datagram asks for and the
// datagram to send back.
struct HelperResponse
{
    enum class Action { Reply, Quit, Ignore };
    Action action = Action::Ignore;
    QByteArray datagram;
};

using EventReporter = std::function<void(const QString &)>;

// Runs the command of one request (driver work included). `report` receives the events
// worth an event-log entry besides the received command itself.
HelperResponse respondToDatagram(const QByteArray &datagram, const EventReporter &report);
