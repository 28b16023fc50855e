#pragma once

#include <NodeTypeRegistry.h>
#include <Show.h>
#include <SyncBus.h>

class PingController;
class PingDevice;

// Two host instances of one show in this process, joined by the sync bus: the
// producer (master) and a media server, each with its copy of ping device 1.
struct PingInstances
{
    PingInstances();
    ~PingInstances();

    // Host data types plus the plug-in's node types.
    static NodeTypeRegistry makeRegistry();
    // A "Ping status" node in show's graph, designating ping device `number`.
    static PingController *addStatusNode(Show &show, int number);

    NodeTypeRegistry registry;
    SyncBus bus;
    Show producer;
    Show mediaServer;
    PingDevice *producerDevice = nullptr;
    PingDevice *mediaServerDevice = nullptr;
};
