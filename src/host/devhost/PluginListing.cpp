#include "PluginListing.h"

#include "HostRegistry.h"
#include "INodeController.h"
#include "NodeData.h"
#include "NodeGraph.h"
#include "Show.h"
#include "ShowChecks.h"
#include "ValueText.h"

#include <algorithm>

namespace {

// The value's attributes as a show file stores them.
QString storedForm(const ANodeData &value)
{
    const QString xml = ValueText::storedXml(value);
    const qsizetype begin = xml.indexOf(QLatin1String("<v"));
    const qsizetype end = xml.lastIndexOf(QLatin1String("/>"));
    if (begin < 0 || end < begin)
        return QString();
    return xml.mid(begin + 2, end - begin - 2).trimmed();
}

QString slotLine(const char *kind, int index, const std::string &name, const QUuid &type,
    const ANodeData *defaultValue, bool optional)
{
    QString line = QStringLiteral("    %1 %2 \"%3\": %4")
                       .arg(QLatin1String(kind))
                       .arg(index)
                       .arg(QString::fromStdString(name), ShowChecks::dataTypeName(type));
    if (optional)
        line += QStringLiteral(", optional");
    if (defaultValue)
        line += QStringLiteral(", default ") + storedForm(*defaultValue);
    return line;
}

} // namespace

namespace PluginListing {

void printSlots(QTextStream &out, const HostRegistry &registry)
{
    const NodeTypeRegistry &r = registry.registry();
    QList<QUuid> types = r.controllerNames.keys();
    const auto key = [&r](const QUuid &t) {
        return std::make_pair(r.controllerCategories.value(t), r.controllerNames.value(t));
    };
    std::sort(types.begin(), types.end(),
        [&key](const QUuid &a, const QUuid &b) { return key(a) < key(b); });
    // The controllers are made in a show of their own, never run.
    Show show(r);
    out << "node types:" << Qt::endl;
    for (const QUuid &type : std::as_const(types)) {
        out << "  \"" << QString::fromStdString(r.controllerNames.value(type)) << "\" ("
            << QString::fromStdString(r.controllerCategories.value(type)) << ", "
            << type.toString(QUuid::WithoutBraces) << ")" << Qt::endl;
        QString error;
        const Node *node = show.graph().createNode(type, -1, &error);
        if (!node) {
            out << "    (" << error << ")" << Qt::endl;
            continue;
        }
        const INodeController &c = *node->controller();
        for (const InputSlotDescriptor &d : c.inputSlots()) {
            out << slotLine("input", d.index, d.name, d.type, d.defaultValue.get(), d.isOptional)
                << Qt::endl;
        }
        for (const OutputSlotDescriptor &d : c.outputSlots())
            out << slotLine("output", d.index, d.name, d.type, nullptr, false) << Qt::endl;
        for (const PropertySlotDescriptor &d : c.propertySlots()) {
            out << slotLine("property", d.index, d.name, d.type, d.defaultValue.get(), false)
                << Qt::endl;
        }
        for (const TriggerDescriptor &d : c.inputTriggers()) {
            out << "    input trigger " << d.index << " \"" << QString::fromStdString(d.name)
                << "\"" << Qt::endl;
        }
        for (const TriggerDescriptor &d : c.outputTriggers()) {
            out << "    output trigger " << d.index << " \"" << QString::fromStdString(d.name)
                << "\"" << Qt::endl;
        }
    }
}

} // namespace PluginListing
