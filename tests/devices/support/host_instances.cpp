#include "host_instances.h"

#include <HostRegistry.h>

NodeTypeRegistry HostInstances::makeRegistry()
{
    NodeTypeRegistry r;
    HostRegistry::registerHostTypes(r);
    DevicePlugin::traits().fillRegistry(r, HostCallbacks());
    return r;
}

void HostInstances::designate(INodeController *node, int number)
{
    node->propertyData<DeviceDescriptorData>(0)->deviceId = number;
    node->onPropertyChanged(0);
}

HostInstances::HostInstances(int mediaServers)
    : registry(makeRegistry())
{
    for (int i = 0; i <= mediaServers; ++i) {
        Show &show = *shows.emplace_back(std::make_unique<Show>(registry));
        show.setInstanceName(
            i ? QStringLiteral("mediaserver-%1").arg(i) : QStringLiteral("producer"));
        show.setMaster(i == 0);
        show.setAppMode(i ? Show::MediaServerMode : Show::ProducerMode);
        show.setLocalMediaServerId(i);
        bus.attach(&show);
    }
}

HostInstances::~HostInstances()
{
    // The media servers go first, the producer last, as the host's instances end.
    while (!shows.empty())
        shows.pop_back();
}
