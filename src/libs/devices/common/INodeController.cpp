#include "INodeController.h"

#include "NodeGraph.h"
#include "NodeTypeRegistry.h"

#include <QDomNodeList>
#include <XmlWriter.h>

namespace {

const QString kUserDefaultInputValueTag = QStringLiteral("userDefaultInputValue");
const QString kOutputValueTag = QStringLiteral("outputValue");
const QString kPropertyValueTag = QStringLiteral("propertyValue");

QList<QDomElement> descendants(const QDomElement &element, const QString &tag)
{
    QList<QDomElement> result;
    const QDomNodeList list = element.elementsByTagName(tag);
    for (int i = 0; i < list.size(); ++i)
        result.append(list.at(i).toElement());
    return result;
}

void writeValue(XmlWriter &writer, const QString &tag, const ANodeData *value)
{
    writer.startElement(tag);
    // An empty entry still gets its element, so that later values keep their positions.
    if (value)
        value->serialize(writer);
    writer.endElement(tag);
}

} // namespace

INodeController::INodeController(Node &node)
    : m_node(node)
{ }

INodeController::~INodeController() = default;

const InputSlotDescriptors &INodeController::inputSlots() const
{
    static const InputSlotDescriptors none;
    return none;
}

const OutputSlotDescriptors &INodeController::outputSlots() const
{
    static const OutputSlotDescriptors none;
    return none;
}

const TriggerDescriptors &INodeController::inputTriggers() const
{
    static const TriggerDescriptors none;
    return none;
}

const TriggerDescriptors &INodeController::outputTriggers() const
{
    static const TriggerDescriptors none;
    return none;
}

const PropertySlotDescriptors &INodeController::propertySlots() const
{
    static const PropertySlotDescriptors none;
    return none;
}

int INodeController::nodeFlags() const
{
    return 0;
}

void INodeController::onPropertyChanged(int)
{ }

bool INodeController::emitsTriggers() const
{
    return false;
}

void INodeController::resetState()
{ }

void INodeController::updateOutputs()
{ }

void INodeController::onInputTrigger(int)
{ }

ANodeData *INodeController::newValue(const QUuid &type) const
{
    const DataFactory factory = m_node.graph().registry().dataFactories.value(type);
    return factory ? factory() : nullptr;
}

void INodeController::initValues()
{
    m_inputValues.clear();
    for (const InputSlotDescriptor &slot : inputSlots()) {
        if (slot.isOptional)
            m_inputValues.emplace_back();
        else if (slot.defaultValue)
            m_inputValues.emplace_back(slot.defaultValue->clone());
        else
            m_inputValues.emplace_back(newValue(slot.type));
    }
    for (const std::shared_ptr<ANodeData> &value : m_inputValues) {
        if (value)
            value->defined = true;
    }

    m_outputValues.clear();
    for (const OutputSlotDescriptor &slot : outputSlots())
        m_outputValues.emplace_back(newValue(slot.type));

    m_propertyValues.clear();
    for (const PropertySlotDescriptor &slot : propertySlots()) {
        m_propertyValues.emplace_back(
            slot.defaultValue ? slot.defaultValue->clone() : newValue(slot.type));
    }
    for (const std::unique_ptr<ANodeData> &value : m_propertyValues) {
        if (value)
            value->defined = true;
    }
}

void INodeController::writeValues(XmlWriter &writer) const
{
    writer.startElement(QStringLiteral("userDefaultInputValues"));
    for (size_t i = 0; i < m_inputValues.size(); ++i) {
        if (!m_inputValues[i])
            continue;
        writer.startElement(kUserDefaultInputValueTag);
        writer.attribute(QStringLiteral("index"), quint64(i));
        m_inputValues[i]->serialize(writer);
        writer.endElement(kUserDefaultInputValueTag);
    }
    writer.endElement(QStringLiteral("userDefaultInputValues"));

    writer.startElement(QStringLiteral("outputValues"));
    for (const std::shared_ptr<ANodeData> &value : m_outputValues)
        writeValue(writer, kOutputValueTag, value.get());
    writer.endElement(QStringLiteral("outputValues"));

    writer.startElement(QStringLiteral("propertyValues"));
    for (const std::unique_ptr<ANodeData> &value : m_propertyValues)
        writeValue(writer, kPropertyValueTag, value.get());
    writer.endElement(QStringLiteral("propertyValues"));

    if (!m_writeSlotDescriptors)
        return;

    writer.startElement(QStringLiteral("inputSlots"));
    const InputSlotDescriptors &inputs = inputSlots();
    for (size_t i = 0; i < inputs.size(); ++i) {
        const InputSlotDescriptor &slot = inputs[i];
        writer.startElement(QStringLiteral("inputSlotDescriptor"));
        writer.attribute(QStringLiteral("id"), int(i));
        writer.attribute(QStringLiteral("name"), QString::fromStdString(slot.name));
        writer.attribute(QStringLiteral("type"), slot.type.toString(QUuid::WithBraces));
        writer.attribute(QStringLiteral("index"), slot.index);
        writer.attribute(QStringLiteral("isOptional"), slot.isOptional ? 1 : 0);
        if (slot.defaultValue) {
            writer.startElement(QStringLiteral("defaultValue"));
            slot.defaultValue->serialize(writer);
            writer.endElement(QStringLiteral("defaultValue"));
        }
        writer.endElement(QStringLiteral("inputSlotDescriptor"));
    }
    writer.endElement(QStringLiteral("inputSlots"));

    writer.startElement(QStringLiteral("outputSlots"));
    const OutputSlotDescriptors &outputs = outputSlots();
    for (size_t i = 0; i < outputs.size(); ++i) {
        writer.startElement(QStringLiteral("outputSlotDescriptor"));
        writer.attribute(QStringLiteral("id"), int(i));
        writer.attribute(QStringLiteral("name"), QString::fromStdString(outputs[i].name));
        writer.attribute(QStringLiteral("type"), outputs[i].type.toString(QUuid::WithBraces));
        writer.attribute(QStringLiteral("index"), outputs[i].index);
        writer.endElement(QStringLiteral("outputSlotDescriptor"));
    }
    writer.endElement(QStringLiteral("outputSlots"));
}

