#pragma once

#include <string>

// Process-wide, reference-counted bookkeeping of Phidget22's network servers: this
// process's own server and the client entries of the servers that runtimes use.
// Phidget22 is called only at the first use and at the last release. Host's thread only.
class PhidgetServerManager
{
public:
    PhidgetServerManager() = delete;

    // Runs this process's server bound to `address` (the first user's); false only when
    // Phidget22 refused to start it.
    static bool startServer(const std::string &address);
    static void stopServer();
    // Keeps an enabled client entry for the server at `address`.
    static void connectToServer(const std::string &address);
    static void disconnectFromServer(const std::string &address);

    // The name of the server at `address`, for the local server, its client entry and the
    // channels opened through it alike.
    static std::string serverName(const std::string &address);
};
