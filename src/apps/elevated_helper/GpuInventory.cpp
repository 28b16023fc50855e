#include "GpuInventory.h"

#include "DisplayConfig.h"
#include "NvApi.h"

#include <QMap>

#include <cstring>
#include <vector>

namespace {

// Bounds on what a driver may claim, so that a faulty answer cannot make us allocate
// without limit.
constexpr uint32_t kMaxDisplayIds = 1024;
constexpr int kMaxDisplayHandles = 128;
constexpr uint32_t kMaxPaths = 1024;
constexpr uint32_t kMaxTargetsPerPath = 64;
constexpr int kMaxDisplayConfigAttempts = 32;

QString shortString(const char *text)
{
    return QString::fromUtf8(text, qsizetype(strnlen(text, nv::kShortStringSize)));
}

// An alternativeId of 0 means "none": it must not claim display id 0.
ConnectorInfo *findConnector(QVector<ConnectorInfo> &connectors, uint32_t displayId)
{
    for (ConnectorInfo &c : connectors) {
        if (c.mainId == displayId || (c.isDualSupported && c.alternativeId == displayId))
            return &c;
    }
    return nullptr;
}

int queryEdidFlag(NvApi &driver, uint32_t displayId, uint32_t &flag)
{
    nv::EdidData edid = {};
    edid.version = nv::kEdidDataVersion;
    flag = 0;
    return driver.readEdid(displayId, &edid, &flag);
}

bool enumerateDisplayHandles(NvApi &driver, std::vector<nv::Handle> &handles)
{
    for (uint32_t index = 0;; ++index) {
        if (handles.size() == size_t(kMaxDisplayHandles))
            return true; // the table is full; further handles are not looked at
        nv::Handle handle = nullptr;
        const int status = driver.enumDisplayHandle(index, &handle);
        if (status != nv::kOk)
            return status == nv::kEndEnumeration;
        handles.push_back(handle);
    }
}

// Lists the GPU's display ids, then the display handles, then asks each id for its
// connector information (and, when connected, its EDID flag).
bool probeDisplayIds(NvApi &driver, nv::Handle gpuHandle, std::vector<nv::Handle> &handles,
    QVector<DisplayIdProbe> &probes)
{
    uint32_t count = 0;
    if (driver.gpuAllDisplayIds(gpuHandle, nullptr, &count) != nv::kOk || count > kMaxDisplayIds)
        return false;
    std::vector<nv::DisplayIdEntry> entries(count, nv::DisplayIdEntry {});
    for (nv::DisplayIdEntry &e : entries)
        e.version = nv::kDisplayIdEntryVersion;
    uint32_t filled = count;
    if (count > 0 && driver.gpuAllDisplayIds(gpuHandle, entries.data(), &filled) != nv::kOk)
        return false;
    entries.resize(qMin(filled, count));
    if (!enumerateDisplayHandles(driver, handles))
        return false;

    for (const nv::DisplayIdEntry &e : entries) {
        nv::ConnectorEntry connectorEntries[nv::kConnectorEntriesAsked] = {};
        nv::ConnectorInfo info = {};
        info.version = nv::kConnectorInfoVersion;
        info.entryCount = nv::kConnectorEntriesAsked;
        info.entries = connectorEntries;
        const int status = driver.connectorInfo(e.displayId, &info);
        if (status != nv::kOk && status != nv::kEndEnumeration)
            return false;
        DisplayIdProbe probe;
        probe.displayId = e.displayId;
        probe.connected = (e.flags & nv::kDisplayIdConnected) != 0;
        probe.typeCode = connectorEntries[0].typeCode;
        probe.secondValue = connectorEntries[0].secondValue;
        probe.dualModeFirst = (info.flags & 1u) != 0;
        // A display without a readable EDID (a projector without one) is only reported as
        // not overridden: it must not hide every other display of the machine.
        if (probe.connected && queryEdidFlag(driver, e.displayId, probe.edidFlag) != nv::kOk)
            probe.edidFlag = 0;
        probes.append(probe);
    }
    return true;
}

bool assignDisplayNames(
    NvApi &driver, const std::vector<nv::Handle> &handles, QVector<ConnectorInfo> &connectors)
{
    for (nv::Handle handle : handles) {
        char name[nv::kShortStringSize] = {};
        uint32_t displayId = 0;
        if (driver.associatedDisplayName(handle, name) != nv::kOk)
            return false;
        name[nv::kShortStringSize - 1] = '\0';
        if (driver.displayIdByName(name, &displayId) != nv::kOk)
            return false;
        ConnectorInfo *connector = findConnector(connectors, displayId);
        if (!connector)
            continue;
        connector->displayDevice.displayName = shortString(name);
        uint32_t outputId = 0;
        if (driver.displayOutputId(handle, &outputId) != nv::kOk)
            return false;
        connector->displayDevice.outputId = outputId;
    }
    return true;
}

// GDI display name -> monitor friendly name of the active display paths; empty when the
// display configuration cannot be read.
QMap<QString, QString> monitorNamesByGdiName(DisplayConfig &config)
{
    QMap<QString, QString> names;
    std::vector<DisplayPathRef> paths;
    for (int attempt = 0;; ++attempt) {
        if (attempt == kMaxDisplayConfigAttempts)
            return names; // the configuration keeps changing under us
        uint32_t pathCount = 0;
        uint32_t modeCount = 0;
        if (config.bufferSizes(DisplayConfig::kActiveVirtualModeAware, pathCount, modeCount)
                != DisplayConfig::kSuccess
            || pathCount > kMaxPaths || modeCount > 2 * kMaxPaths)
            return names;
        const long result
            = config.query(DisplayConfig::kActiveVirtualModeAware, pathCount, paths, modeCount);
        if (result == DisplayConfig::kInsufficientBuffer)
            continue;
        if (result != DisplayConfig::kSuccess)
            return names;
        break;
    }
    for (const DisplayPathRef &path : paths) {
        QString friendlyName;
        QString gdiName;
        if (config.targetFriendlyName(path, friendlyName) != DisplayConfig::kSuccess
            || config.sourceGdiName(path, gdiName) != DisplayConfig::kSuccess)
            break;
        names.insert(gdiName, friendlyName);
    }
    return names;
}

void assignMonitorNames(NvApi &driver, QVector<ConnectorInfo> &connectors)
{
    DisplayConfig config(driver);
    const QMap<QString, QString> names = monitorNamesByGdiName(config);
    for (auto it = names.cbegin(); it != names.cend(); ++it) {
        // A connector without a Windows display name has no monitor name either.
        if (it.key().isEmpty())
            continue;
        for (ConnectorInfo &c : connectors) {
            if (c.displayDevice.displayName == it.key()) {
                c.displayDevice.monitorName = it.value();
                break;
            }
        }
    }
}

bool assignCurrentModes(NvApi &driver, QVector<ConnectorInfo> &connectors)
{
    uint32_t pathCount = 0;
    if (driver.displayConfig(&pathCount, nullptr) != nv::kOk || pathCount > kMaxPaths)
        return false;
    if (pathCount == 0)
        return true;

    std::vector<nv::PathInfo> paths(pathCount, nv::PathInfo {});
    std::vector<nv::SourceMode> sourceModes(pathCount, nv::SourceMode {});
    for (uint32_t i = 0; i < pathCount; ++i) {
        paths[i].version = nv::kPathInfoVersion;
        paths[i].sourceMode = &sourceModes[i];
    }
    uint32_t asked = pathCount;
    if (driver.displayConfig(&asked, paths.data()) != nv::kOk)
        return false;

    std::vector<std::vector<nv::PathTarget>> targets(pathCount);
    std::vector<std::vector<nv::AdvancedTargetInfo>> details(pathCount);
    for (uint32_t i = 0; i < pathCount; ++i) {
        const uint32_t targetCount = paths[i].targetCount;
        if (targetCount > kMaxTargetsPerPath)
            return false;
        targets[i].assign(targetCount, nv::PathTarget {});
        details[i].assign(targetCount, nv::AdvancedTargetInfo {});
        for (uint32_t t = 0; t < targetCount; ++t) {
            details[i][t].version = nv::kAdvancedTargetInfoVersion;
            targets[i][t].details = &details[i][t];
        }
        paths[i].targets = targetCount ? targets[i].data() : nullptr;
    }
    asked = pathCount;
    if (driver.displayConfig(&asked, paths.data()) != nv::kOk)
        return false;

    for (uint32_t i = 0; i < pathCount; ++i) {
        // Only the target arrays we provided are trusted, whatever the count says now.
        if (targets[i].empty())
            continue;
        const uint32_t displayId = targets[i][0].displayId;
        ConnectorInfo *connector = findConnector(connectors, displayId);
        // A path can still name a display that is being unplugged: it has no mode to report.
        if (!connector || !connector->isConnected)
            continue;
        DisplayDeviceInfo &device = connector->displayDevice;
        device.isEdidOverriden = false;
        uint32_t flag = 0;
        if (queryEdidFlag(driver, displayId, flag) == nv::kOk)
            device.isEdidOverriden = flag == nv::kEdidOverriddenFlag;
        const nv::SourceMode &mode = sourceModes[i];
        device.isGdiPrimary = (mode.flags & 1u) != 0;
        device.resolutionWidth = qint32(mode.width);
        device.resolutionHeight = qint32(mode.height);
        device.colorDepth = qint32(mode.colorDepth);
        device.refreshRate1K = qint32(details[i][0].refreshRate1K);
    }
    return true;
}

} // namespace

