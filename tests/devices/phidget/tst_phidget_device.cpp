// The device's configuration in the show file, the channel designation's XML form, and the
// plug-in as the host loads it.
#include "SvgIcon.h"
#include "child_exit.h"
#include "phidget_runtime_p.h"
#include "phidget_test_support.h"

#include <DeviceFactoryInterface.h>
#include <HostRegistry.h>
#include <INodeController.h>
#include <XmlWriter.h>

#include <QApplication>
#include <QDialog>
#include <QDomDocument>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QPluginLoader>
#include <QProcess>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {
QDomElement parse(QDomDocument &document, const QString &xml)
{
    document.setContent(xml);
    return document.documentElement();
}

QString written(const std::function<void(XmlWriter &)> &write)
{
    QString text;
    {
        XmlWriter writer(&text);
        write(writer);
    }
    return text.section('\n', 1).trimmed();
}
} // namespace

class TestPhidgetDevice : public QObject
{
    Q_OBJECT

private slots:
    void readsWithDefaultsAndMerges();
    void writesInAscendingIdOrder();
    void channelData();
    void setupOfADeviceDeletedMeanwhile();
    void plugin();
    void exitWithAWriteInFlight();
};

void TestPhidgetDevice::readsWithDefaultsAndMerges()
{
    PhidgetDevice device(true);
    QCOMPARE(device.config().serialNumber, -1); // a new device
    device.setConfig({77, 0, QString(), {{50, {"kept", 1, 2, false, LM_ENCODER}}}});

    QDomDocument document;
    device.readDom(parse(document,
        "<device type=\"Phidget\" id=\"4\" name=\"Board\" producerServerAddress=\"127.0.0.1\">"
        "<channel/><channel id=\"7\" name=\"first\" type=\"5\"/>"
        "<channel id=\"7\" name=\"door\" channelNumber=\"3\" hubPort=\"abc\" isVINTDigital=\"2\""
        " type=\"6\"/>"
        "<channel id=\"8\" channelNumber=\"2\" isVINTDigital=\"abc\" type=\"99\"/>"
        "<Channel id=\"9\"/><note id=\"10\"/></device>"));
    const PhidgetDeviceConfig &read = device.config();
    QCOMPARE(read.serialNumber, 0); // missing: 0, not -1
    QCOMPARE(read.producerServerAddress, QStringLiteral("127.0.0.1"));
    QCOMPARE(read.channels.keys(), QList<int32_t>({0, 7, 8, 50})); // not cleared first
    QVERIFY(read.channels.value(0)
        == (LM_PhidgetChannel {"Channel -1", -1, -1, false, LM_PhidgetChannelType(0)}));
    // The later of two equal ids wins; "abc" is hub port 0; "2" is true.
    QVERIFY(read.channels.value(7) == (LM_PhidgetChannel {"door", 0, 3, true, LM_DIGITAL_OUTPUT}));
    QVERIFY(read.channels.value(8)
        == (LM_PhidgetChannel {"Channel 2", -1, 2, false, LM_PhidgetChannelType(99)}));
}

void TestPhidgetDevice::writesInAscendingIdOrder()
{
    PhidgetDevice device(true);
    device.setDeviceNumber(2);
    device.setName(QStringLiteral("A&B"));
    const QString head = "<device type=\"Phidget\" id=\"2\" name=\"A&amp;B\" serialNumber=\"%1\""
                         " mediaServerId=\"%2\" producerServerAddress=\"%3\"";
    QCOMPARE(
        written([&](XmlWriter &w) { device.writeXml(w); }), head.arg(-1).arg(0).arg("") + "/>");

    const PhidgetDeviceConfig config {12345, 3, "::1",
        {{9, {"nine", 2, 0, true, LM_DIGITAL_INPUT}}, {-4, {"minus", -1, -1, false, LM_ENCODER}},
            {1, {"one", 0, 1, false, LM_DIGITAL_OUTPUT}}}};
    device.setConfig(config);
    const QString xml = written([&](XmlWriter &w) { device.writeXml(w); });
    QCOMPARE(xml,
        head.arg(12345).arg(3).arg("::1")
            + "><channel id=\"-4\" name=\"minus\" channelNumber=\"-1\" hubPort=\"-1\""
              " isVINTDigital=\"0\" type=\"8\"/><channel id=\"1\" name=\"one\" channelNumber=\"1\""
              " hubPort=\"0\" isVINTDigital=\"0\" type=\"6\"/><channel id=\"9\" name=\"nine\""
              " channelNumber=\"0\" hubPort=\"2\" isVINTDigital=\"1\" type=\"5\"/></device>");

    PhidgetDevice reread(true);
    QDomDocument document;
    reread.readDom(parse(document, xml));
    QCOMPARE(reread.config().mediaServerId, 3);
    QVERIFY(reread.config().channels == config.channels);
}

