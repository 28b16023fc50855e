#pragma once

#include "Screen.h"
#include "lmlib_global.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QString>

#include <memory>

class Device;
class DeviceDescriptorData;
class NodeGraph;
class SyncBus;
struct NodeTypeRegistry;

// One host instance's copy of the show: its devices, media servers and node graph.
class LMLIB_EXPORT Show : public QObject
{
    Q_OBJECT
public:
    enum AppMode { MediaServerMode = 1, ProducerMode = 2 };

    explicit Show(const NodeTypeRegistry &registry, QObject *parent = nullptr);
    ~Show() override;

    // 2 on the producer, 1 on a media server.
    int appMode() const { return m_appMode; }
    void setAppMode(int mode) { m_appMode = mode; }
    // The media server this instance runs as; 0 on the producer.
    int localMediaServerId() const { return m_localMediaServerId; }
    void setLocalMediaServerId(int id) { m_localMediaServerId = id; }
    bool isMaster() const { return m_master; }
    void setMaster(bool master) { m_master = master; }
    QString instanceName() const { return m_instanceName; }
    void setInstanceName(const QString &name) { m_instanceName = name; }

    // Takes ownership. A device number below 0 gets the next free number of its
    // type; a number already taken fails (the device is then deleted).
    bool addDevice(Device *device, QString *error = nullptr);
    // Deletes the device; nodes that designate it no longer resolve.
    bool removeDevice(const QString &typeName, int number);
    // Device number to device, ascending.
    QMap<int, Device *> devicesOfType(const QString &typeName) const;
    QList<Device *> allDevices() const;
    Device *findDevice(const QString &typeName, int number) const;
    // The device whose type name and number match exactly, or null.
    Device *resolveDevice(const DeviceDescriptorData &descriptor) const;

    const MediaServers &getMediaServers() const { return m_mediaServers->servers(); }
    // Takes ownership; fails when the id is taken. The server joins the table that
    // this show shares with its copies, if it shares one.
    bool addMediaServer(std::unique_ptr<Screen> screen);
    // Uses `table` (shared with the other copies of the show) from now on.
    void shareMediaServers(std::shared_ptr<MediaServerTable> table);

    NodeGraph &graph() { return *m_graph; }
    const NodeGraph &graph() const { return *m_graph; }

    SyncBus *syncBus() const { return m_syncBus; }
    void setSyncBus(SyncBus *bus) { m_syncBus = bus; }

private:
    int m_appMode = ProducerMode;
    int m_localMediaServerId = 0;
    bool m_master = true;
    QString m_instanceName;
    QMap<QString, QMap<int, Device *>> m_devices;
    std::shared_ptr<MediaServerTable> m_mediaServers;
    std::unique_ptr<NodeGraph> m_graph;
    SyncBus *m_syncBus = nullptr;
};