QString connectorKind(uint32_t typeCode)
{
    struct Kind
    {
        uint32_t code;
        const char *text;
    };
    static constexpr Kind kinds[]
        = {{0, "VGA"}, {16, "Composite"}, {22, "Composite"}, {26, "Composite"}, {17, "SVideo"},
            {25, "SVideo"}, {19, "Component"}, {32, "DVI"}, {33, "DVI"}, {48, "DVI"}, {49, "DVI"},
            {56, "DVI"}, {57, "DVI"}, {70, "DisplayPort"}, {71, "DisplayPort"}, {72, "DisplayPort"},
            {100, "DisplayPort"}, {101, "DisplayPort"}, {97, "HDMI"}, {99, "HDMI"}, {113, "USB-C"}};
    for (const Kind &k : kinds) {
        if (k.code == typeCode)
            return QLatin1String(k.text);
    }
    return QStringLiteral("Unknown");
}

QString modelFromFullName(const QString &fullName)
{
    static const QString brand = QStringLiteral("Nvidia");
    const QString trimmed = fullName.trimmed();
    if (!trimmed.startsWith(brand, Qt::CaseInsensitive))
        return fullName;
    QString model = trimmed;
    model.remove(brand, Qt::CaseInsensitive);
    return model.trimmed();
}

