// Why requests are dropped or their arguments refused, run in-process without a driver;
// the command table itself is covered against the running helper.
#include "EventLog.h"
#include "HelperCommands.h"
#include "HelperRecords.h"

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

} // namespace

class TestHelperCommands : public QObject
{
    Q_OBJECT

private slots:
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

    void aReplyLargerThanADatagramIsReportedNotSent_data()
    {
        QTest::addColumn<int>("sourceBytes");
        QTest::addColumn<bool>("sent");
        // "[FORWARDTO=" + source + "]gpusInfo" + the empty list's 8 bytes.
        const int overhead = 11 + 1 + 8 + 8;
        QTest::newRow("fits exactly") << int(kMaxDatagramBytes) - overhead << true;
        QTest::newRow("one byte too many") << int(kMaxDatagramBytes) - overhead + 1 << false;
    }

    void aReplyLargerThanADatagramIsReportedNotSent()
    {
        QFETCH(int, sourceBytes);
        QFETCH(bool, sent);
        const Run run = respond("[SOURCE=" + QByteArray(sourceBytes, 's') + "]getGpusInfo\n");
        if (sent) {
            QCOMPARE(run.response.action, HelperResponse::Action::Reply);
            QCOMPARE(run.response.datagram.size(), kMaxDatagramBytes);
            QVERIFY(run.events.isEmpty());
            return;
        }
        QCOMPARE(run.response.action, HelperResponse::Action::Ignore);
        QCOMPARE(run.events,
            QStringList {"Reply to getGpusInfo not sent: 65508 bytes, more than one UDP datagram "
                         "holds (65507 bytes)"});
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
#include "tst_helper_commands.moc"
