// The node controller base: value creation, the XML form of the values and the
// access to connected inputs and triggers through the host's graph.
#include "HostRegistry.h"
#include "INodeController.h"
#include "NodeData.h"
#include "NodeGraph.h"
#include "element_xml.h"

#include <QDomDocument>
#include <QIODevice>
#include <QTest>
#include <XmlWriter.h>

namespace {

const QUuid kProbeType = QUuid::fromString(u"0b6c1d52-9d1e-4a43-8d6f-1c0a7e5b9f01");
const QUuid kEmptyType = QUuid::fromString(u"0b6c1d52-9d1e-4a43-8d6f-1c0a7e5b9f02");
const QUuid kUnknownDataType = QUuid::fromString(u"0b6c1d52-9d1e-4a43-8d6f-1c0a7e5b9f03");

// Inputs: 0 bool with default, 1 optional int, 2 vec2 from the factory, 3 a type
// without factory, 4 bool. Outputs: 0 int, 1 bool. Two properties, triggers in and out.
class ProbeController : public INodeController
{
public:
    explicit ProbeController(Node &node)
        : INodeController(node)
    { }

    const InputSlotDescriptors &inputSlots() const override
    {
        static const InputSlotDescriptors list {
            {"A", kBoolDataTypeId, 0, std::make_shared<BoolData>(true), false, 0},
            {"B", kIntDataTypeId, 1, nullptr, true, 0},
            {"C", kVec2DataTypeId, 2, nullptr, false, 0},
            {"X", kUnknownDataType, 3, nullptr, false, 0},
            {"E", kBoolDataTypeId, 4, nullptr, false, 0}};
        return list;
    }
    const OutputSlotDescriptors &outputSlots() const override
    {
        static const OutputSlotDescriptors list {
            {"Out", kIntDataTypeId, 0}, {"Flag", kBoolDataTypeId, 1}};
        return list;
    }
    const TriggerDescriptors &inputTriggers() const override
    {
        static const TriggerDescriptors list {{0, "In0"}, {1, "In1"}};
        return list;
    }
    const TriggerDescriptors &outputTriggers() const override
    {
        static const TriggerDescriptors list {{0, "Fire"}};
        return list;
    }
    const PropertySlotDescriptors &propertySlots() const override
    {
        static const PropertySlotDescriptors list {
            {"Device", kDeviceDescriptorDataTypeId, 0,
                std::make_shared<DeviceDescriptorData>(QStringLiteral("TestDevice"), 3), 0},
            {"Count", kIntDataTypeId, 1, nullptr, 0}};
        return list;
    }
    void onPropertyChanged(int index) override { propertyChanges.append(index); }
    void updateOutputs() override { ++updates; }
    void onInputTrigger(int index) override
    {
        inputTriggersSeen.append(index);
        if (refire)
            fireOutputTrigger(0);
    }

    void setDescriptorFlag(bool on) { m_writeSlotDescriptors = on; }
    std::vector<std::shared_ptr<ANodeData>> &inputs() { return m_inputValues; }

    QList<int> propertyChanges;
    QList<int> inputTriggersSeen;
    int updates = 0;
    bool refire = false;
};

class EmptyController : public INodeController
{
public:
    using INodeController::INodeController;
};

QString written(const INodeController &controller)
{
    const QString text = elementXml(QStringLiteral("node"),
        [&controller](XmlWriter &writer) { controller.writeValues(writer); });
    return text.section(QLatin1Char('\n'), 1); // without the declaration
}

QDomElement element(const QString &xml)
{
    static QDomDocument doc; // keeps the returned element alive
    doc = QDomDocument();
    doc.setContent(xml);
    return doc.documentElement();
}

} // namespace

class TestINodeController : public QObject
{
    Q_OBJECT

private:
    NodeTypeRegistry m_registry;
    std::unique_ptr<NodeGraph> m_graph;

    ProbeController *probe(int id)
    {
        Node *node = m_graph->createNode(kProbeType, id);
        return node ? static_cast<ProbeController *>(node->controller()) : nullptr;
    }

private slots:
    void initTestCase()
    {
        HostRegistry::registerHostTypes(m_registry);
        m_registry.controllerFactories.insert(kProbeType, [](Node &node) -> INodeController * {
            auto *c = new ProbeController(node);
            c->initValues();
            return c;
        });
        m_registry.controllerFactories.insert(kEmptyType, [](Node &node) -> INodeController * {
            auto *c = new EmptyController(node);
            c->initValues();
            return c;
        });
    }

