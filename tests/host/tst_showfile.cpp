// Show files in the development host: loading, saving without loss, the errors a
// user sees, and a short run with its console report.
#include "DevHost.h"
#include "INodeController.h"
#include "NodeData.h"
#include "NodeGraph.h"
#include "PluginListing.h"
#include "Show.h"

#include <QDomDocument>
#include <QTemporaryDir>
#include <QTest>

#include <climits>

namespace {

const char *const fullShow = R"(<?xml version="1.0" encoding="UTF-8"?>
<lumoraShow version="1" name="Full &amp; &quot;quoted&quot;">
  <instances>
    <mediaServer id="2" name="Right" address="127.0.0.3">
      <output id="0" name="A"/>
      <output id="1" name="B" kind="1"/>
    </mediaServer>
    <producer name="Prod"/>
    <mediaServer id="1" name="Left" address="127.0.0.2" master="1"/>
  </instances>
  <devices>
    <device type="TestDevice" id="4" name="Four &lt;4&gt;" setting="a&amp;b"/>
    <device type="TestDevice" id="1" name="One" setting="two&#10;lines&#9;tab&#13;"/>
  </devices>
  <nodes>
    <node id="3" type="5d0c7f1e-2b7a-4c55-9a10-3f1d2e4c6b01" name="source">
      <propertyValues><propertyValue deviceType="TestDevice" deviceId="4"/></propertyValues>
    </node>
    <node id="7" type="{5d0c7f1e-2b7a-4c55-9a10-3f1d2e4c6b02}">
      <userDefaultInputValues><userDefaultInputValue index="0" value="0"/></userDefaultInputValues>
    </node>
  </nodes>
  <connections>
    <valueConnection fromNode="3" output="0" toNode="7" input="0"/>
    <triggerConnection fromNode="3" outputTrigger="0" toNode="7" inputTrigger="0"/>
  </connections>
  <stimuli><touch at="1.5" server="1" output="0" x="10" y="20"><note b="2" a="1" c="x&#10; y"/></touch></stimuli>
</lumoraShow>
)";

QString canonical(const QString &xml)
{
    QDomDocument doc;
    doc.setContent(xml);
    return doc.toString(1);
}

} // namespace

class TestShowFile : public QObject
{
    Q_OBJECT

private:
    QString m_out;
    QTextStream m_stream {&m_out};

    std::unique_ptr<DevHost> newHost()
    {
        auto host = std::make_unique<DevHost>(m_stream);
        QString error;
        const HostRegistry::PluginLoad load
            = host->registry().loadPlugin(QStringLiteral(LM_TEST_PLUGIN_FILE));
        if (!load.ok)
            qWarning() << load.error;
        return host;
    }

    QString loadError(const QByteArray &xml)
    {
        auto host = newHost();
        QString error;
        if (host->loadShowText(xml, &error))
            return QStringLiteral("(loaded)");
        return error;
    }

private slots:
    void loadBuildsOneShowPerInstance()
    {
        auto host = newHost();
        QString error;
        QVERIFY2(host->loadShowText(fullShow, &error), qPrintable(error));
        const auto &shows = host->instances();
        QCOMPARE(shows.size(), size_t(3));
        QCOMPARE(shows[0]->instanceName(), QStringLiteral("Prod")); // the producer first
        QCOMPARE(shows[0]->appMode(), 2);
        QVERIFY(!shows[0]->isMaster());
        Show *left = host->instance(QStringLiteral("Left"));
        QVERIFY(left && left->isMaster());
        QCOMPARE(left->appMode(), 1);
        QCOMPARE(left->localMediaServerId(), 1);
        for (const auto &show : shows) {
            QCOMPARE(show->getMediaServers().keys(), (QList<int> {1, 2}));
            // One table for every copy: its size does not grow with the copies.
            QCOMPARE(show->getMediaServers().value(2), shows[0]->getMediaServers().value(2));
            QCOMPARE(show->devicesOfType(QStringLiteral("TestDevice")).keys(), (QList<int> {1, 4}));
            QCOMPARE(show->graph().nodes().size(), 2);
            QCOMPARE(show->graph().valueConnections().size(), 1);
        }
        QVERIFY(!shows[0]->getMediaServers().value(1)->screenSet());
        QCOMPARE(shows[0]->getMediaServers().value(2)->screenSet()->getScreenOutputs().size(), 2);
        QCOMPARE(shows[0]->findDevice(QStringLiteral("TestDevice"), 4)->name(),
            QStringLiteral("Four <4>"));
        QVERIFY(left->findDevice(QStringLiteral("TestDevice"), 1)->isOnMaster());
        QVERIFY(!shows[0]->findDevice(QStringLiteral("TestDevice"), 1)->isOnMaster());
    }

