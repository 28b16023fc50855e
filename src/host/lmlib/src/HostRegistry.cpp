#include "HostRegistry.h"

#include "DeviceFactoryInterface.h"
#include "NodeData.h"

#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QPluginLoader>

#include <LMLog.h>

namespace {

template<class Map>
void mergeMap(Map &target, const Map &source, const QString &what, const QString &origin,
    QStringList *conflicts)
{
    for (auto it = source.cbegin(); it != source.cend(); ++it) {
        if (target.contains(it.key())) {
            conflicts->append(QStringLiteral("%1: %2 already registered").arg(origin, what));
            continue;
        }
        target.insert(it.key(), it.value());
    }
}

template<class Data>
void registerDataType(NodeTypeRegistry &registry, const QUuid &type, const QColor &color)
{
    registry.dataFactories.insert(type, [] { return new Data(); });
    registry.dataColors.insert(type, color);
}

} // namespace

HostRegistry::HostRegistry(const HostCallbacks &callbacks)
    : m_callbacks(callbacks)
{
    registerHostTypes(m_registry);
}

HostRegistry::~HostRegistry()
{
    // The callables point into the plug-ins: drop them before any plug-in goes.
    m_registry = NodeTypeRegistry();
    m_factories.clear();
}

void HostRegistry::registerHostTypes(NodeTypeRegistry &registry)
{
    registerDataType<BoolData>(registry, kBoolDataTypeId, QColor(220, 60, 60));
    registerDataType<IntData>(registry, kIntDataTypeId, QColor(60, 140, 220));
    registerDataType<Vec2Data>(registry, kVec2DataTypeId, QColor(60, 200, 120));
    registerDataType<DeviceDescriptorData>(
        registry, kDeviceDescriptorDataTypeId, QColor(153, 102, 204));

    registry.dataConverters.insert(
        DataConverterKey(kIntDataTypeId, kBoolDataTypeId), [](const ANodeData &v) -> ANodeData * {
            const auto &i = static_cast<const IntData &>(v);
            return new BoolData(i.value != 0);
        });
    registry.dataConverters.insert(
        DataConverterKey(kBoolDataTypeId, kIntDataTypeId), [](const ANodeData &v) -> ANodeData * {
            const auto &b = static_cast<const BoolData &>(v);
            return new IntData(b.value ? 1 : 0);
        });
}

QStringList HostRegistry::merge(const NodeTypeRegistry &other, const QString &origin)
{
    QStringList conflicts;
    for (auto it = other.dataConverters.cbegin(); it != other.dataConverters.cend(); ++it) {
        if (m_registry.dataConverters.contains(it.key())) {
            conflicts.append(QStringLiteral("%1: converter %2 -> %3 already registered")
                                 .arg(origin, it.key().first.toString(QUuid::WithoutBraces),
                                     it.key().second.toString(QUuid::WithoutBraces)));
            continue;
        }
        m_registry.dataConverters.insert(it.key(), it.value());
    }
    mergeMap(m_registry.controllerFactories, other.controllerFactories,
        QStringLiteral("controller factory"), origin, &conflicts);
    mergeMap(m_registry.dataFactories, other.dataFactories, QStringLiteral("data factory"), origin,
        &conflicts);
    mergeMap(m_registry.dataWidgetFactories, other.dataWidgetFactories,
        QStringLiteral("data widget factory"), origin, &conflicts);
    mergeMap(
        m_registry.dataColors, other.dataColors, QStringLiteral("data colour"), origin, &conflicts);
    mergeMap(m_registry.controllerNames, other.controllerNames, QStringLiteral("controller name"),
        origin, &conflicts);
    mergeMap(m_registry.controllerCategories, other.controllerCategories,
        QStringLiteral("controller category"), origin, &conflicts);
    mergeMap(m_registry.controllerColors, other.controllerColors,
        QStringLiteral("controller colour"), origin, &conflicts);
    mergeMap(m_registry.controllerDescriptions, other.controllerDescriptions,
        QStringLiteral("controller description"), origin, &conflicts);
    return conflicts;
}

bool HostRegistry::addFactory(
    DeviceFactoryInterface *factory, const QString &origin, QString *error)
{
    const QString type = factory->deviceType();
    if (type.isEmpty() || m_factories.contains(type)) {
        if (error) {
            *error = type.isEmpty()
                ? QStringLiteral("%1: empty device type").arg(origin)
                : QStringLiteral("%1: device type \"%2\" is already provided").arg(origin, type);
        }
        return false;
    }
    m_factories.insert(type, factory);
    const QStringList conflicts = merge(factory->nodeTypeRegistry(m_callbacks), origin);
    for (const QString &conflict : conflicts) {
        if (LMLog::modeContains(LOG::WARNING))
            qCWarning(LMLog::s_lmLogCat).noquote() << "[LMLIB]" << conflict << "(kept the first)";
    }
    return true;
}

HostRegistry::PluginLoad HostRegistry::loadPlugin(const QString &filePath)
{
    PluginLoad result;
    result.fileName = filePath;
    auto loader = std::make_shared<QPluginLoader>(filePath);
    QObject *instance = loader->instance();
    if (!instance) {
        result.error = loader->errorString();
        return result;
    }
    auto *factory = qobject_cast<DeviceFactoryInterface *>(instance);
    if (!factory) {
        result.error = QStringLiteral("the plug-in does not implement %1")
                           .arg(QLatin1String(DeviceFactoryInterface_iid));
        loader->unload();
        return result;
    }
    if (!addFactory(factory, QFileInfo(filePath).fileName(), &result.error))
        return result;
    m_loaders.append(loader);
    result.ok = true;
    result.deviceType = factory->deviceType();
    return result;
}

QList<HostRegistry::PluginLoad> HostRegistry::loadPluginDirectory(const QString &directory)
{
    QList<PluginLoad> results;
    const QDir dir(directory);
    const QFileInfoList files = dir.entryInfoList(QDir::Files, QDir::Name);
    for (const QFileInfo &file : files) {
        if (!QLibrary::isLibrary(file.fileName()))
            continue;
        results.append(loadPlugin(file.absoluteFilePath()));
    }
    return results;
}

DeviceFactoryInterface *HostRegistry::deviceFactory(const QString &typeName) const
{
    return m_factories.value(typeName);
}

QStringList HostRegistry::deviceTypes() const
{
    return m_factories.keys();
}
