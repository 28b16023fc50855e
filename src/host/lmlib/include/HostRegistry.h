#pragma once

#include "NodeTypeRegistry.h"
#include "lmlib_global.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <memory>

class DeviceFactoryInterface;
class QPluginLoader;

// The host's view of every loaded plug-in: the merged node type registry (the
// host's own data types and converters first) and the device factories by type name.
class LMLIB_EXPORT HostRegistry
{
public:
    struct PluginLoad
    {
        QString fileName;
        bool ok = false;
        QString error;
        QString deviceType;
    };

    explicit HostRegistry(const HostCallbacks &callbacks = HostCallbacks());
    ~HostRegistry();
    HostRegistry(const HostRegistry &) = delete;
    HostRegistry &operator=(const HostRegistry &) = delete;

    const NodeTypeRegistry &registry() const { return m_registry; }
    const HostCallbacks &callbacks() const { return m_callbacks; }
    void setCallbacks(const HostCallbacks &callbacks) { m_callbacks = callbacks; }

    // Loads one plug-in file; the result says why it failed.
    PluginLoad loadPlugin(const QString &filePath);
    // Every library file of the directory, in name order.
    QList<PluginLoad> loadPluginDirectory(const QString &directory);

    // Adds a factory (not owned; it must outlive the registry's use) and merges its
    // registry. False with *error when its device type is already known.
    bool addFactory(
        DeviceFactoryInterface *factory, const QString &origin, QString *error = nullptr);
    // Entries whose key is already present are kept as they are; the conflicts are returned.
    QStringList merge(const NodeTypeRegistry &other, const QString &origin);

    DeviceFactoryInterface *deviceFactory(const QString &typeName) const;
    QStringList deviceTypes() const;

    // The host's own node data types (bool, integer, 2D vector, device descriptor)
    // and the converters between them.
    static void registerHostTypes(NodeTypeRegistry &registry);

private:
    NodeTypeRegistry m_registry;
    HostCallbacks m_callbacks;
    QMap<QString, DeviceFactoryInterface *> m_factories;
    QList<std::shared_ptr<QPluginLoader>> m_loaders;
};
