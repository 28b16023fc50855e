// The built helper as a process, without a driver, on the real UDP ports.
#include "HelperProcess.h"
#include "HelperRecords.h"

#include <QRandomGenerator>
#include <QUdpSocket>
#include <QtTest>

namespace {

const QByteArray kNoGpus = QByteArrayLiteral("gpusInfo") + encodeBlock(GpuList());
const QByteArray kEmptyRefs = encodeBlock(ConnectorList());

} // namespace

class TestHelperServer : public QObject
{
    Q_OBJECT

private:
    HelperProcess m_helper;

    void verifyStillAnswering()
    {
        QCOMPARE(m_helper.request("[SOURCE=alive]getGpusInfo\n"),
            QByteArray("[FORWARDTO=alive]") + kNoGpus);
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_helper.bindReplyPort(), qPrintable(m_helper.lastError()));
        QVERIFY2(
            m_helper.start(HelperProcess::noDriverEnvironment()), qPrintable(m_helper.lastError()));
    }

    void answersEveryCommandOfTheTable_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("getGpusInfo")
            << QByteArray("[SOURCE=abc]getGpusInfo\n") << QByteArray("[FORWARDTO=abc]") + kNoGpus;
        QTest::newRow("getGpusInfo + bytes") << QByteArray("[SOURCE=abc]getGpusInfo\n1234")
                                             << QByteArray("[FORWARDTO=abc]") + kNoGpus;
        QTest::newRow("prefixes around source") << QByteArray("[X][SOURCE=abc][Y]getGpusInfo\n")
                                                << QByteArray("[FORWARDTO=abc]") + kNoGpus;
        QTest::newRow("lockEdid") << QByteArray("[SOURCE=abc]lockEdid\n")
                                  << QByteArray("[FORWARDTO=abc]edidLocked") + kEmptyRefs;
        QTest::newRow("lockEdid list")
            << QByteArray("[SOURCE=abc]lockEdid\n") + encodeBlock(ConnectorList {{{0, 1}}})
            << QByteArray("[FORWARDTO=abc]edidLocked") + kEmptyRefs;
        QTest::newRow("unloadEdid")
            << QByteArray("[SOURCE=abc]unloadEdid\n") + encodeBlock(ConnectorList {{{0, 1}}})
            << QByteArray("[FORWARDTO=abc]edidUnloaded") + kEmptyRefs;
        QTest::newRow("exportEdid")
            << QByteArray("[SOURCE=abc]exportEdid\n") << QByteArray("[FORWARDTO=abc]edidExported");
        QTest::newRow("loadEdid L=0") << QByteArray("[SOURCE=abc]loadEdid\n") + '\0' + "EDID"
                                      << QByteArray("[FORWARDTO=abc]edidLoaded") + kEmptyRefs;
        QTest::newRow("loadEdid one ref") << QByteArray("[SOURCE=abc]loadEdid\n") + char(20)
                + encodeBlock(ConnectorList {{{0, 1}}})
                + QByteArray(128, 'e') << QByteArray("[FORWARDTO=abc]edidLoaded") + kEmptyRefs;
        QTest::newRow("exit without line feed")
            << QByteArray("[SOURCE=abc]exit") << QByteArray("[FORWARDTO=abc]UnknownCmd");
        QTest::newRow("unknown") << QByteArray("[SOURCE=abc]formatDisk\n")
                                 << QByteArray("[FORWARDTO=abc]UnknownCmd");
    }

    void answersEveryCommandOfTheTable()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, reply);
        QCOMPARE(m_helper.request(request), reply);
    }

    void nobodyElseBindsTheCommandPort()
    {
        // Another process asking for address reuse must not share the helper's port.
        QUdpSocket thief;
        QVERIFY(!thief.bind(QHostAddress::LocalHost, 3064,
            QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint));
        QUdpSocket anyAddress;
        QVERIFY(!anyAddress.bind(QHostAddress::AnyIPv4, 3064,
            QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint));
        verifyStillAnswering();
    }

    void logsEveryCommandAndTheBinding()
    {
        LM_SKIP_WITHOUT_EVENT_LOG_FILE();
        QVERIFY(m_helper.events().contains(QStringLiteral("Binding to UDP port 3064: 1")));
        m_helper.request("[SOURCE=log]getGpusInfo\n");
        QVERIFY(
            m_helper.waitForEvent(QStringLiteral("Received command : [SOURCE=log]getGpusInfo\\n")));
    }

    void writesNoEventLogFileOnWindows()
    {
#ifndef Q_OS_WIN
        QSKIP("Linux honours LM_HELPER_EVENT_LOG (logsEveryCommandAndTheBinding)");
#endif
        // The helper runs as administrator: a path from the user's environment must not
        // choose what it writes to. It was started with the variable set.
        verifyStillAnswering();
        QVERIFY(!QFile::exists(m_helper.eventLogPath()));
    }

    void requestsWithoutSourceGetNoReply_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::newRow("no source") << QByteArray("getGpusInfo\n");
        QTest::newRow("empty source") << QByteArray("[SOURCE=]getGpusInfo\n");
        QTest::newRow("unterminated prefix") << QByteArray("[SOURCE=abc getGpusInfo\n");
    }

    void requestsWithoutSourceGetNoReply()
    {
        QFETCH(QByteArray, request);
        m_helper.drainReplies();
        m_helper.send(request);
        // Datagrams are handled in order: a reply to `request` would come before this one's.
        m_helper.send("[SOURCE=alive]getGpusInfo\n");
        QCOMPARE(m_helper.nextReply(5000), QByteArray("[FORWARDTO=alive]") + kNoGpus);
        LM_SKIP_WITHOUT_EVENT_LOG_FILE();
        QVERIFY(m_helper.waitForEvent(QStringLiteral("Received command : ")
            + QString::fromUtf8(request).replace('\n', "\\n")));
    }

    void survivesHostileDatagrams_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::newRow("lone bracket") << QByteArray("[");
        QTest::newRow("many brackets") << QByteArray(4000, '[');
        QTest::newRow("huge list count")
            << QByteArray("[SOURCE=h]lockEdid\n") + QByteArray::fromHex("01000000ffffff7f");
        QTest::newRow("negative list count")
            << QByteArray("[SOURCE=h]unloadEdid\n") + QByteArray::fromHex("01000000ffffffff0000");
        QTest::newRow("length byte 0xff")
            << QByteArray("[SOURCE=h]loadEdid\n\xff") + QByteArray(300, 'x');
        QTest::newRow("length byte beyond") << QByteArray("[SOURCE=h]loadEdid\n\x7f") + "abc";
        QTest::newRow("export short") << QByteArray("[SOURCE=h]exportEdid\n\x01");
        QTest::newRow("60 KB command")
            << QByteArray("[SOURCE=h]lockEdid\n") + QByteArray(60000, '\x01');
        QTest::newRow("60 KB prefixes") << QByteArray(60000, ']');
        QTest::newRow("20000 prefixes then a command")
            << QByteArray("[X]").repeated(20000) + "[SOURCE=h]getGpusInfo\n";
        QByteArray noise(60000, '\0');
        QRandomGenerator rng(99);
        for (char &c : noise)
            c = char(rng.bounded(256));
        QTest::newRow("60 KB random") << noise;
        QTest::newRow("source then random") << QByteArray("[SOURCE=h]") + noise.left(2000);
    }

    void survivesHostileDatagrams()
    {
        QFETCH(QByteArray, request);
        m_helper.send(request);
        verifyStillAnswering();
        QVERIFY(m_helper.isRunning());
    }

    void malformedArgumentsAreLoggedWithTheReason()
    {
        QCOMPARE(m_helper.request(QByteArray("[SOURCE=m]loadEdid\n\x90")),
            QByteArray("[FORWARDTO=m]edidLoaded") + kEmptyRefs);
        LM_SKIP_WITHOUT_EVENT_LOG_FILE();
        QVERIFY(m_helper.waitForEvent(
            QStringLiteral("Rejected loadEdid: length byte -112 out of range")));
    }

    void answersABurstInOrder()
    {
        m_helper.drainReplies();
        for (int i = 0; i < 40; ++i)
            m_helper.send(QByteArray("[SOURCE=b") + QByteArray::number(i) + "]getGpusInfo\n");
        for (int i = 0; i < 40; ++i)
            QCOMPARE(m_helper.nextReply(5000),
                QByteArray("[FORWARDTO=b") + QByteArray::number(i) + "]" + kNoGpus);
    }

    void exitWithSourceEndsWithoutReply()
    {
        m_helper.drainReplies();
        m_helper.send("[SOURCE=abc]exit\n");
        QVERIFY(m_helper.waitForCleanExit(5000));
        QVERIFY(m_helper.nextReply(200).isEmpty());
    }

    void exitWithoutSourceEnds()
    {
        QVERIFY2(
            m_helper.start(HelperProcess::noDriverEnvironment()), qPrintable(m_helper.lastError()));
        verifyStillAnswering();
        m_helper.send("exit\n");
        QVERIFY(m_helper.waitForCleanExit(5000));
        QVERIFY(m_helper.nextReply(200).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestHelperServer)
#include "tst_helper_server.moc"
