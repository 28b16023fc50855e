#pragma once

#include "HelperRecords.h"
#include "NvApiTypes.h"

#include <QString>
#include <QVector>

class NvApi;

// What the driver told about one display id, before connector records are built.
struct DisplayIdProbe
{
    uint32_t displayId = 0;
    bool connected = false;
    uint32_t typeCode = 0; // first connector entry
    uint32_t secondValue = 0; // first connector entry
    bool dualModeFirst = false; // bit 0 of the word at offset 40 of the connector information
    uint32_t edidFlag = 0; // from the EDID query of a connected id
};

// Connector kind text of an NVAPI connector type code.
QString connectorKind(uint32_t typeCode);
// The model name of a GPU full name: the brand (any letter case) removed when the name
// starts with it; any other name passes unchanged.
QString modelFromFullName(const QString &fullName);
// Connector records of a GPU's display ids, the two ids of a DisplayPort dual-mode
// connector merged into one.
QVector<ConnectorInfo> buildConnectorRecords(const QVector<DisplayIdProbe> &ids);

// Fills `list` with the machine's GPUs; false when it stopped early (what was complete is
// kept). Initialises and unloads the driver itself.
bool buildGpuList(NvApi &driver, QVector<GpuInfo> &list);
bool buildConnectorList(NvApi &driver, nv::Handle gpuHandle, GpuInfo &gpu);
