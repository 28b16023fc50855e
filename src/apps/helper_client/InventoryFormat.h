#pragma once

#include "HelperRecords.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

// The one form of every GPU, connector and output id the client prints: hexadecimal, as
// the options take them.
QString idText(quint32 id);

QJsonObject gpuListToJson(const GpuList &list);
QJsonObject connectorListToJson(const ConnectorList &list);
// A fixed-width table, one line per connector, for people reading a terminal.
QString gpuListToTable(const GpuList &list);
