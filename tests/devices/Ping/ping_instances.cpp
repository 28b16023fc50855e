#include "ping_instances.h"

#include "ping_bridge.h"
#include "ping_controller.h"

#include <DevicePluginTraits.h>
#include <HostRegistry.h>
#include <NodeData.h>
#include <NodeGraph.h>

namespace {
PingDevice *addPingDevice(Show &show, bool master)
{
    auto *device = new PingDevice(master);
    device->setDeviceNumber(1);
    device->setName(QStringLiteral("Gateway"));
    device->host = QStringLiteral("127.0.0.1");
    return show.addDevice(device) ? device : nullptr;
}
} // namespace

NodeTypeRegistry PingInstances::makeRegistry()
{
    NodeTypeRegistry r;
    HostRegistry::registerHostTypes(r);
    DevicePlugin::fillNodeTypeRegistry(r, HostCallbacks());
    return r;
}

PingController *PingInstances::addStatusNode(Show &show, int number)
{
    Node *node = show.graph().createNode(PingController::s_controllerType);
    auto *controller = node ? dynamic_cast<PingController *>(node->controller()) : nullptr;
    if (!controller)
        return nullptr;
    controller->propertyData<DeviceDescriptorData>(0)->deviceId = number;
    controller->onPropertyChanged(0);
    return controller;
}

PingInstances::PingInstances()
    : registry(makeRegistry())
    , producer(registry)
    , mediaServer(registry)
{
    producer.setInstanceName(QStringLiteral("producer"));
    producer.setMaster(true);
    mediaServer.setInstanceName(QStringLiteral("mediaserver-1"));
    mediaServer.setAppMode(Show::MediaServerMode);
    mediaServer.setLocalMediaServerId(1);
    mediaServer.setMaster(false);
    bus.attach(&producer);
    bus.attach(&mediaServer);
    producerDevice = addPingDevice(producer, true);
    mediaServerDevice = addPingDevice(mediaServer, false);
}

PingInstances::~PingInstances() = default;
