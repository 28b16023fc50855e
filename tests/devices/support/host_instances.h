#pragma once

#include <DevicePluginTraits.h>
#include <INodeController.h>
#include <NodeData.h>
#include <NodeGraph.h>
#include <NodeTypeRegistry.h>
#include <Show.h>
#include <SyncBus.h>

#include <functional>
#include <memory>
#include <vector>

// Host instances of one show in this process, joined by the host's sync bus as the sync
// channel joins them: the producer (the master, instance 0, "producer") and media servers
// 1..n (instance i is media server i, "mediaserver-i"). Every show's registry holds the host's
// types and the node types of the plug-in the test links (DevicePluginTraits.h), whose
// devices the helpers below create.
class HostInstances
{
public:
    explicit HostInstances(int mediaServers = 1);
    ~HostInstances();

    // Host data types plus the linked plug-in's node types.
    static NodeTypeRegistry makeRegistry();

    Show &producer() const { return *shows.front(); }
    Show &mediaServer(int id = 1) const { return *shows.at(size_t(id)); }
    int count() const { return int(shows.size()); }

    // Device `number` of the linked plug-in on `show`, set up by `configure` before the show
    // takes it; null when the show refuses it.
    template<class D>
    static D *addDevice(Show &show, int number, const std::function<void(D &)> &configure = {})
    {
        auto *device = dynamic_cast<D *>(DevicePlugin::traits().create(show.isMaster()));
        if (!device)
            return nullptr;
        device->setDeviceNumber(number);
        if (configure)
            configure(*device);
        return show.addDevice(device) ? device : nullptr;
    }
    // The same device on every instance, in instance order.
    template<class D>
    std::vector<D *> addDevices(int number, const std::function<void(D &)> &configure = {})
    {
        std::vector<D *> devices;
        for (const auto &show : shows)
            devices.push_back(addDevice<D>(*show, number, configure));
        return devices;
    }
    // The linked plug-in's device `number` on instance `index`, or null.
    template<class D>
    D *device(int index, int number = 1) const
    {
        return dynamic_cast<D *>(
            shows.at(size_t(index))->findDevice(DevicePlugin::traits().type, number));
    }

    // A node of Controller's type in `show`'s graph, or null.
    template<class Controller>
    static Controller *addNode(Show &show)
    {
        Node *node = show.graph().createNode(Controller::s_controllerType);
        return node ? dynamic_cast<Controller *>(node->controller()) : nullptr;
    }
    // The same, its device property (the first) designating device `number`.
    template<class Controller>
    static Controller *addDeviceNode(Show &show, int number)
    {
        Controller *controller = addNode<Controller>(show);
        if (controller)
            designate(controller, number);
        return controller;
    }
    // Sets the device property (the first) of `node` to device `number`, as the editor does.
    static void designate(INodeController *node, int number);

    NodeTypeRegistry registry; // outlives the shows, which refer to it
    SyncBus bus;
    std::vector<std::unique_ptr<Show>> shows; // instance i at i
};