    void init() { m_graph = std::make_unique<NodeGraph>(m_registry, nullptr); }
    void cleanup() { m_graph.reset(); }

    void initValuesFollowsTheDescriptors()
    {
        ProbeController *c = probe(1);
        QVERIFY(c);
        QCOMPARE(c->qt_metacast("INodeController"), static_cast<void *>(c));
        const auto &in = c->inputValues();
        QCOMPARE(in.size(), size_t(5));
        auto *a = dynamic_cast<BoolData *>(in[0].get());
        QVERIFY(a && a->value && a->defined);
        QVERIFY(!in[1]); // optional
        QVERIFY(dynamic_cast<Vec2Data *>(in[2].get()) && in[2]->defined);
        QVERIFY(!in[3]); // no factory for the type
        QCOMPARE(c->outputValues().size(), size_t(2));
        QVERIFY(c->outputData<IntData>(0) && !c->outputData<IntData>(0)->defined);
        QVERIFY(c->outputData<BoolData>(1) && !c->outputData<BoolData>(1)->defined);
        auto *device = c->propertyData<DeviceDescriptorData>(0);
        QVERIFY(device && device->defined);
        QCOMPARE(device->deviceType, QStringLiteral("TestDevice"));
        QCOMPARE(device->deviceId, 3);
        QVERIFY(c->propertyData<IntData>(1) && c->propertyData<IntData>(1)->defined);
        // A clone, not the descriptor's own value.
        device->deviceId = 9;
        QCOMPARE(
            static_cast<DeviceDescriptorData *>(c->propertySlots()[0].defaultValue.get())->deviceId,
            3);
    }

    void writeValuesWritesEmptyListsToo()
    {
        Node *node = m_graph->createNode(kEmptyType, 1);
        QCOMPARE(written(*node->controller()),
            QStringLiteral(
                "<node><userDefaultInputValues/><outputValues/><propertyValues/></node>"));
    }

    void writeValuesSkipsEmptyInputsAndIndexesTheRest()
    {
        ProbeController *c = probe(1);
        const QString xml = written(*c);
        QVERIFY(xml.startsWith(QStringLiteral(
            "<node><userDefaultInputValues><userDefaultInputValue index=\"0\" value=\"1\"/>"
            "<userDefaultInputValue index=\"2\" x=\"0\" y=\"0\"/>"
            "<userDefaultInputValue index=\"4\" value=\"0\"/></userDefaultInputValues>")));
        QVERIFY(xml.contains(QStringLiteral(
            "<outputValues><outputValue value=\"0\"/><outputValue value=\"0\"/></outputValues>")));
        QVERIFY(
            xml.contains(QStringLiteral("<propertyValues><propertyValue deviceType=\"TestDevice\" "
                                        "deviceId=\"3\"/><propertyValue value=\"0\"/>")));
        QVERIFY(!xml.contains(QStringLiteral("inputSlots")));
    }

    void writeValuesWithTheDescriptorFlag()
    {
        ProbeController *c = probe(1);
        c->setDescriptorFlag(true);
        const QString xml = written(*c);
        QVERIFY(xml.contains(QStringLiteral(
            "<inputSlotDescriptor id=\"0\" name=\"A\" "
            "type=\"{870466bf-0eb8-4f11-a8cf-6e052dc6b439}\" "
            "index=\"0\" isOptional=\"0\"><defaultValue value=\"1\"/></inputSlotDescriptor>")));
        QVERIFY(xml.contains(
            QStringLiteral("<inputSlotDescriptor id=\"1\" name=\"B\" type=\"{118b0847-"
                           "9ed4-4a1e-885b-dc9a927efa03}\" index=\"1\" isOptional=\"1\"/>")));
        QVERIFY(xml.contains(
            QStringLiteral("<outputSlots><outputSlotDescriptor id=\"0\" name=\"Out\"")));
    }

    void readValuesWithoutInputsLeavesThemEmpty()
    {
        ProbeController *c = probe(1);
        c->readValues(element(QStringLiteral("<node><outputValues/></node>")));
        QCOMPARE(c->inputValues().size(), size_t(5));
        for (const auto &value : c->inputValues())
            QVERIFY(!value); // even the slot with a default
        QVERIFY(c->propertyChanges.isEmpty());
    }

