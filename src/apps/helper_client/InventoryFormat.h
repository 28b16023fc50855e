#pragma once

#include "HelperRecords.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

QJsonObject gpuListToJson(const GpuList &list);
QJsonObject connectorListToJson(const ConnectorList &list);
// A fixed-width table, one line per connector, for people reading a terminal.
QString gpuListToTable(const GpuList &list);
