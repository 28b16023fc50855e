#include "TouchZones.h"

#include "Device.h"
#include "INodeController.h"
#include "NodeData.h"
#include "NodeGraph.h"
#include "Show.h"

#include <QDomDocument>
#include <XmlWriter.h>

namespace {

const QUuid kZoneControllerType = QUuid::fromString(u"22127c73-0cf8-49f9-91d8-8d5aa096ee27");
const QString kTouchScreenType = QStringLiteral("TouchScreen");

} // namespace

const ANodeData *TouchZones::effectiveInput(const Node &node, int input)
{
    const INodeController *controller = node.controller();
    if (!controller || input < 0 || size_t(input) >= controller->inputValues().size())
        return nullptr;
    // The value as it stands: reading it through the controller would run the upstream
    // node's updateOutputs from a paint.
    if (const auto feed = node.graph().connectionToInput(node.id(), input)) {
        const Node *from = node.graph().node(feed->fromNode);
        const INodeController *upstream = from ? from->controller() : nullptr;
        if (!upstream || feed->output < 0
            || size_t(feed->output) >= upstream->outputValues().size())
            return nullptr;
        return upstream->outputValues()[size_t(feed->output)].get();
    }
    return controller->inputValues()[size_t(input)].get();
}

QPair<int, int> TouchZones::watchedOutput(const Show &show, Device *device)
{
    const QString key = QStringLiteral("%1/%2/%3")
                            .arg(show.instanceName(), device->typeName())
                            .arg(device->deviceNumber());
    const auto known = m_watched.constFind(key);
    if (known != m_watched.cend())
        return *known;
    QString xml;
    {
        XmlWriter writer(&xml);
        device->writeXml(writer);
    }
    QPair<int, int> watched(-1, -1);
    QDomDocument document;
    if (document.setContent(xml)) {
        const QDomElement e = document.documentElement();
        bool serverOk = false;
        bool outputOk = false;
        const int server = e.attribute(QStringLiteral("serverId")).toInt(&serverOk);
        const int output = e.attribute(QStringLiteral("serverOutputId")).toInt(&outputOk);
        if (serverOk && outputOk)
            watched = qMakePair(server, output);
    }
    m_watched.insert(key, watched);
    return watched;
}

QList<TouchCanvas::Zone> TouchZones::zonesOf(const Show &show, int server, int output)
{
    QList<TouchCanvas::Zone> zones;
    for (Node *node : show.graph().nodes()) {
        INodeController *controller = node->controller();
        if (node->controllerType() != kZoneControllerType || !controller)
            continue;
        const auto *descriptor = controller->propertyData<DeviceDescriptorData>(0);
        Device *device = descriptor && descriptor->deviceType == kTouchScreenType
            ? show.findDevice(descriptor->deviceType, descriptor->deviceId)
            : nullptr;
        if (!device || watchedOutput(show, device) != qMakePair(server, output))
            continue;
        const auto *topLeft = dynamic_cast<const Vec2Data *>(effectiveInput(*node, 0));
        const auto *bottomRight = dynamic_cast<const Vec2Data *>(effectiveInput(*node, 1));
        // A corner the node cannot read makes every touch a miss: nothing to draw.
        if (!topLeft || !topLeft->defined || !bottomRight || !bottomRight->defined)
            continue;
        TouchCanvas::Zone zone;
        zone.nodeId = node->id();
        zone.name
            = node->name().isEmpty() ? QStringLiteral("node %1").arg(node->id()) : node->name();
        zone.topLeft = QPointF(topLeft->x, topLeft->y);
        zone.bottomRight = QPointF(bottomRight->x, bottomRight->y);
        zones.append(zone);
    }
    return zones;
}