    void readValuesIndexRules()
    {
        ProbeController *c = probe(1);
        c->readValues(element(QStringLiteral(
            "<node><userDefaultInputValues>"
            "<userDefaultInputValue index=\"1\" value=\"5\"/>"
            "<userDefaultInputValue index=\"1\" value=\"7\"/>" // same index: the later one last
            "<userDefaultInputValue value=\"1\"/>" // missing index: 0
            "<userDefaultInputValue index=\"99\" value=\"1\"/>" // out of range: ignored
            "<userDefaultInputValue index=\"3\" value=\"1\"/>" // no factory: skipped
            "<userDefaultInputValue index=\"x\" x=\"2\" y=\"3\"/>" // not a number: 0
            "</userDefaultInputValues></node>")));
        auto *b = dynamic_cast<IntData *>(c->inputValues()[1].get());
        QVERIFY(b && b->defined);
        QCOMPARE(b->value, 7);
        QVERIFY(!c->inputValues()[3]);
        QVERIFY(!c->inputValues()[2]);
        // Index 0 got the bool and then the vec2 element (read as a bool: no "value").
        auto *a = dynamic_cast<BoolData *>(c->inputValues()[0].get());
        QVERIFY(a && a->defined && !a->value);
    }

    void readValuesMatchesOutputsAndPropertiesByPosition()
    {
        ProbeController *c = probe(1);
        c->readValues(element(QStringLiteral(
            "<node><outputValues><outputValue value=\"42\"/><outputValue value=\"1\"/>"
            "<outputValue value=\"9\"/></outputValues>"
            "<propertyValues><propertyValue deviceType=\"Other\" deviceId=\"2\"/>"
            "<propertyValue value=\"6\"/><propertyValue value=\"8\"/></propertyValues></node>")));
        QCOMPARE(c->outputData<IntData>(0)->value, 42);
        QVERIFY(c->outputData<BoolData>(1)->value);
        QCOMPARE(c->propertyData<DeviceDescriptorData>(0)->deviceType, QStringLiteral("Other"));
        QCOMPARE(c->propertyData<IntData>(1)->value, 6);
        // Once per element, also beyond the property count.
        QCOMPARE(c->propertyChanges, (QList<int> {0, 1, 2}));
    }

    void onePropertyValueCallsOnPropertyChangedOnce()
    {
        ProbeController *c = probe(1);
        c->readValues(
            element(QStringLiteral("<node><propertyValues><propertyValue deviceType=\"T\" "
                                   "deviceId=\"1\"/></propertyValues></node>")));
        QCOMPARE(c->propertyChanges, QList<int> {0});
    }

    void writeReadWriteIsStable()
    {
        ProbeController *c = probe(1);
        c->outputData<IntData>(0)->value = -12;
        c->propertyData<IntData>(1)->value = 77;
        const QString first = written(*c);
        ProbeController *d = probe(2);
        d->readValues(element(first));
        QCOMPARE(written(*d), first);
    }

    void unconnectedInputGivesTheNodesOwnValue()
    {
        ProbeController *c = probe(1);
        c->inputs()[0]->defined = false;
        auto a = c->inputValue<BoolData>(0);
        QVERIFY(a); // defined or not
        QVERIFY(!c->inputValue<IntData>(0)); // another class
        QVERIFY(!c->inputValue<IntData>(1)); // empty entry
        QVERIFY(!c->inputValue<BoolData>(5)); // beyond the inputs
        QVERIFY(!c->inputValue<BoolData>(-1));
    }

    void nodeUnknownToTheGraphGivesNone()
    {
        NodeGraph other(m_registry, nullptr);
        Node stray(other, 5, kProbeType);
        ProbeController c(stray);
        c.initValues();
        QVERIFY(!c.inputValue<BoolData>(0));
    }

    void connectedInputRefreshesUpstreamOncePerTick()
    {
        ProbeController *up = probe(1);
        ProbeController *down = probe(2);
        QVERIFY(m_graph->connectValue({1, 0, 2, 1}));
        QVERIFY(!down->inputValue<IntData>(1)); // upstream output not defined
        QCOMPARE(up->updates, 1);
        up->outputData<IntData>(0)->value = 3;
        up->outputData<IntData>(0)->defined = true;
        auto value = down->inputValue<IntData>(1);
        QVERIFY(value);
        QCOMPARE(value->value, 3);
        QCOMPARE(up->updates, 1); // same tick
        m_graph->advanceTick();
        down->inputValue<IntData>(1);
        down->inputValue<IntData>(1);
        QCOMPARE(up->updates, 2);
        QVERIFY(!down->inputValue<BoolData>(1)); // wanted class differs
    }

