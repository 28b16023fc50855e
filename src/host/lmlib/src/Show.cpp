#include "Show.h"

#include "Device.h"
#include "NextFreeId.h"
#include "NodeData.h"
#include "NodeGraph.h"
#include "SyncBus.h"

Show::Show(const NodeTypeRegistry &registry, QObject *parent)
    : QObject(parent)
    , m_mediaServers(std::make_shared<MediaServerTable>())
    , m_graph(std::make_unique<NodeGraph>(registry, this))
{ }

Show::~Show()
{
    if (m_syncBus)
        m_syncBus->detach(this);
    // Controllers first: they may still follow devices.
    m_graph.reset();
    for (const QMap<int, Device *> &devices : std::as_const(m_devices))
        qDeleteAll(devices);
}

bool Show::addDevice(Device *device, QString *error)
{
    if (!device)
        return false;
    QMap<int, Device *> &devices = m_devices[device->typeName()];
    if (device->deviceNumber() < 0) {
        device->setDeviceNumber(
            nextFreeId(devices.isEmpty() ? std::nullopt : std::optional(devices.lastKey()), 1,
                [&devices](int candidate) { return devices.contains(candidate); }));
    }
    if (device->deviceNumber() < 0) {
        if (error)
            *error = QStringLiteral("no free number is left for device %1").arg(device->typeName());
        delete device;
        return false;
    }
    if (devices.contains(device->deviceNumber())) {
        if (error) {
            *error = QStringLiteral("device %1 number %2 is already in the show")
                         .arg(device->typeName())
                         .arg(device->deviceNumber());
        }
        delete device;
        return false;
    }
    devices.insert(device->deviceNumber(), device);
    device->setShow(this);
    return true;
}

bool Show::removeDevice(const QString &typeName, int number)
{
    auto it = m_devices.find(typeName);
    if (it == m_devices.end())
        return false;
    Device *device = it->take(number);
    delete device;
    return device != nullptr;
}

QMap<int, Device *> Show::devicesOfType(const QString &typeName) const
{
    return m_devices.value(typeName);
}

QList<Device *> Show::allDevices() const
{
    QList<Device *> all;
    for (const QMap<int, Device *> &devices : m_devices)
        all.append(devices.values());
    return all;
}

Device *Show::findDevice(const QString &typeName, int number) const
{
    return m_devices.value(typeName).value(number);
}

Device *Show::resolveDevice(const DeviceDescriptorData &descriptor) const
{
    return findDevice(descriptor.deviceType, descriptor.deviceId);
}

bool Show::addMediaServer(std::unique_ptr<Screen> screen)
{
    return m_mediaServers->add(std::move(screen));
}

void Show::shareMediaServers(std::shared_ptr<MediaServerTable> table)
{
    if (table)
        m_mediaServers = std::move(table);
}