void TestPhidgetDevice::channelData()
{
    PhidgetChannelData value(LM_DIGITAL_OUTPUT, 12);
    value.device = DeviceDescriptorData(QStringLiteral("Phidget"), 3);
    value.defined = true;
    const QString xml = written([&](XmlWriter &w) {
        w.startElement("v");
        value.serialize(w);
        w.endElement("v");
    });
    QVERIFY2(xml.endsWith("channelID=\"12\" channelType=\"6\"/>"), qPrintable(xml));

    QDomDocument document;
    PhidgetChannelData read;
    QVERIFY(read.channelID == -1 && read.channelType == 0 && !read.defined);
    read.deserialize(parse(document, xml));
    QVERIFY(read.channelID == 12 && read.channelType == 6 && read.device.deviceId == 3);
    QVERIFY(!read.defined);
    read.deserialize(parse(document, "<v/>"));
    QVERIFY(read.channelID == -1 && read.channelType == 0);
    read.setValue(value); // not `defined`
    QVERIFY(read.channelID == 12 && !read.defined);
    std::unique_ptr<ANodeData> copy(value.clone()); // all of it
    const auto *typed = dynamic_cast<PhidgetChannelData *>(copy.get());
    QVERIFY(typed && typed->defined && typed->channelType == 6 && typed->device.deviceId == 3);
}

void TestPhidgetDevice::setupOfADeviceDeletedMeanwhile()
{
    const PhidgetInstances instances;
    Show *const show = &instances.producer();
    PhidgetDevice *device = addPhidgetDevice(*show, 1, {});
    // Accepted, but the device went while the dialog ran: not reported as set up.
    QTimer::singleShot(0, [&show] {
        QDialog *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        show->removeDevice(PhidgetDevice::s_typeName, 1);
        if (dialog)
            dialog->accept();
    });
    QVERIFY(!device->showSetupDialog(nullptr));
}

void TestPhidgetDevice::plugin()
{
#ifndef PHIDGET_PLUGIN_PATH
    QSKIP("the plug-in is not built");
#else
    QPluginLoader loader(QStringLiteral(PHIDGET_PLUGIN_PATH));
    QCOMPARE(loader.metaData().value("IID").toString(), QStringLiteral("PhidgetDevice"));
    QCOMPARE(loader.metaData().value("className").toString(), QStringLiteral("PluginInterface"));
    auto *factory = qobject_cast<DeviceFactoryInterface *>(loader.instance());
    QVERIFY2(factory, qPrintable(loader.errorString()));
    QCOMPARE(factory->deviceType(), QStringLiteral("Phidget"));
    QCOMPARE(factory->deviceDisplayName(), QStringLiteral("Phidget"));
    LM_VERIFY_SVG_ICON_DRAWN(factory->deviceIcon(), 26);
    QCOMPARE(factory->deviceIcon().cacheKey(), factory->deviceIcon().cacheKey()); // made once
    std::unique_ptr<Device> device(factory->createDevice(false));
    QVERIFY(device->qt_metacast("PhidgetDevice") && !device->isOnMaster());
    QVERIFY(!device->isActiveOnMasterOnly());

    // Insertion order leaves no trace in the registry's hashes; the entries do.
    const NodeTypeRegistry &r = factory->nodeTypeRegistry(HostCallbacks());
    const QUuid data(QStringLiteral("b352438c-fb24-44c7-b98f-94c666c06929"));
    const QColor color(153, 102, 204, 255);
    QCOMPARE(r.dataFactories.keys(), QList<QUuid>({data}));
    QCOMPARE(r.dataColors.value(data), color);
    std::unique_ptr<ANodeData> value(r.dataFactories.value(data)());
    QVERIFY(value->dataType == data && !value->defined);
    const std::pair<const char *, std::string> controllers[]
        = {{"00bb5358-1fab-4ba2-bd3c-beb9a3f842de", "Phidget Digital Output"},
            {"20b803c3-5f56-4bb0-94dd-945d0219153f", "Phidget Digital Input"},
            {"a1c7e934-82d5-4f3b-9e60-dc4b5f781023", "Phidget Encoder Input"}};
    QCOMPARE(r.controllerFactories.size(), 3);
    NodeGraph graph(r, nullptr);
    for (const auto &[id, name] : controllers) {
        const QUuid type(QString::fromLatin1(id));
        QCOMPARE(r.controllerNames.value(type), name);
        QCOMPARE(r.controllerCategories.value(type), std::string("Devices/Phidgets"));
        QCOMPARE(r.controllerColors.value(type), color);
        const INodeController *node = graph.createNode(type)->controller();
        QVERIFY(node->propertyValues().at(0)->dataType == data);
    }
#endif
}

