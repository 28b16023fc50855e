#pragma once

#include "ShowFile.h"

#include <QDomElement>
#include <QHash>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QUuid>

class NodeGraph;
class Show;
struct ValueConnection;

// The values of a show that the plug-ins would take without a word, checked with the
// line they are on. A value that no device could mean (not a number, out of its range,
// a media server or output the show lacks, an unknown channel type) is an error; one
// that the plug-in reads in a documented way that may surprise (a default, a bound, a
// reference that leads nowhere) loads as the plug-in reads it, with a warning.
namespace ShowChecks {

// A device element as stored, by device type and number, for the references of nodes.
using DeviceElements = QHash<QPair<QString, int>, QDomElement>;

// The device's own attributes and children, before the device reads them. False with
// *error on the first error; warnings are appended.
bool checkDevice(const QDomElement &device, const QList<InstanceConfig> &instances,
    QStringList *warnings, QString *error);

// The devices and channels that a node's stored values name.
void checkNodeReferences(
    const QDomElement &node, const DeviceElements &devices, QStringList *warnings);

// An output feeding an input of another data type needs a converter.
bool checkValueTypes(const ValueConnection &connection, const NodeGraph &graph, QString *error);

// The name by which messages and listings give a data type.
QString dataTypeName(const QUuid &type);

} // namespace ShowChecks
