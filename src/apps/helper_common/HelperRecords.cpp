#include "HelperRecords.h"

#include <memory>

namespace {

// Smallest encoded sizes, used to refuse list counts that cannot fit the input.
constexpr quint32 kMinDisplayDeviceBytes = 4 + 4 + 4 + 4 + 3 * 4 + 4 * 4;
constexpr quint32 kMinConnectorBytes = 4 + 4 + 4 + 4 + 4 + 4 + kMinDisplayDeviceBytes;
constexpr quint32 kMinGpuBytes = 4 + 4 + 4 + 4 + 4 + 4;
constexpr quint32 kMinConnectorRefBytes = 4 + 4 + 4;

struct NodeCloser
{
    TaggedRWnode &parent;
    QString tag;
    void operator()(TaggedRWnode *node) const
    {
        parent.closeChild(node, tag);
        delete node;
    }
};
using ChildNode = std::unique_ptr<TaggedRWnode, NodeCloser>;

ChildNode openChild(TaggedRWnode &parent, const QString &tag)
{
    return ChildNode(parent.child(tag), NodeCloser {parent, tag});
}

// Opens a record and passes its version: 1 when writing; whatever was read is accepted.
ChildNode openRecord(TaggedRWnode &parent, const QString &tag)
{
    ChildNode node = openChild(parent, tag);
    qint32 version = 1;
    node->rw(version, QStringLiteral("version"));
    return node;
}

template<typename Container, typename ElementFn>
void rwList(TaggedRWnode &parent, Container &list, const QString &tag, quint32 minElementBytes,
    ElementFn element)
{
    ChildNode node = openChild(parent, tag);
    qint32 count = qint32(list.size());
    node->rw(count, QStringLiteral(":size"));
    if (node->isReading()) {
        list.clear();
        const quint32 wanted = quint32(count);
        if (!node->admitsCount(wanted, minElementBytes))
            return;
        list.resize(qsizetype(wanted));
    }
    for (qsizetype i = 0; i < list.size(); ++i)
        element(*node, list[i], tag + QStringLiteral("[%1]").arg(i));
}

template<typename T>
void rwRecordList(
    TaggedRWnode &parent, QVector<T> &list, const QString &tag, quint32 minElementBytes)
{
    rwList(parent, list, tag, minElementBytes,
        [](TaggedRWnode &node, T &element, const QString &elementTag) {
            rwRecord(node, element, elementTag);
        });
}

} // namespace

void rwRecord(TaggedRWnode &parent, DisplayDeviceInfo &value, const QString &tag)
{
    ChildNode node = openRecord(parent, tag);
    node->rw(value.displayName, QStringLiteral("displayName"));
    node->rw(value.monitorName, QStringLiteral("monitorName"));
    node->rw(value.outputId, QStringLiteral("outputId"));
    node->rw(value.isEdidOverriden, QStringLiteral("isEdidOverriden"));
    node->rw(value.isDisplayPortDualModeActive, QStringLiteral("isDisplayPortDualModeActive"));
    node->rw(value.isGdiPrimary, QStringLiteral("isGdiPrimary"));
    node->rw(value.resolutionWidth, QStringLiteral("resolutionWidth"));
    node->rw(value.resolutionHeight, QStringLiteral("resolutionHeight"));
    node->rw(value.colorDepth, QStringLiteral("colorDepth"));
    node->rw(value.refreshRate1K, QStringLiteral("refreshRate1K"));
}

void rwRecord(TaggedRWnode &parent, ConnectorInfo &value, const QString &tag)
{
    ChildNode node = openRecord(parent, tag);
    node->rw(value.mainId, QStringLiteral("mainId"));
    node->rw(value.isDualSupported, QStringLiteral("isDualSupported"));
    node->rw(value.alternativeId, QStringLiteral("alternativeId"));
    node->rw(value.type, QStringLiteral("type"));
    node->rw(value.isConnected, QStringLiteral("isConnected"));
    rwRecord(*node, value.displayDevice, QStringLiteral("displayDevice"));
}

void rwRecord(TaggedRWnode &parent, GpuInfo &value, const QString &tag)
{
    ChildNode node = openRecord(parent, tag);
    node->rw(value.id, QStringLiteral("id"));
    node->rw(value.brand, QStringLiteral("brand"));
    node->rw(value.model, QStringLiteral("model"));
    node->rw(value.isPro, QStringLiteral("isPro"));
    rwRecordList(*node, value.connectors, QStringLiteral("connectors"), kMinConnectorBytes);
}

void rwRecord(TaggedRWnode &parent, GpuList &value, const QString &tag)
{
    ChildNode node = openRecord(parent, tag);
    rwRecordList(*node, value.gpus, QStringLiteral("gpus"), kMinGpuBytes);
}

void rwRecord(TaggedRWnode &parent, ConnectorRef &value, const QString &tag)
{
    ChildNode node = openRecord(parent, tag);
    node->rw(value.gpuId, QStringLiteral("gpuId"));
    node->rw(value.connectorId, QStringLiteral("connectorId"));
}

void rwRecord(TaggedRWnode &parent, ConnectorList &value, const QString &tag)
{
    ChildNode node = openRecord(parent, tag);
    rwRecordList(*node, value.connectors, QStringLiteral("connectors"), kMinConnectorRefBytes);
}

void rwRecord(TaggedRWnode &parent, EdidBlock &value, const QString &)
{
    rwList(parent, value.edid, QStringLiteral("edid"), 1,
        [](TaggedRWnode &node, char &byte, const QString &elementTag) {
            node.rw(byte, elementTag);
        });
}

bool DisplayDeviceInfo::operator==(const DisplayDeviceInfo &o) const
{
    return displayName == o.displayName && monitorName == o.monitorName && outputId == o.outputId
        && isEdidOverriden == o.isEdidOverriden
        && isDisplayPortDualModeActive == o.isDisplayPortDualModeActive
        && isGdiPrimary == o.isGdiPrimary && resolutionWidth == o.resolutionWidth
        && resolutionHeight == o.resolutionHeight && colorDepth == o.colorDepth
        && refreshRate1K == o.refreshRate1K;
}

bool ConnectorInfo::operator==(const ConnectorInfo &o) const
{
    return mainId == o.mainId && isDualSupported == o.isDualSupported
        && alternativeId == o.alternativeId && type == o.type && isConnected == o.isConnected
        && displayDevice == o.displayDevice;
}

bool GpuInfo::operator==(const GpuInfo &o) const
{
    return id == o.id && brand == o.brand && model == o.model && isPro == o.isPro
        && connectors == o.connectors;
}