    void convertersBridgeTypesAndKeepDefined()
    {
        ProbeController *up = probe(1);
        ProbeController *down = probe(2);
        QVERIFY(m_graph->connectValue({1, 0, 2, 0})); // int output -> bool input
        QVERIFY(m_graph->connectValue({1, 0, 2, 2})); // int output -> vec2 input: no converter
        up->outputData<IntData>(0)->value = 5;
        up->outputData<IntData>(0)->defined = true;
        auto b = down->inputValue<BoolData>(0);
        QVERIFY(b && b->value && b->defined);
        up->outputData<IntData>(0)->value = 0;
        m_graph->advanceTick();
        QVERIFY(!down->inputValue<BoolData>(0)->value);
        QVERIFY(!down->inputValue<Vec2Data>(2));
        up->outputData<IntData>(0)->defined = false;
        QVERIFY(!down->inputValue<BoolData>(0));
    }

    void removedUpstreamGivesNone()
    {
        probe(1)->outputData<IntData>(0)->defined = true;
        ProbeController *down = probe(2);
        QVERIFY(m_graph->connectValue({1, 0, 2, 1}));
        QVERIFY(down->inputValue<IntData>(1));
        QVERIFY(m_graph->removeNode(1));
        QCOMPARE(m_graph->valueConnections().size(), 1); // the connection remains
        QVERIFY(!down->inputValue<IntData>(1));
    }

    void fireOutputTriggerReachesConnectedNodes()
    {
        ProbeController *source = probe(1);
        ProbeController *a = probe(2);
        ProbeController *b = probe(3);
        QVERIFY(m_graph->connectTrigger({1, 0, 2, 1}));
        QVERIFY(m_graph->connectTrigger({1, 0, 3, 0}));
        QVERIFY(m_graph->connectTrigger({1, 0, 3, 1}));
        QVERIFY(!m_graph->connectTrigger({1, 1, 2, 0})); // no such output trigger
        const quint64 before = m_graph->tick();
        source->fireOutputTrigger(0);
        QCOMPARE(m_graph->tick(), before + 1);
        QCOMPARE(a->inputTriggersSeen, QList<int> {1});
        QCOMPARE(b->inputTriggersSeen, (QList<int> {0, 1}));
    }

    void triggersToRemovedNodesAreSkipped()
    {
        ProbeController *source = probe(1);
        probe(2);
        ProbeController *kept = probe(3);
        QVERIFY(m_graph->connectTrigger({1, 0, 2, 0}));
        QVERIFY(m_graph->connectTrigger({1, 0, 3, 0}));
        QVERIFY(m_graph->removeNode(2));
        source->fireOutputTrigger(0);
        QCOMPARE(kept->inputTriggersSeen, QList<int> {0});
    }

    void triggerLoopIsCut()
    {
        ProbeController *c = probe(1);
        c->refire = true;
        QVERIFY(m_graph->connectTrigger({1, 0, 1, 0}));
        c->fireOutputTrigger(0);
        QCOMPARE(c->inputTriggersSeen.size(), NodeGraph::kMaxTriggerDepth);
        // The depth is released again: a new firing runs as deep.
        c->inputTriggersSeen.clear();
        c->fireOutputTrigger(0);
        QCOMPARE(c->inputTriggersSeen.size(), NodeGraph::kMaxTriggerDepth);
    }

    void graphRejectsBadConnections()
    {
        probe(1);
        probe(2);
        QVERIFY(!m_graph->connectValue({1, 2, 2, 0})); // no output 2
        QVERIFY(!m_graph->connectValue({1, 0, 2, 5})); // no input 5
        QVERIFY(!m_graph->connectValue({1, 0, 9, 0})); // no node 9
        QVERIFY(m_graph->connectValue({1, 0, 2, 0}));
        QString error;
        QVERIFY(!m_graph->connectValue({1, 1, 2, 0}, &error)); // already fed
        QVERIFY(error.contains(QStringLiteral("already fed")));
        QVERIFY(!m_graph->createNode(QUuid::createUuid(), -1, &error));
        QVERIFY(error.contains(QStringLiteral("unknown controller type")));
        QVERIFY(!m_graph->createNode(kProbeType, 1)); // id taken
    }
};

QTEST_GUILESS_MAIN(TestINodeController)
#include "tst_inodecontroller.moc"
