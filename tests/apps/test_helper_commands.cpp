// The request grammar and command table, run in-process without a driver.
#include "EventLog.h"
#include "HelperCommands.h"
#include "HelperRecords.h"

#include <QRandomGenerator>
#include <QStringList>
#include <QtTest>

namespace {

struct Run
{
    HelperResponse response;
    QStringList events;
};

Run respond(const QByteArray &datagram)
{
    Run run;
    run.response = respondToDatagram(datagram, [&run](const QString &e) { run.events << e; });
    return run;
}

QByteArray emptyConnectorList()
{
    return encodeBlock(ConnectorList());
}

QByteArray emptyGpuList()
{
    return encodeBlock(GpuList());
}

} // namespace

class TestHelperCommands : public QObject
{
    Q_OBJECT

private slots:
    void commandTable_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply");
        const QByteArray to = "[FORWARDTO=abc]";
        QTest::newRow("getGpusInfo")
            << QByteArray("[SOURCE=abc]getGpusInfo\n") << to + "gpusInfo" + emptyGpuList();
        QTest::newRow("getGpusInfo with trailing bytes")
            << QByteArray("[SOURCE=abc]getGpusInfo\nextra") << to + "gpusInfo" + emptyGpuList();
        QTest::newRow("lockEdid empty")
            << QByteArray("[SOURCE=abc]lockEdid\n") << to + "edidLocked" + emptyConnectorList();
        QTest::newRow("lockEdid list")
            << QByteArray("[SOURCE=abc]lockEdid\n") + encodeBlock(ConnectorList {{{0, 1}, {0, 2}}})
            << to + "edidLocked" + emptyConnectorList();
        QTest::newRow("unloadEdid")
            << QByteArray("[SOURCE=abc]unloadEdid\n") << to + "edidUnloaded" + emptyConnectorList();
        QTest::newRow("exportEdid empty")
            << QByteArray("[SOURCE=abc]exportEdid\n") << to + "edidExported";
        QTest::newRow("exportEdid ref")
            << QByteArray("[SOURCE=abc]exportEdid\n") + encodeBlock(ConnectorRef {0, 5})
            << to + "edidExported";
        QTest::newRow("loadEdid L=0") << QByteArray("[SOURCE=abc]loadEdid\n\x00 EDID", 26)
                                      << to + "edidLoaded" + emptyConnectorList();
        QTest::newRow("unknown") << QByteArray("[SOURCE=abc]hello\n") << to + "UnknownCmd";
        QTest::newRow("exit without line feed")
            << QByteArray("[SOURCE=abc]exit") << to + "UnknownCmd";
        QTest::newRow("exit with more") << QByteArray("[SOURCE=abc]exit\nx") << to + "UnknownCmd";
        QTest::newRow("case-sensitive")
            << QByteArray("[SOURCE=abc]GETGPUSINFO\n") << to + "UnknownCmd";
        QTest::newRow("other prefixes skipped")
            << QByteArray("[X][SOURCE=abc][Y]getGpusInfo\n") << to + "gpusInfo" + emptyGpuList();
        QTest::newRow("last source counts") << QByteArray("[SOURCE=x][SOURCE=abc]lockEdid\n")
                                            << to + "edidLocked" + emptyConnectorList();
        QTest::newRow("source with spaces and bytes")
            << QByteArray("[SOURCE=a b\x01]hello") << QByteArray("[FORWARDTO=a b\x01]UnknownCmd");
    }

    void commandTable()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, reply);
        const Run run = respond(request);
        QCOMPARE(run.response.action, HelperResponse::Action::Reply);
        QCOMPARE(run.response.datagram, reply);
    }

    void exitQuitsWithOrWithoutSource_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::newRow("bare") << QByteArray("exit\n");
        QTest::newRow("with source") << QByteArray("[SOURCE=abc]exit\n");
        QTest::newRow("empty source") << QByteArray("[SOURCE=]exit\n");
        QTest::newRow("other prefix") << QByteArray("[Z]exit\n");
    }

    void exitQuitsWithOrWithoutSource()
    {
        QFETCH(QByteArray, request);
        const Run run = respond(request);
        QCOMPARE(run.response.action, HelperResponse::Action::Quit);
        QVERIFY(run.response.datagram.isEmpty());
    }

    void requestsWithoutSourceAreIgnored_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::newRow("no source") << QByteArray("getGpusInfo\n");
        QTest::newRow("empty source") << QByteArray("[SOURCE=]getGpusInfo\n");
        QTest::newRow("only other prefixes") << QByteArray("[A][B]getGpusInfo\n");
        QTest::newRow("unterminated prefix") << QByteArray("[SOURCE=abc getGpusInfo\n");
        QTest::newRow("unterminated after source") << QByteArray("[SOURCE=abc][oops");
        QTest::newRow("empty datagram") << QByteArray();
    }

    void requestsWithoutSourceAreIgnored()
    {
        QFETCH(QByteArray, request);
        const Run run = respond(request);
        QCOMPARE(run.response.action, HelperResponse::Action::Ignore);
        QCOMPARE(run.events.size(), 1);
    }

    void malformedArgumentsAnswerEmptyAndSayWhy_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("why");
        const QByteArray to = "[FORWARDTO=s]";
        QTest::newRow("lock huge count")
            << QByteArray("[SOURCE=s]lockEdid\n") + QByteArray::fromHex("01000000ffffff7f")
            << to + "edidLocked" + emptyConnectorList() << "unreadable connector list";
        QTest::newRow("unload truncated")
            << QByteArray("[SOURCE=s]unloadEdid\n") + QByteArray::fromHex("010000")
            << to + "edidUnloaded" + emptyConnectorList() << "unreadable connector list";
        QTest::newRow("export truncated")
            << QByteArray("[SOURCE=s]exportEdid\n") + QByteArray::fromHex("0100000000")
            << to + "edidExported"
            << "unreadable connector reference";
        QTest::newRow("load without length")
            << QByteArray("[SOURCE=s]loadEdid\n") << to + "edidLoaded" + emptyConnectorList()
            << "no length byte";
        QTest::newRow("load negative length")
            << QByteArray("[SOURCE=s]loadEdid\n\x80xyz") << to + "edidLoaded" + emptyConnectorList()
            << "out of range";
        QTest::newRow("load length beyond datagram")
            << QByteArray("[SOURCE=s]loadEdid\n\x10xyz") << to + "edidLoaded" + emptyConnectorList()
            << "beyond";
        QTest::newRow("load list unreadable")
            << QByteArray("[SOURCE=s]loadEdid\n\x08") + QByteArray::fromHex("0100000005000000")
                + "EDID"
            << to + "edidLoaded" + emptyConnectorList() << "unreadable connector list";
    }

    void malformedArgumentsAnswerEmptyAndSayWhy()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, reply);
        QFETCH(QString, why);
        const Run run = respond(request);
        QCOMPARE(run.response.datagram, reply);
        QCOMPARE(run.events.size(), 1);
        QVERIFY2(run.events.first().contains(why), qPrintable(run.events.first()));
    }

    void randomDatagramsNeverCrash()
    {
        QRandomGenerator rng(4711);
        const QByteArray words[] = {"getGpusInfo\n", "lockEdid\n", "unloadEdid\n", "exportEdid\n",
            "loadEdid\n", "exit\n", ""};
        for (int i = 0; i < 2000; ++i) {
            QByteArray noise(int(rng.bounded(64)), '\0');
            for (char &c : noise)
                c = char(rng.bounded(256));
            const QByteArray request = QByteArray("[SOURCE=r]") + words[rng.bounded(7)] + noise;
            const Run run = respond(request);
            QVERIFY(run.response.action != HelperResponse::Action::Ignore);
        }
    }

    void eventLogLinesStayOnOneLine()
    {
        QCOMPARE(eventLogLine(QStringLiteral("Received command : [SOURCE=a]getGpusInfo\n")),
            QByteArray("Received command : [SOURCE=a]getGpusInfo\\n\n"));
        QCOMPARE(eventLogLine(QString::fromUtf8("a\\b\r\x01\x7f\xc3\xa9")),
            QByteArray("a\\\\b\\r\\x01\\x7f\xc3\xa9\n"));
    }
};

QTEST_GUILESS_MAIN(TestHelperCommands)
#include "test_helper_commands.moc"
