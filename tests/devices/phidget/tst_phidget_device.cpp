// The device's configuration in the show file, and the channel designation's XML form.
#include "phidget_bridge.h"
#include "phidget_channel_data.h"

#include <XmlWriter.h>

#include <QDomDocument>
#include <QtTest>

namespace {
QDomElement parse(QDomDocument &document, const QString &xml)
{
    document.setContent(xml);
    return document.documentElement();
}

QString written(PhidgetDevice &device)
{
    QString text;
    {
        XmlWriter writer(&text);
        device.writeXml(writer);
    }
    return text.section('\n', 1).trimmed();
}
} // namespace

class TestPhidgetDevice : public QObject
{
    Q_OBJECT

private slots:
    void newDevice();
    void readsWithDefaultsAndMerges();
    void writesInAscendingIdOrder();
    void channelData();
};

void TestPhidgetDevice::newDevice()
{
    PhidgetDevice device(true);
    QCOMPARE(device.typeName(), QStringLiteral("Phidget"));
    QCOMPARE(device.config().serialNumber, -1);
    QCOMPARE(device.config().mediaServerId, 0);
    QVERIFY(device.config().channels.isEmpty());
    QVERIFY(!device.runtime());
    QVERIFY(!device.isActiveOnMasterOnly());
    QCOMPARE(phidgetChannelTypeWord(5), QStringLiteral("DIGITAL_INPUT"));
    QCOMPARE(phidgetChannelTypeWord(6), QStringLiteral("DIGITAL_OUTPUT"));
    QCOMPARE(phidgetChannelTypeWord(8), QStringLiteral("ENCODER"));
    QCOMPARE(phidgetChannelTypeWord(7), QStringLiteral("UNKNOWN"));
}

void TestPhidgetDevice::readsWithDefaultsAndMerges()
{
    PhidgetDevice device(true);
    PhidgetDeviceConfig config;
    config.serialNumber = 77;
    config.channels.insert(50, LM_PhidgetChannel {"kept", 1, 2, false, LM_ENCODER});
    device.setConfig(config);

    QDomDocument document;
    device.readDom(parse(document,
        "<device type=\"Phidget\" id=\"4\" name=\"Board\" producerServerAddress=\"127.0.0.1\">"
        "<channel/>"
        "<channel id=\"7\" name=\"first\" type=\"5\"/>"
        "<channel id=\"7\" name=\"door\" channelNumber=\"3\" hubPort=\"abc\" isVINTDigital=\"2\""
        " type=\"6\"/>"
        "<channel id=\"8\" channelNumber=\"2\" isVINTDigital=\"abc\" type=\"99\"/>"
        "<Channel id=\"9\"/><note id=\"10\"/>"
        "</device>"));

    QCOMPARE(device.deviceNumber(), 4);
    QCOMPARE(device.name(), QStringLiteral("Board"));
    const PhidgetDeviceConfig &read = device.config();
    QCOMPARE(read.serialNumber, 0); // missing: 0, not a new device's -1
    QCOMPARE(read.mediaServerId, 0);
    QCOMPARE(read.producerServerAddress, QStringLiteral("127.0.0.1"));
    QCOMPARE(read.channels.keys(), QList<int32_t>({0, 7, 8, 50}));
    QCOMPARE(read.channels.value(0),
        (LM_PhidgetChannel {"Channel -1", -1, -1, false, LM_PhidgetChannelType(0)}));
    // The later element of a duplicate id wins; "abc" is hub port 0, "2" is true.
    QCOMPARE(read.channels.value(7), (LM_PhidgetChannel {"door", 0, 3, true, LM_DIGITAL_OUTPUT}));
    QCOMPARE(read.channels.value(8),
        (LM_PhidgetChannel {"Channel 2", -1, 2, false, LM_PhidgetChannelType(99)}));
    QCOMPARE(read.channels.value(50).name, QStringLiteral("kept"));
}

