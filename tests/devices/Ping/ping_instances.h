#pragma once

#include "ping_bridge.h"
#include "ping_controller.h"

#include <host_instances.h>

// The producer and media server 1, each with its copy of ping device 1 ("Gateway", at
// 127.0.0.1).
struct PingInstances : HostInstances
{
    PingInstances()
    {
        const auto devices = addDevices<PingDevice>(1, [](PingDevice &device) {
            device.setName(QStringLiteral("Gateway"));
            device.host = QStringLiteral("127.0.0.1");
        });
        producerDevice = devices[0];
        mediaServerDevice = devices[1];
    }

    // A "Ping status" node in show's graph, designating ping device `number`.
    static PingController *addStatusNode(Show &show, int number)
    {
        return addDeviceNode<PingController>(show, number);
    }

    PingDevice *producerDevice = nullptr;
    PingDevice *mediaServerDevice = nullptr;
};
