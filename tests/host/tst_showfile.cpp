// Show files in the development host: loading, saving without loss, the errors a
// user sees, and a short run with its console report.
#include "DevHost.h"
#include "INodeController.h"
#include "NodeData.h"
#include "NodeGraph.h"
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
            << "unknown controller type 11111111-2222-3333-4444-555555555555";
        QTest::newRow("bad uuid") << QByteArray(
            "<lumoraShow><nodes><node type=\"x\"/></nodes></lumoraShow>")
                                  << "is not a UUID";
        QTest::newRow("two masters")
            << QByteArray("<lumoraShow><instances><producer master=\"1\"/>"
                          "<mediaServer id=\"1\" master=\"1\"/></instances></lumoraShow>")
            << "more than one instance is the master";
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
    }

    void errorsSayWhatIsWrong()
    {
        QFETCH(QByteArray, xml);
        QFETCH(QString, expected);
        const QString error = loadError(xml);
        QVERIFY2(error.contains(expected), qPrintable(error));
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