    void loadSaveLoadGivesTheSameDocument()
    {
        auto host = newHost();
        QString error;
        QVERIFY2(host->loadShowText(fullShow, &error), qPrintable(error));
        const QString first = host->showText();
        auto again = newHost();
        QVERIFY2(again->loadShowText(first.toUtf8(), &error), qPrintable(error));
        QCOMPARE(again->showText(), first);
        // Nothing of the original is lost on the way.
        QVERIFY(first.contains(QStringLiteral("name=\"Full &amp; &quot;quoted&quot;\"")));
        QVERIFY(first.contains(QStringLiteral("setting=\"a&amp;b\"")));
        QVERIFY(first.contains(QStringLiteral("<note a=\"1\" b=\"2\" c=\"x&#10; y\"/>")));
        // Tabs and line breaks in values survive as references (a reader turns literal
        // ones into spaces).
        QVERIFY(first.contains(QStringLiteral("setting=\"two&#10;lines&#9;tab&#13;\"")));
        const QDomElement note
            = again->showFile().otherSections().first().firstChildElement().firstChildElement();
        QCOMPARE(note.attribute(QStringLiteral("c")), QStringLiteral("x\n y"));
        QVERIFY(first.contains(QStringLiteral("<userDefaultInputValue index=\"0\" value=\"0\"/>")));
        QVERIFY(first.contains(
            QStringLiteral("<propertyValue deviceType=\"TestDevice\" deviceId=\"4\"/>")));
        QVERIFY(first.contains(QStringLiteral("<output id=\"1\" name=\"B\" kind=\"1\"/>")));
        QVERIFY(
            first.contains(QStringLiteral("<triggerConnection fromNode=\"3\" outputTrigger=\"0\" "
                                          "toNode=\"7\" inputTrigger=\"0\"/>")));
        QCOMPARE(canonical(first), canonical(again->showText()));
    }

