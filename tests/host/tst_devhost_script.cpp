// Scripted stimuli and expectations of the development host: the parser, the checks
// against the show, a run with its report, and the stop timer's steps.
#include "DevHost.h"
#include "INodeController.h"
#include "NodeData.h"
#include "NodeGraph.h"
#include "Show.h"

#include <QSignalSpy>
#include <QTest>

#include <climits>

namespace {

const char *const show = R"(<lumoraShow>
  <instances><producer/>
    <mediaServer id="1" name="Left"><output id="0" name="Main"/></mediaServer>
    <mediaServer id="2" name="Bare"/></instances>
  <devices><device type="TestDevice" id="1"/></devices>
  <nodes><node id="1" type="5d0c7f1e-2b7a-4c55-9a10-3f1d2e4c6b01" name="source"/></nodes>
</lumoraShow>)";

} // namespace

class TestDevhostScript : public QObject
{
    Q_OBJECT

private:
    QString m_out;
    QTextStream m_stream {&m_out};
    std::unique_ptr<DevHost> m_host;

    // Parsed and checked against the show; the error, or "" when accepted.
    QString scriptError(const QByteArray &text)
    {
        Script script;
        QString error;
        if (!script.parseText(text, QStringLiteral("s"), &error)
            || !m_host->setScript(script, &error))
            return error;
        return QString();
    }

private slots:
    void initTestCase()
    {
        m_host = std::make_unique<DevHost>(m_stream);
        QVERIFY(m_host->registry().loadPlugin(QStringLiteral(LM_TEST_PLUGIN_FILE)).ok);
        QString error;
        QVERIFY2(m_host->loadShowText(show, &error), qPrintable(error));
        // A board goes on an instance's machine: its address.
        const QString needed = m_host->boards().available()
            ? QStringLiteral("instance \"Left\" has no address")
            : QStringLiteral("board events need the Phidget22 simulation");
        QVERIFY(scriptError("1 attachBoard serial=1 instance=Left").contains(needed));
    }

    void parsesTextAndXmlAlike()
    {
        Script text;
        QString error;
        QVERIFY2(text.parseText("# a comment\r\n\n0.5 touch server=1 output=0 x=-1.5 y=2e2\r\n"
                                "  0.5 expectOutput node=1 output=Level value=\"(1, \\\"2\\\")\" "
                                "instance=Left\n7 expectFired node=1 trigger=0 count=0\n",
                     QStringLiteral("s"), &error),
            qPrintable(error));
        QDomDocument doc;
        QVERIFY(doc.setContent(QByteArray("<stimuli>\n<touch at=\"0.5\" server=\"1\" output=\"0\" "
                                          "x=\"-1.5\" y=\"200\"><note/></touch>\n<!-- c -->\n"
                                          "<expectFired at=\"7\" node=\"1\" trigger=\"Changed\" "
                                          "count=\"0\"/></stimuli>")));
        Script xml;
        QVERIFY2(xml.parseSection(doc.documentElement(), QStringLiteral("x"), &error),
            qPrintable(error));
        const auto summary = [](const Script &s) {
            QStringList list;
            for (const ScriptEntry &e : s.entries())
                list.append(QStringLiteral("%1@%2:%3").arg(e.kind).arg(e.atMs).arg(e.line));
            return list;
        };
        QCOMPARE(summary(text),
            (QStringList {"touch@500:3", "expectOutput@500:4", "expectFired@7000:5"}));
        QCOMPARE(summary(xml), (QStringList {"touch@500:2", "expectFired@7000:4"}));
        QCOMPARE(text.expectationCount(), 2);
        QVERIFY2(m_host->setScript(text, &error), qPrintable(error));
        QVERIFY2(m_host->setScript(xml, &error), qPrintable(error));
        // The show's own section was checked when it was loaded.
        QVERIFY(!m_host->loadShowText(QByteArray(show).replace("</lumoraShow>",
                                          "<stimuli><touch at=\"1\" server=\"9\" output=\"0\" "
                                          "x=\"1\" y=\"1\"/></stimuli></lumoraShow>"),
            &error));
        QCOMPARE(error,
            QStringLiteral("stimuli, line 7: touch: the show has no media server 9 (it has 1, 2)"));
        QVERIFY2(m_host->loadShowText(show, &error), qPrintable(error));
    }

