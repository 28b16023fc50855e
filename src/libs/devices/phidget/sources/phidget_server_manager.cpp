#include "phidget_server_manager.h"

#include "phidget_log.h"

#include <QHostAddress>

#include <phidget22.h>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <sys/socket.h>
#endif

#include <cstdint>
#include <map>

namespace {

// Touched on the host's thread only, so no lock.

struct ServerEntry
{
    int32_t users = 0;
    bool added = false;
};

int32_t s_localServerUsers = 0;
PhidgetServerHandle s_localServer = nullptr;
std::map<std::string, ServerEntry> s_servers;

const int kServerPort = 5661;
const char kServerPassword[] = "";

} // namespace

std::string PhidgetServerManager::serverName(const std::string &address)
{
    return "Lumora Phidget Server " + address;
}

bool PhidgetServerManager::startServer(const std::string &address)
{
    ++s_localServerUsers;
    if (s_localServerUsers > 1 && s_localServer)
        return true;
    const std::string name = serverName(address);
    // The server listens on the family of its address.
    const bool ipv6
        = QHostAddress(QString::fromStdString(address)).protocol() == QAbstractSocket::IPv6Protocol;
    const PhidgetReturnCode result = PhidgetNet_startServer(0, ipv6 ? AF_INET6 : AF_INET,
        name.c_str(), address.c_str(), kServerPort, kServerPassword, &s_localServer);
    if (result != EPHIDGET_OK) {
        PHIDGET_LOG_FAILURE("PhidgetNet_startServer failed.", result);
        return false;
    }
    return true;
}

void PhidgetServerManager::stopServer()
{
    // A release without a start must not take another user's share.
    if (s_localServerUsers <= 0)
        return;
    const int32_t before = s_localServerUsers--;
    if (before == 1 && s_localServer) {
        const PhidgetReturnCode result = PhidgetNet_stopServer(&s_localServer);
        if (result != EPHIDGET_OK)
            PHIDGET_LOG_FAILURE("PhidgetNet_stopServer failed.", result);
    }
}

void PhidgetServerManager::connectToServer(const std::string &address)
{
    ServerEntry &entry = s_servers[address];
    ++entry.users;
    if (entry.users > 1)
        return;
    const std::string name = serverName(address);
    if (entry.added) {
        const PhidgetReturnCode result = PhidgetNet_enableServer(name.c_str());
        if (result != EPHIDGET_OK)
            PHIDGET_LOG_FAILURE("PhidgetNet_enableServer failed.", result);
        return;
    }
    const PhidgetReturnCode result
        = PhidgetNet_addServer(name.c_str(), address.c_str(), kServerPort, kServerPassword, 0);
    if (result != EPHIDGET_OK)
        PHIDGET_LOG_FAILURE("PhidgetNet_addServer failed.", result);
    else
        entry.added = true;
}

void PhidgetServerManager::disconnectFromServer(const std::string &address)
{
    const auto it = s_servers.find(address);
    if (it == s_servers.end())
        return;
    ServerEntry &entry = it->second;
    if (--entry.users > 0)
        return;
    const std::string name = serverName(address);
    const PhidgetReturnCode result = PhidgetNet_disableServer(name.c_str(), 0);
    if (result != EPHIDGET_OK)
        PHIDGET_LOG_FAILURE("PhidgetNet_disableServer failed.", result);
}