void TestPhidgetDevice::writesInAscendingIdOrder()
{
    PhidgetDevice device(true);
    device.setDeviceNumber(2);
    device.setName(QStringLiteral("A&B"));
    QCOMPARE(written(device),
        QStringLiteral("<device type=\"Phidget\" id=\"2\" name=\"A&amp;B\" serialNumber=\"-1\""
                       " mediaServerId=\"0\" producerServerAddress=\"\"/>"));

    PhidgetDeviceConfig config;
    config.serialNumber = 12345;
    config.mediaServerId = 3;
    config.producerServerAddress = QStringLiteral("::1");
    config.channels.insert(9, LM_PhidgetChannel {"nine", 2, 0, true, LM_DIGITAL_INPUT});
    config.channels.insert(-4, LM_PhidgetChannel {"minus", -1, -1, false, LM_ENCODER});
    config.channels.insert(1, LM_PhidgetChannel {"one", 0, 1, false, LM_DIGITAL_OUTPUT});
    device.setConfig(config);
    const QString xml = written(device);
    QCOMPARE(xml,
        QStringLiteral("<device type=\"Phidget\" id=\"2\" name=\"A&amp;B\" serialNumber=\"12345\""
                       " mediaServerId=\"3\" producerServerAddress=\"::1\">"
                       "<channel id=\"-4\" name=\"minus\" channelNumber=\"-1\" hubPort=\"-1\""
                       " isVINTDigital=\"0\" type=\"8\"/>"
                       "<channel id=\"1\" name=\"one\" channelNumber=\"1\" hubPort=\"0\""
                       " isVINTDigital=\"0\" type=\"6\"/>"
                       "<channel id=\"9\" name=\"nine\" channelNumber=\"0\" hubPort=\"2\""
                       " isVINTDigital=\"1\" type=\"5\"/>"
                       "</device>"));

    PhidgetDevice reread(true);
    QDomDocument document;
    reread.readDom(parse(document, xml));
    QCOMPARE(reread.config().serialNumber, 12345);
    QCOMPARE(reread.config().mediaServerId, 3);
    QCOMPARE(reread.config().producerServerAddress, QStringLiteral("::1"));
    QCOMPARE(reread.config().channels, config.channels);
}

void TestPhidgetDevice::channelData()
{
    PhidgetChannelData value(LM_DIGITAL_OUTPUT, 12);
    QCOMPARE(value.dataType, PhidgetChannelDataTypeId);
    value.device = DeviceDescriptorData(QStringLiteral("Phidget"), 3);
    QString text;
    {
        XmlWriter writer(&text);
        writer.startElement(QStringLiteral("v"));
        value.serialize(writer);
        writer.endElement(QStringLiteral("v"));
    }
    QVERIFY2(
        text.endsWith(QStringLiteral("channelID=\"12\" channelType=\"6\"/>")), qPrintable(text));

    QDomDocument document;
    PhidgetChannelData read;
    QCOMPARE(read.channelID, -1);
    QCOMPARE(read.channelType, 0);
    QVERIFY(!read.defined);
    read.deserialize(parse(document, text.section('\n', 1)));
    QCOMPARE(read.channelID, 12);
    QCOMPARE(read.channelType, 6);
    QCOMPARE(read.device.deviceId, 3);
    QCOMPARE(read.device.deviceType, QStringLiteral("Phidget"));
    QVERIFY(!read.defined);

    read.deserialize(parse(document, "<v/>"));
    QCOMPARE(read.channelID, -1);
    QCOMPARE(read.channelType, 0);

    // setValue leaves `defined` alone; clone keeps it.
    value.defined = true;
    read.setValue(value);
    QCOMPARE(read.channelID, 12);
    QVERIFY(!read.defined);
    std::unique_ptr<ANodeData> copy(value.clone());
    auto *typed = dynamic_cast<PhidgetChannelData *>(copy.get());
    QVERIFY(typed && typed->defined && typed->channelID == 12 && typed->channelType == 6);
    QCOMPARE(typed->device.deviceId, 3);
}

QTEST_MAIN(TestPhidgetDevice)
#include "tst_phidget_device.moc"