    void refusesBadInputWithItsLine_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("error");
        QTest::newRow("kind") << QByteArray("\n1 tap x=1") << "s, line 2: unknown kind \"tap\"";
        QTest::newRow("time") << QByteArray("soon touch") << "line 1: the time \"soon\" is not";
        QTest::newRow("negative time")
            << QByteArray("-1 expectFired node=1 trigger=0 count=0") << "the time \"-1\"";
        QTest::newRow("order") << QByteArray("2 touch server=1 output=0 x=1 y=1\n"
                                             "1 touch server=1 output=0 x=1 y=1")
                               << "line 2: 1 s comes before 2 s of line 1";
        QTest::newRow("number") << QByteArray("1 touch server=1 output=0 x=1,5 y=1")
                                << "line 1: touch: \"x\" needs a number";
        QTest::newRow("infinite") << QByteArray("1 touch server=1 output=0 x=inf y=1")
                                  << "\"x\" needs a number";
        QTest::newRow("integer") << QByteArray("1 touch server=1.5 output=0 x=1 y=1")
                                 << "\"server\" needs an integer of 1 or more";
        QTest::newRow("missing") << QByteArray("1 touch server=1 output=0 x=1")
                                 << "touch needs the field \"y\"";
        QTest::newRow("unknown field")
            << QByteArray("1 expectFired node=1 trigger=0 count=0 instanc=Left")
            << "expectFired takes no field \"instanc\"";
        QTest::newRow("twice") << QByteArray("1 touch x=1 x=2") << "\"x\" given twice";
        QTest::newRow("not a field") << QByteArray("1 touch server") << "FIELD=VALUE expected";
        QTest::newRow("quote") << QByteArray("1 expectOutput value=\"(1") << "not closed";
        QTest::newRow("long line")
            << QByteArray(5000, ' ') << QString("line 1: longer than 4096 characters");
        QTest::newRow("many") << QByteArray("1 touch server=1 output=0 x=1 y=1\n").repeated(10001)
                              << "line 10001: more than 10000 entries";
        QTest::newRow("server") << QByteArray("1 touch server=3 output=0 x=1 y=1")
                                << "s, line 1: touch: the show has no media server 3 (it has 1, 2)";
        QTest::newRow("output") << QByteArray("1 touch server=1 output=4 x=1 y=1")
                                << "media server 1 has no output 4 (it has 0)";
        QTest::newRow("instance") << QByteArray(
            "1 expectFired node=1 trigger=0 count=0 instance=Right")
                                  << "no instance \"Right\" (it has Producer, Left, Bare)";
        QTest::newRow("node") << QByteArray("1 expectOutput node=2 output=0 value=1")
                              << "the show has no node 2";
        QTest::newRow("slot") << QByteArray("1 expectOutput node=1 output=Lvl value=1")
                              << "node 1 \"source\" has no output \"Lvl\"";
        QTest::newRow("trigger") << QByteArray("1 expectFired node=1 trigger=1 count=0")
                                 << "has no output trigger \"1\"";
        QTest::newRow("server name") << QByteArray("1 touch server=Right output=0 x=1 y=1")
                                     << "the show has no media server named \"Right\"";
        QTest::newRow("output name") << QByteArray("1 touch server=Left output=Side x=1 y=1")
                                     << "media server 1: the show has no output named \"Side\"";
        QTest::newRow("node name") << QByteArray("1 expectFired node=sink trigger=0 count=0")
                                   << "the show has no node named \"sink\"";
        QTest::newRow("slot of a named node")
            << QByteArray("1 expectOutput node=source output=Lvl value=1")
            << "node 1 \"source\" has no output \"Lvl\"";
        QTest::newRow("board state") << QByteArray("1 digitalInput serial=1 channel=0 state=2")
                                     << "digitalInput: \"state\" needs 0, 1, false or true";
        QTest::newRow("hub port") << QByteArray("1 attachBoard serial=1 instance=Left hubPort=2")
                                  << "\"hubPort\" 2 does not fit a board with 0 hub port(s)";
        QTest::newRow("encoder") << QByteArray("1 turnEncoder serial=1 channel=0 counts=1e3")
                                 << "\"counts\" needs an integer";
    }

    void refusesBadInputWithItsLine()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, error);
        const QString actual = scriptError(text);
        QVERIFY2(actual.contains(error), qPrintable(actual));
        // A media server without a list of outputs takes any output.
        QCOMPARE(scriptError("1 touch server=2 output=7 x=1 y=1"), QString());
        // Media servers, outputs and nodes by name.
        QCOMPARE(scriptError("1 touch server=Left output=Main x=1 y=1\n"
                             "2 expectFired node=source trigger=Changed count=0"),
            QString());
    }

    void valuesCompareAtTheWrittenDigits()
    {
        QVERIFY(Script::valueMatches("(100.123, 200.654)", "(100.12346, 200.65433)"));
        QVERIFY(Script::valueMatches(" (100.12346, 200.65433)", "(100.12346, 200.65433)"));
        QVERIFY(!Script::valueMatches("(100.12346, 200.65433)", "(100.123, 200.654)"));
        QVERIFY(!Script::valueMatches("(3, 4)", "(3.4, 4)"));
        QVERIFY(Script::valueMatches("1e+07", "10000000"));
        QVERIFY(Script::valueMatches("TestDevice #1", "TestDevice #1.0"));
        QVERIFY(!Script::valueMatches("true", "false"));
        QVERIFY(!Script::valueMatches("5", "(undefined)"));
        QVERIFY(!Script::valueMatches("(1, 2)", "(1, 2, 3)"));
    }

    void runReportsEachUnmetExpectation()
    {
        Script script;
        QString error;
        QVERIFY(script.parseText("0.1 expectOutput node=1 output=Level value=(undefined)\n"
                                 "0.2 expectFired node=1 trigger=Changed count=0\n"
                                 "0.2 expectOutput node=1 output=0 value=5 instance=Left\n"
                                 "0.3 expectFired node=1 trigger=0 count=1\n"
                                 "9 expectFired node=1 trigger=0 count=0\n",
            QStringLiteral("s"), &error));
        QVERIFY2(m_host->setScript(script, &error), qPrintable(error));
        // A window's touch: on the instance of the server, at the next tick.
        QVERIFY(m_host->pushStimulus(QStringLiteral("touch server=1 output=0 x=0.5 y=2"), &error));
        QVERIFY(!m_host->pushStimulus(QStringLiteral("touch server=5 output=0 x=1 y=1"), &error));
        QVERIFY(
            !m_host->pushStimulus(QStringLiteral("expectFired node=1 trigger=0 count=1"), &error));
        m_host->setVirtualTime(true);
        m_host->setRunLength(1000);
        QSignalSpy finished(m_host.get(), &DevHost::finished);
        m_out.clear();
        m_host->start(20);
        QVERIFY(finished.wait(5000));
        QCOMPARE(m_host->elapsedMs(), qint64(1000));
        QVERIFY(m_out.startsWith(QStringLiteral("[Left] touch (0.5, 2) on output 0 \"Main\"\n")));
        QVERIFY(!m_host->expectationsMet());
        QCOMPARE(m_host->expectationReport(),
            (QStringList {
                "expectation not met: line 3: at 0.2 s, node 1 \"source\" output \"Level\" on "
                "Left: expected 5, found (undefined) on Left",
                "expectation not met: line 4: by 0.3 s, trigger \"Changed\" of node 1 \"source\" "
                "on every instance: expected 1 firing(s), found 0 on Producer, 0 on Left, 0 on "
                "Bare",
                "expectation not checked: line 5: expectFired at 9 s: the run ended at 1 s",
                "expectations: 2 met, 2 not met, 1 not checked (of 5)",
            }));

        // Met: the trigger fires on one instance.
        QVERIFY(script.parseText("0.1 expectFired node=1 trigger=0 count=1 instance=Left\n"
                                 "0.1 expectFired node=1 trigger=0 count=0 instance=Bare\n",
            QStringLiteral("s"), &error));
        QVERIFY(m_host->setScript(script, &error));
        m_host->instance(QStringLiteral("Left"))
            ->graph()
            .node(1)
            ->controller()
            ->fireOutputTrigger(0);
        m_host->setRunLength(-1); // ends when the script is done
        m_host->start(20);
        QVERIFY(finished.wait(5000));
        QCOMPARE(m_host->expectationReport(), QStringList {"expectations: all 2 met"});
        QVERIFY(m_host->expectationsMet());
    }

    void longRunsStopWhenTheySay()
    {
        QCOMPARE(DevHost::nextTimerInterval(-5), 0);
        QCOMPARE(DevHost::nextTimerInterval(300), 300);
        QCOMPARE(DevHost::nextTimerInterval(2147484000LL), INT_MAX);
        QCOMPARE(DevHost::nextTimerInterval(4294968000LL), INT_MAX);
        // 4294968 s folded into an int of milliseconds gave 704 ms.
        m_host->setVirtualTime(false);
        QVERIFY(m_host->setScript(Script(), nullptr));
        m_host->setRunLength(4294968000LL);
        QSignalSpy finished(m_host.get(), &DevHost::finished);
        m_host->start(20);
        QVERIFY(!finished.wait(1000));
        m_host->stop();
        m_host->setRunLength(150);
        m_host->start(20);
        QVERIFY(finished.wait(5000));
        QVERIFY(m_host->elapsedMs() >= 150);
    }
};

QTEST_GUILESS_MAIN(TestDevhostScript)
#include "tst_devhost_script.moc"