    void saveWritesAFileAndSkipsConnectionsOfRemovedNodes()
    {
        auto host = newHost();
        QString error;
        QVERIFY(host->loadShowText(fullShow, &error));
        QVERIFY(host->instances().front()->graph().removeNode(7));
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("saved.xml"));
        QVERIFY2(host->saveShow(path, &error), qPrintable(error));
        auto again = newHost();
        QVERIFY2(again->loadShow(path, &error), qPrintable(error));
        QCOMPARE(again->instances().front()->graph().nodes().size(), 1);
        QVERIFY(again->instances().front()->graph().valueConnections().isEmpty());
        QVERIFY(!host->saveShow(dir.filePath(QStringLiteral("no/such/dir/x.xml")), &error));
    }

    void errorsSayWhatIsWrong_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QString>("expected");
        QTest::newRow("not xml") << QByteArray("<lumoraShow><nodes>")
                                 << "not well-formed XML at line 1";
        QTest::newRow("root") << QByteArray("<show/>") << "root element is <show>";
        QTest::newRow("version") << QByteArray("<lumoraShow version=\"2\"/>")
                                 << "version 2 is not supported";
        QTest::newRow("device type")
            << QByteArray(
                   "<lumoraShow><devices><device type=\"Nope\" id=\"1\"/></devices></lumoraShow>")
            << "device type \"Nope\" at line 1: no loaded plug-in provides it";
        QTest::newRow("controller type")
            << QByteArray("<lumoraShow><nodes><node id=\"1\" "
                          "type=\"11111111-2222-3333-4444-555555555555\"/>"
                          "</nodes></lumoraShow>")
            << "unknown controller type 11111111-2222-3333-4444-555555555555 (no loaded plug-in";
        QTest::newRow("bad uuid") << QByteArray(
            "<lumoraShow><nodes><node type=\"x\"/></nodes></lumoraShow>")
                                  << "is not a UUID";
        QTest::newRow("two masters")
            << QByteArray("<lumoraShow><instances><producer master=\"1\"/>"
                          "<mediaServer id=\"1\" master=\"1\"/></instances></lumoraShow>")
            << "more than one instance is the master (lines 1 and 1)";
        QTest::newRow("instance name twice")
            << QByteArray("<lumoraShow><instances>\n<producer name=\"A\"/>\n"
                          "<mediaServer id=\"1\" name=\"A\"/></instances></lumoraShow>")
            << "instance name \"A\" given twice (lines 2 and 3)";
        QTest::newRow("server id")
            << QByteArray("<lumoraShow><instances><mediaServer id=\"0\"/></instances></lumoraShow>")
            << "id 0 is not a new number";
        QTest::newRow("missing node")
            << QByteArray("<lumoraShow><connections><valueConnection fromNode=\"1\" output=\"0\" "
                          "toNode=\"2\" input=\"0\"/></connections></lumoraShow>")
            << "no node 1";
        QTest::newRow("not a number") << QByteArray(
            "<lumoraShow><connections><triggerConnection fromNode=\"a\"/></connections>"
            "</lumoraShow>") << "\"fromNode\" is not an integer";
        QTest::newRow("duplicate device")
            << QByteArray("<lumoraShow><devices><device type=\"TestDevice\" id=\"1\"/>"
                          "<device type=\"TestDevice\" id=\"1\"/></devices></lumoraShow>")
            << "already in the show";
        // Refused before the document is built, however deep.
        QTest::newRow("nested too deep")
            << (QByteArray("<lumoraShow><deep>") + QByteArray("<x>").repeated(300))
            << "elements nested deeper than 256 levels at line 1, column 783";
        QTest::newRow("nested far too deep") << (QByteArray("<lumoraShow>")
            + QByteArray("<x>").repeated(500000) + QByteArray("</x>").repeated(500000)
            + QByteArray("</lumoraShow>")) << "elements nested deeper than 256";
        QTest::newRow("section twice")
            << QByteArray("<lumoraShow><nodes/><nodes/></lumoraShow>") << "<nodes> given twice";
        // Undeclared prefixes used to stop the depth check while the document was built.
        QTest::newRow("too deep with prefixes")
            << (QByteArray("<lumoraShow><keep>") + QByteArray("<a:x>").repeated(300))
            << "elements nested deeper than 256 levels at line 1";
        QTest::newRow("not UTF-8 on line 7")
            << QByteArray("<lumoraShow>\n\n\n\n\n\n<keep a=\"\xff\"/></lumoraShow>")
            << "not UTF-8 at line 7, column 10: byte 0xff";
        QByteArray attributes;
        for (int i = 0; i <= ShowFile::kMaxAttributes; ++i)
            attributes += " a" + QByteArray::number(i) + "='1'";
        QTest::newRow("attributes") << "<lumoraShow>\n <keep" + attributes + "/></lumoraShow>"
                                    << "an element at line 2, column 2 has more than 1024";
        QTest::newRow("doctype") << QByteArray(
            "<!DOCTYPE s [<!ENTITY e \"x\">]><lumoraShow>&e;</lumoraShow>")
                                 << "a document type declaration at line 1";
        QByteArray servers;
        for (int i = 1; i <= ShowFile::kMaxMediaServers + 1; ++i)
            servers += "<mediaServer id=\"" + QByteArray::number(i) + "\"/>";
        QTest::newRow("media servers")
            << "<lumoraShow><instances>" + servers + "</instances></lumoraShow>"
            << "1001 media servers: a show takes at most 1000";
        servers.truncate(servers.indexOf("<mediaServer id=\"1000\""));
        QTest::newRow("element copies")
            << "<lumoraShow><instances>" + servers + "</instances><connections>"
                + QByteArray("<x/>").repeated(1001) + "</connections></lumoraShow>"
            << "1001 elements in <devices>, <nodes> and <connections> on 1000 instances";
        QTest::newRow("node id twice") << QByteArray(
            "<lumoraShow><nodes>\n"
            "<node id=\"3\" type=\"5d0c7f1e-2b7a-4c55-9a10-3f1d2e4c6b02\"/>\n"
            "<node id=\"3\" type=\"5d0c7f1e-2b7a-4c55-9a10-3f1d2e4c6b02\"/>\n"
            "</nodes></lumoraShow>") << "node at line 3: node id 3 is already in use (line 2)";
    }

    void errorsSayWhatIsWrong()
    {
        QFETCH(QByteArray, xml);
        QFETCH(QString, expected);
        const QString error = loadError(xml);
        QVERIFY2(error.contains(expected), qPrintable(error));
        QVERIFY2(!error.contains(QStringLiteral("no loaded plug-in"))
                || expected.contains(QStringLiteral("no loaded plug-in")),
            qPrintable(error));
    }

    // A show with every plug-in's device, one row's devices on line 4, nodes on line 6
    // and connections on line 8.
    void loadChecksGiveTheLine_data()
    {
        QTest::addColumn<QString>("devices");
        QTest::addColumn<QString>("nodes");
        QTest::addColumn<QString>("connections");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *name, const char *devices, const char *nodes,
                             const char *connections, bool refused, const char *expected) {
            QTest::newRow(name) << QString::fromUtf8(devices) << QString::fromUtf8(nodes)
                                << QString::fromUtf8(connections) << refused
                                << QString::fromUtf8(expected);
        };
        const char *const in = "<node id=\"5\" type=\"20b803c3-5f56-4bb0-94dd-945d0219153f\">"
                               "<propertyValues><propertyValue deviceType=\"Phidget\" "
                               "deviceId=\"1\" channelID=\"%1\" channelType=\"5\"/>"
                               "</propertyValues></node>";
        row("device id not a number", "<device type=\"Ping\" id=\"x\" host=\"h\"/>", "", "", true,
            "<device> at line 4: the device number \"id\" is not an integer");
        row("device id below 0", "<device type=\"Ping\" id=\"-3\" host=\"h\"/>", "", "", true,
            "<device> at line 4: the device number \"id\" is not an integer from 0");
        row("device id too large", "<device type=\"Ping\" id=\"2147483648\" host=\"h\"/>", "", "",
            true, "<device> at line 4: the device number");
        row("device without id", "<device type=\"Ping\" host=\"h\"/>", "", "", false,
            "<device> at line 4: no \"id\": numbered 2");
        row("interval not a number",
            "<device type=\"Ping\" id=\"2\" host=\"h\" intervalSec=\"ten\"/>", "", "", true,
            "<device> at line 4: \"intervalSec\" is not an integer: \"ten\"");
        row("interval bounded", "<device type=\"Ping\" id=\"2\" host=\"h\" intervalSec=\"0\"/>", "",
            "", false, "<device> at line 4: \"intervalSec\" 0: probes every 1 s");
        row("no host", "<device type=\"Ping\" id=\"2\"/>", "", "", false,
            "<device> at line 4: no \"host\"");
        row("touch server the show lacks",
            "<device type=\"TouchScreen\" id=\"1\" serverId=\"4\" serverOutputId=\"0\"/>", "", "",
            true, "<device> at line 4: \"serverId\" 4: the show has no media server 4 (it has 1)");
        row("touch output the server lacks",
            "<device type=\"TouchScreen\" id=\"1\" serverId=\"1\" serverOutputId=\"2\"/>", "", "",
            true, "<device> at line 4: \"serverOutputId\" 2: media server 1 has no output 2");
        row("touch unconfigured", "<device type=\"TouchScreen\" id=\"1\"/>", "", "", false,
            "<device> at line 4: no \"serverId\"");
        row("serial below -1", "<device type=\"Phidget\" id=\"2\" serialNumber=\"-2\"/>", "", "",
            true, "<device> at line 4: \"serialNumber\" -2 is out of range (-1 to 2147483647)");
        row("serial missing", "<device type=\"Phidget\" id=\"2\"/>", "", "", false,
            "<device> at line 4: no \"serialNumber\": read as 0, not -1");
        row("phidget server the show lacks",
            "<device type=\"Phidget\" id=\"2\" serialNumber=\"-1\" mediaServerId=\"3\"/>", "", "",
            true, "<device> at line 4: \"mediaServerId\" 3: the show has no media server 3");
        row("channel type 7",
            "<device type=\"Phidget\" id=\"2\" serialNumber=\"-1\"><channel id=\"1\" "
            "type=\"7\"/></device>",
            "", "", true, "<channel> at line 4: \"type\" 7: not a channel type");
        row("channel type unknown",
            "<device type=\"Phidget\" id=\"2\" serialNumber=\"-1\"><channel id=\"1\" "
            "type=\"0\"/></device>",
            "", "", false, "<channel> at line 4: \"type\" 0: 0 (UNKNOWN)");
        row("hub port not a number",
            "<device type=\"Phidget\" id=\"2\" serialNumber=\"-1\"><channel id=\"1\" "
            "type=\"5\" hubPort=\"abc\"/></device>",
            "", "", true, "<channel> at line 4: \"hubPort\" is not an integer: \"abc\"");
        row("channel id twice",
            "<device type=\"Phidget\" id=\"2\" serialNumber=\"-1\"><channel id=\"1\" "
            "type=\"5\"/><channel id=\"1\" type=\"6\"/></device>",
            "", "", false, "<channel> at line 4: channel id 1 given before (line 4)");
        row("node names a missing channel", "", QByteArray(in).replace("%1", "9").constData(), "",
            false,
            "<propertyValue> at line 6 (node at line 6): Phidget #1 (line 3) has no channel 9");
        row("node names a missing device", "",
            "<node id=\"5\" type=\"a7f3c142-8b2e-4d16-9f5a-3e0c7d1a8b4f\"><propertyValues>"
            "<propertyValue deviceType=\"Ping\" deviceId=\"8\"/></propertyValues></node>",
            "", false, "<propertyValue> at line 6 (node at line 6): names device Ping #8");
        row("node without id", "", "<node type=\"a7f3c142-8b2e-4d16-9f5a-3e0c7d1a8b4f\"/>", "",
            false, "<node> at line 6: no \"id\": numbered 3");
        row("connection of two types", "",
            "<node id=\"5\" type=\"ba3ff828-652f-434d-bcd6-96634d9bc0f4\"/>",
            "<valueConnection fromNode=\"5\" output=\"0\" toNode=\"2\" input=\"0\"/>", true,
            "connection at line 8: output \"Position\" of node 5 (2D vector) cannot feed input "
            "\"Value\" of node 2 (boolean)");
    }

    void loadChecksGiveTheLine()
    {
#ifndef LM_PLUGIN_DIR
        QSKIP("built without the device plug-ins");
#else
        QFETCH(QString, devices);
        QFETCH(QString, nodes);
        QFETCH(QString, connections);
        QFETCH(bool, refused);
        QFETCH(QString, expected);
        const QString xml = QStringLiteral(
            "<lumoraShow>\n"
            "<instances><producer/><mediaServer id=\"1\"><output "
            "id=\"0\"/></mediaServer></instances>\n"
            "<devices><device type=\"Phidget\" id=\"1\" serialNumber=\"-1\"><channel id=\"3\" "
            "type=\"5\"/></device>"
            "<device type=\"Ping\" id=\"1\" host=\"h\"/>\n"
            "%1\n"
            "</devices><nodes><node id=\"1\" type=\"20b803c3-5f56-4bb0-94dd-945d0219153f\"/>"
            "<node id=\"2\" type=\"00bb5358-1fab-4ba2-bd3c-beb9a3f842de\"/>\n"
            "%2\n"
            "</nodes><connections>\n"
            "%3\n"
            "</connections></lumoraShow>\n")
                                .arg(devices, nodes, connections);
        DevHost host(m_stream);
        host.registry().loadPluginDirectory(QStringLiteral(LM_PLUGIN_DIR));
        QString error;
        const bool loaded = host.loadShowText(xml.toUtf8(), &error);
        QCOMPARE(!loaded, refused);
        const QString said = refused ? error : host.showFile().warnings().join(u'\n');
        QVERIFY2(said.contains(expected), qPrintable(said));
#endif
    }

    void missingIdsTakeAFreeNumber()
    {
        auto host = newHost();
        QString error;
        QVERIFY2(host->loadShowText(R"(<lumoraShow><devices>
            <device type="TestDevice" id="2147483647"/><device type="TestDevice"/>
          </devices><nodes>
            <node id="2147483647" type="5d0c7f1e-2b7a-4c55-9a10-3f1d2e4c6b02"/>
            <node id="1" type="5d0c7f1e-2b7a-4c55-9a10-3f1d2e4c6b02"/>
            <node type="5d0c7f1e-2b7a-4c55-9a10-3f1d2e4c6b02"/>
          </nodes></lumoraShow>)",
                     &error),
            qPrintable(error));
        const Show &show = *host->instances().front();
        QCOMPARE(
            show.devicesOfType(QStringLiteral("TestDevice")).keys(), (QList<int> {1, INT_MAX}));
        QList<int> ids;
        for (const Node *node : show.graph().nodes())
            ids.append(node->id());
        QCOMPARE(ids, (QList<int> {1, 2, INT_MAX}));
    }

    void unreadableFile()
    {
        auto host = newHost();
        QString error;
        QVERIFY(!host->loadShow(QStringLiteral("/nonexistent/show.xml"), &error));
        QVERIFY(error.contains(QStringLiteral("cannot read show")));
    }

    void defaultProducerIsTheMaster()
    {
        auto host = newHost();
        QString error;
        QVERIFY(host->loadShowText(
            "<lumoraShow><instances><mediaServer id=\"3\"/></instances></lumoraShow>", &error));
        QCOMPARE(host->instances().size(), size_t(2));
        QCOMPARE(host->instances()[0]->instanceName(), QStringLiteral("Producer"));
        QVERIFY(host->instances()[0]->isMaster());
        QCOMPARE(host->instances()[1]->instanceName(), QStringLiteral("Media server 3"));
    }

    void runReportsOutputChangesAndTriggers()
    {
        auto host = newHost();
        QString error;
        QVERIFY(host->loadShowText(fullShow, &error));
        m_out.clear();
        Show *prod = host->instances().front().get();
        INodeController *source = prod->graph().node(3)->controller();
        source->outputData<IntData>(0)->value = 5;
        source->outputData<IntData>(0)->defined = true;
        source->fireOutputTrigger(0);
        QCOMPARE(m_out,
            QStringLiteral("[Prod] node 3 \"source\": output \"Level\" = 5\n"
                           "[Prod] node 3 \"source\": trigger \"Changed\" fired\n"));
        m_out.clear();
        host->evaluateAll();
        QVERIFY(m_out.isEmpty()); // nothing changed
        source->outputData<IntData>(0)->defined = false;
        host->evaluateAll();
        QCOMPARE(
            m_out, QStringLiteral("[Prod] node 3 \"source\": output \"Level\" = (undefined)\n"));
    }

    // Each plug-in's page gives every node type and slot as the plug-in declares them.
    void pluginPagesFollowTheSlots()
    {
#ifndef LM_PLUGIN_DIR
        QSKIP("built without the device plug-ins");
#else
        HostRegistry registry;
        registry.loadPluginDirectory(QStringLiteral(LM_PLUGIN_DIR));
        QString listing;
        QTextStream out(&listing);
        PluginListing::printSlots(out, registry);
        const QHash<QString, QString> pages {{QStringLiteral("Devices/Ping"), "Ping.md"},
            {QStringLiteral("Devices/TouchScreen"), "TouchScreen.md"},
            {QStringLiteral("Devices/Phidgets"), "Phidget.md"}};
        QString page;
        int lines = 0;
        for (const QString &line : listing.split(u'\n')) {
            if (line.startsWith(QLatin1String("  \""))) {
                const QString category = line.section(QLatin1Char('('), -1).section(u',', 0, 0);
                QFile file(QStringLiteral(LM_PLUGIN_DOCS_DIR "/") + pages.value(category));
                QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(line));
                page = QString::fromUtf8(file.readAll());
            }
            if (line.startsWith(QLatin1String("  "))) {
                QVERIFY2(page.contains(line + u'\n'), qPrintable(line));
                ++lines;
            }
        }
        QCOMPARE(lines, 26); // six node types and their twenty slots
#endif
    }

    void describeValues()
    {
        QCOMPARE(DevHost::describe(nullptr), QStringLiteral("(none)"));
        BoolData b(true);
        b.defined = true;
        QCOMPARE(DevHost::describe(&b), QStringLiteral("true"));
        Vec2Data v(1.5f, -2.0f);
        v.defined = true;
        QCOMPARE(DevHost::describe(&v), QStringLiteral("(1.5, -2)"));
        DeviceDescriptorData d(QStringLiteral("Ping"), 2);
        d.defined = true;
        QCOMPARE(DevHost::describe(&d), QStringLiteral("Ping #2"));
    }
};

QTEST_GUILESS_MAIN(TestShowFile)
#include "tst_showfile.moc"