// A host that exits while a write of the loaded plug-in waits for its completion: its unload
// waits (at most 2 s) for the completion, but not on Windows, where the system has ended
// Phidget22's threads before the plug-in's destructors run at exit, so none can come.
void TestPhidgetDevice::exitWithAWriteInFlight()
{
#ifndef PHIDGET_PLUGIN_PATH
    QSKIP("the plug-in is not built");
#else
    if (ChildExit::isChild()) {
        QPluginLoader loader(QStringLiteral(PHIDGET_PLUGIN_PATH));
        auto *factory = qobject_cast<DeviceFactoryInterface *>(loader.instance());
        QVERIFY2(factory, qPrintable(loader.errorString()));
        NodeTypeRegistry registry = factory->nodeTypeRegistry(HostCallbacks());
        HostRegistry::registerHostTypes(registry);
        auto *show = new Show(registry); // left to the exit, with the device
        QCOMPARE(lmsim_phidget_board_create(7000, 0), 0);
        lmsim_phidget_board_add_channels(7000, PHIDCHCLASS_DIGITALOUTPUT, -1, 1, 0);
        lmsim_phidget_board_attach(7000, "127.0.0.60");
        auto *device = static_cast<PhidgetDevice *>(factory->createDevice(true));
        device->setDeviceNumber(1);
        device->setConfig({7000, 0, "127.0.0.60", {{1, phidgetChannel(LM_DIGITAL_OUTPUT, 0)}}});
        QVERIFY(show->addDevice(device));
        device->init();
        QTRY_COMPARE(lmsim_phidget_is_attached(device->runtime()->channelHandle(1)), 1);

        // Phidget22's thread held in a handler, so the write's completion never comes.
        static std::atomic<bool> inside {false};
        PhidgetDigitalOutputHandle holder = nullptr;
        PhidgetDigitalOutput_create(&holder);
        Phidget_setOnAttachHandler(
            PhidgetHandle(holder),
            [](PhidgetHandle, void *) {
                inside = true;
                for (;;)
                    std::this_thread::sleep_for(std::chrono::seconds(1));
            },
            nullptr);
        Phidget_setIsRemote(PhidgetHandle(holder), 1);
        Phidget_open(PhidgetHandle(holder));
        while (!inside)
            std::this_thread::yield();
        INodeController *output
            = show->graph()
                  .createNode(QUuid(QStringLiteral("00bb5358-1fab-4ba2-bd3c-beb9a3f842de")))
                  ->controller();
        auto *channel = static_cast<PhidgetChannelData *>(output->propertyValues().at(0).get());
        channel->device = DeviceDescriptorData(PhidgetDevice::s_typeName, 1);
        channel->channelID = 1;
        static_cast<BoolData *>(output->inputValues().at(0).get())->value = true;
        lmsim_phidget_log_clear();
        output->onInputTrigger(0);
        QCOMPARE(simCalls({"PhidgetDigitalOutput_setState_async"}, true).size(), 1);
        ChildExit::exitNow();
    }
    const qint64 ms = ChildExit::millisecondsToExit("exitWithAWriteInFlight");
    QVERIFY(ms >= 0);
#ifdef _WIN32
    QVERIFY2(ms < 1500, QByteArray::number(ms).constData());
#endif
#endif
}

QTEST_MAIN(TestPhidgetDevice)
#include "tst_phidget_device.moc"