void INodeController::readValues(const QDomElement &element)
{
    const QList<QDomElement> inputElements = descendants(element, kUserDefaultInputValueTag);
    const QList<QDomElement> outputElements = descendants(element, kOutputValueTag);
    const QList<QDomElement> propertyElements = descendants(element, kPropertyValueTag);

    const InputSlotDescriptors &inputs = inputSlots();
    m_inputValues.clear();
    m_inputValues.resize(inputs.size());
    for (const QDomElement &e : inputElements) {
        bool ok = false;
        quint64 index = e.attribute(QStringLiteral("index")).toULongLong(&ok);
        if (!ok)
            index = 0;
        if (index >= inputs.size())
            continue;
        std::shared_ptr<ANodeData> &value = m_inputValues[size_t(index)];
        if (!value)
            value.reset(newValue(inputs[size_t(index)].type));
        if (!value)
            continue;
        value->deserialize(e);
        value->defined = true;
    }

    for (int i = 0; i < outputElements.size() && size_t(i) < m_outputValues.size(); ++i) {
        if (m_outputValues[size_t(i)])
            m_outputValues[size_t(i)]->deserialize(outputElements[i]);
    }
    for (int i = 0; i < propertyElements.size() && size_t(i) < m_propertyValues.size(); ++i) {
        if (m_propertyValues[size_t(i)])
            m_propertyValues[size_t(i)]->deserialize(propertyElements[i]);
    }

    for (int i = 0; i < propertyElements.size(); ++i)
        onPropertyChanged(i);
}

void INodeController::updateOutputsForTick(quint64 tick)
{
    if (m_lastUpdateTick == tick)
        return;
    m_lastUpdateTick = tick;
    updateOutputs();
}

std::shared_ptr<ANodeData> INodeController::resolveInput(int index, bool *connected)
{
    *connected = false;
    NodeGraph &graph = m_node.graph();
    const InputSlotDescriptors &inputs = inputSlots();
    if (graph.node(m_node.id()) != &m_node || index < 0 || size_t(index) >= inputs.size())
        return nullptr;

    const std::optional<ValueConnection> connection = graph.connectionToInput(m_node.id(), index);
    if (!connection) {
        return size_t(index) < m_inputValues.size() ? m_inputValues[size_t(index)] : nullptr;
    }

    *connected = true;
    Node *upstream = graph.node(connection->fromNode);
    INodeController *source = upstream ? upstream->controller() : nullptr;
    if (!source)
        return nullptr;
    source->updateOutputsForTick(graph.tick());
    if (connection->output < 0 || size_t(connection->output) >= source->m_outputValues.size())
        return nullptr;
    std::shared_ptr<ANodeData> value = source->m_outputValues[size_t(connection->output)];
    if (!value)
        return nullptr;

    const QUuid &wanted = inputs[size_t(index)].type;
    if (value->dataType == wanted)
        return value;
    const DataConverter converter
        = graph.registry().dataConverters.value(DataConverterKey(value->dataType, wanted));
    if (!converter)
        return nullptr;
    std::shared_ptr<ANodeData> converted(converter(*value));
    if (converted)
        converted->defined = value->defined;
    return converted;
}

void INodeController::fireOutputTrigger(int trigger)
{
    NodeGraph &graph = m_node.graph();
    graph.advanceTick();
    if (!graph.beginTriggerFiring(m_node, trigger))
        return;
    // A copy: a trigger handler may change the graph's connections.
    const QList<TriggerConnection> connections = graph.triggerConnectionsFrom(m_node.id(), trigger);
    for (const TriggerConnection &connection : connections) {
        Node *target = graph.node(connection.toNode);
        if (target && target->controller())
            target->controller()->onInputTrigger(connection.inputTrigger);
    }
    graph.endTriggerFiring();
}