QVector<ConnectorInfo> buildConnectorRecords(const QVector<DisplayIdProbe> &ids)
{
    QVector<ConnectorInfo> records;
    for (qsizetype l = 0; l < ids.size(); ++l) {
        const DisplayIdProbe &id = ids[l];
        ConnectorInfo record;
        record.mainId = id.displayId;
        record.isConnected = id.connected;
        record.type = connectorKind(id.typeCode);
        if (id.connected)
            record.displayDevice.isEdidOverriden = id.edidFlag == nv::kEdidOverriddenFlag;

        const bool dualModeCandidate = id.typeCode >= 70 && id.typeCode <= 72;
        if (dualModeCandidate && l + 1 < ids.size()) {
            const DisplayIdProbe &next = ids[l + 1];
            if (next.secondValue == id.secondValue && id.dualModeFirst && !next.dualModeFirst) {
                record.isDualSupported = true;
                record.alternativeId = next.displayId;
                if (next.connected) {
                    record.isConnected = true;
                    record.displayDevice.isDisplayPortDualModeActive = true;
                }
                ++l;
            }
        }
        // A DisplayPort id without its pair is a connector of its own.
        records.append(record);
    }
    return records;
}

bool buildConnectorList(NvApi &driver, nv::Handle gpuHandle, GpuInfo &gpu)
{
    QVector<DisplayIdProbe> probes;
    std::vector<nv::Handle> handles;
    if (!probeDisplayIds(driver, gpuHandle, handles, probes))
        return false;
    gpu.connectors = buildConnectorRecords(probes);
    if (!assignDisplayNames(driver, handles, gpu.connectors))
        return false;
    assignMonitorNames(driver, gpu.connectors);
    return assignCurrentModes(driver, gpu.connectors);
}

bool buildGpuList(NvApi &driver, QVector<GpuInfo> &list)
{
    nv::Handle handles[nv::kMaxPhysicalGpus] = {};
    uint32_t count = 0;
    bool complete
        = driver.initialize() == nv::kOk && driver.enumPhysicalGpus(handles, &count) == nv::kOk;
    for (uint32_t i = 0; complete && i < qMin<uint32_t>(count, nv::kMaxPhysicalGpus); ++i) {
        GpuInfo gpu;
        gpu.id = i;
        gpu.brand = QStringLiteral("Nvidia");
        char name[nv::kShortStringSize] = {};
        if (driver.gpuFullName(handles[i], name) != nv::kOk) {
            complete = false;
            break;
        }
        gpu.model = modelFromFullName(shortString(name));
        gpu.isPro = driver.gpuWorkstationFeature(handles[i], nv::kWorkstationFeature) == nv::kOk;
        if (!buildConnectorList(driver, handles[i], gpu)) {
            complete = false;
            break;
        }
        list.append(gpu);
    }
    driver.unload();
    return complete;
}
