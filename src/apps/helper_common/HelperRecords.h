#pragma once

#include "BinaryRWnode.h"
#include "TaggedRWnode.h"

#include <QByteArray>
#include <QString>
#include <QVector>

// The largest UDP payload over IPv4: no request or reply of the helper can be longer.
constexpr qsizetype kMaxDatagramBytes = 65507;

// Records exchanged with the elevated helper. Every record starts with its version (1),
// every list with its count.

struct DisplayDeviceInfo
{
    QString displayName;
    QString monitorName;
    quint32 outputId = 0;
    bool isEdidOverriden = false;
    bool isDisplayPortDualModeActive = false;
    bool isGdiPrimary = false;
    qint32 resolutionWidth = 0;
    qint32 resolutionHeight = 0;
    qint32 colorDepth = 0;
    qint32 refreshRate1K = 0;

    bool operator==(const DisplayDeviceInfo &o) const;
    bool operator!=(const DisplayDeviceInfo &o) const { return !(*this == o); }
};

struct ConnectorInfo
{
    quint32 mainId = 0;
    bool isDualSupported = false;
    quint32 alternativeId = 0;
    QString type;
    bool isConnected = false;
    DisplayDeviceInfo displayDevice;

    bool operator==(const ConnectorInfo &o) const;
    bool operator!=(const ConnectorInfo &o) const { return !(*this == o); }
};

struct GpuInfo
{
    quint32 id = 0;
    QString brand;
    QString model;
    bool isPro = false;
    QVector<ConnectorInfo> connectors;

    bool operator==(const GpuInfo &o) const;
    bool operator!=(const GpuInfo &o) const { return !(*this == o); }
};

// Reply block of "getGpusInfo\n".
struct GpuList
{
    QVector<GpuInfo> gpus;

    bool operator==(const GpuList &o) const { return gpus == o.gpus; }
};

struct ConnectorRef
{
    quint32 gpuId = 0;
    quint32 connectorId = 0;

    bool operator==(const ConnectorRef &o) const
    {
        return gpuId == o.gpuId && connectorId == o.connectorId;
    }
    bool operator!=(const ConnectorRef &o) const { return !(*this == o); }
};

// Argument and reply block of the EDID commands.
struct ConnectorList
{
    QVector<ConnectorRef> connectors;

    bool operator==(const ConnectorList &o) const { return connectors == o.connectors; }
};

// Reply block of "exportEdid\n": the EDID bytes as a list of characters, no version.
struct EdidBlock
{
    QByteArray edid;

    bool operator==(const EdidBlock &o) const { return edid == o.edid; }
};

void rwRecord(TaggedRWnode &parent, DisplayDeviceInfo &value, const QString &tag);
void rwRecord(TaggedRWnode &parent, ConnectorInfo &value, const QString &tag);
void rwRecord(TaggedRWnode &parent, GpuInfo &value, const QString &tag);
void rwRecord(TaggedRWnode &parent, GpuList &value, const QString &tag);
void rwRecord(TaggedRWnode &parent, ConnectorRef &value, const QString &tag);
void rwRecord(TaggedRWnode &parent, ConnectorList &value, const QString &tag);
void rwRecord(TaggedRWnode &parent, EdidBlock &value, const QString &tag);

// The whole block for one value, written with the empty tag.
template<typename T>
QByteArray encodeBlock(T value)
{
    QByteArray bytes;
    BinaryRWroot root(&bytes);
    root.setWriting();
    rwRecord(root.node(), value, QString());
    return bytes;
}

// Reads one value from the start of `bytes`. Returns false when the bytes ran short or a
// count could not fit; `value` then holds what could be read. `consumed` (optional)
// receives the number of bytes the value took.
template<typename T>
bool decodeBlock(QByteArray bytes, T &value, qint64 *consumed = nullptr)
{
    BinaryRWroot root(&bytes);
    rwRecord(root.node(), value, QString());
    if (consumed)
        *consumed = root.position();
    return root.ok();
}

// As decodeBlock, but the value must take every byte.
template<typename T>
bool decodeWholeBlock(const QByteArray &bytes, T &value)
{
    qint64 consumed = 0;
    return decodeBlock(bytes, value, &consumed) && consumed == bytes.size();
}
