// lm_helper_client against the running helper (simulated driver) and against a fake helper.
#include "HelperProcess.h"
#include "HelperRecords.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkDatagram>
#include <QProcess>
#include <QThread>
#include <QUdpSocket>
#include <QtTest>

namespace {

// GPU 0: 0x100 (own EDID), 0x200 (refuses loads); GPU 1: 0x80062002 (own EDID),
// 0x80062003 (disconnected, no EDID).
const QByteArray kRig = R"({
  "gpus": [
    { "fullName": "NVIDIA A", "displayIds": [
      { "id": "0x100", "connectorType": 97, "connected": true, "edid": { "name": "LEFT" } },
      { "id": "0x200", "connectorType": 97, "connected": true, "setFlag": 1,
        "edid": { "name": "REFUSER" } } ] },
    { "fullName": "NVIDIA B", "displayIds": [
      { "id": "0x80062002", "connectorType": 100, "connected": true,
        "edid": { "name": "RIGHT" } },
      { "id": "0x80062003", "connectorType": 100 } ] } ],
  "displayHandles": [ { "name": "D1", "displayId": "0x100", "outputId": 16 } ],
  "paths": [ { "displayId": "0x100" }, { "displayId": "0x200" },
             { "displayId": "0x80062002" } ]
})";

// A sound EDID of `blocks` blocks: header, extension count, checksums.
QByteArray soundEdid(int blocks = 1)
{
    QByteArray edid(128 * blocks, '\x11');
    edid.replace(0, 8, QByteArray::fromHex("00ffffffffffff00"));
    edid[126] = char(blocks - 1);
    for (int b = 0; b < blocks; ++b) {
        if (b > 0)
            edid[128 * b] = '\x02';
        quint8 sum = 0;
        for (int i = 0; i < 127; ++i)
            sum += quint8(edid.at(128 * b + i));
        edid[128 * b + 127] = char(quint8(256 - sum));
    }
    return edid;
}

QByteArray withByte(QByteArray bytes, int at, char value)
{
    bytes[at] = value;
    return bytes;
}

// An inventory reply block: GPU `gpuId` with the given connectors.
QByteArray inventoryBlock(quint32 gpuId, const QVector<quint32> &connectorIds)
{
    GpuInfo gpu;
    gpu.id = gpuId;
    gpu.brand = QStringLiteral("Nvidia");
    gpu.model = QStringLiteral("FAKE");
    for (quint32 id : connectorIds) {
        ConnectorInfo c;
        c.mainId = id;
        c.type = QStringLiteral("HDMI");
        gpu.connectors.append(c);
    }
    return encodeBlock(GpuList {{gpu}});
}

} // namespace

class TestHelperClient : public QObject
{
    Q_OBJECT

private:
    HelperProcess m_helper;

    QString file(const QString &name, const QByteArray &content)
    {
        const QString path = m_helper.tempPath(name);
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(content);
        return path;
    }

    QString edidFile() { return file(QStringLiteral("in.bin"), soundEdid()); }

    // Plays the helper: answers the client's i-th request with the datagrams of
    // replies[i] (the last entry again for later requests), "SRC" in them replaced by the
    // request's source.
    int runAgainstFakeHelper(const QStringList &args, const QList<QByteArrayList> &replies,
        QByteArray *out, QByteArray *err, QByteArrayList *requests = nullptr)
    {
        QUdpSocket fake;
        QDeadlineTimer bindDeadline(15000);
        while (!fake.bind(QHostAddress::LocalHost, 3064) && !bindDeadline.hasExpired())
            QThread::msleep(50);
        if (fake.state() != QAbstractSocket::BoundState)
            return -2;
        QProcess client;
        client.start(HelperProcess::binary(QStringLiteral("lm_helper_client")), args);
        QDeadlineTimer deadline(15000);
        int served = 0;
        while (!client.waitForFinished(5) && !deadline.hasExpired()) {
            while (fake.hasPendingDatagrams() || fake.waitForReadyRead(20)) {
                const QByteArray got = fake.receiveDatagram().data();
                if (requests)
                    requests->append(got);
                const QByteArray source = got.mid(8, got.indexOf(']') - 8);
                for (QByteArray reply : replies.value(qMin(served, int(replies.size()) - 1)))
                    fake.writeDatagram(reply.replace("SRC", source), QHostAddress::LocalHost, 3060);
                ++served;
            }
        }
        if (out)
            *out = withLineFeeds(client.readAllStandardOutput());
        *err = withLineFeeds(client.readAllStandardError());
        return client.state() == QProcess::NotRunning ? client.exitCode() : -1;
    }

private slots:
    void initTestCase()
    {
        if (!QFile::exists(HelperProcess::simLibrary()))
            QSKIP("the simulated driver is not built");
        QVERIFY2(m_helper.startOnRig(kRig), qPrintable(m_helper.lastError()));
    }

    void gpusPrintsHexIds()
    {
        QByteArray out;
        QCOMPARE(runClient({"gpus"}, &out), 0);
        const QJsonObject json = QJsonDocument::fromJson(out).object();
        QCOMPARE(json.value("version").toInt(), 1);
        const QJsonArray gpus = json.value("gpus").toArray();
        QCOMPARE(gpus.size(), 2);
        QCOMPARE(gpus[1].toObject().value("id").toString(), QStringLiteral("0x00000001"));
        const QJsonObject first = gpus[0].toObject().value("connectors").toArray()[0].toObject();
        QCOMPARE(first.value("mainId").toString(), QStringLiteral("0x00000100"));
        QCOMPARE(first.value("alternativeId").toString(), QStringLiteral("0x00000000"));
        QCOMPARE(first.value("displayDevice").toObject().value("outputId").toString(),
            QStringLiteral("0x00000010"));
    }

    void gpusPrintsTable()
    {
        QByteArray out;
        QCOMPARE(runClient({"gpus", "--table", "--source", "tbl"}, &out), 0);
        const QList<QByteArray> lines = out.split('\n');
        QVERIFY2(lines.size() > 5, out.constData());
        QVERIFY2(lines[1].simplified().startsWith("0x00000000 A no 0x00000100 - HDMI yes D1"),
            lines[1].constData());
        QVERIFY2(lines[1].contains(" 0x00000010 "), lines[1].constData());
        QVERIFY2(
            lines[3].simplified().startsWith("0x00000001 B no 0x80062002"), lines[3].constData());
    }

    void edidCommandsSayWhatWasDone()
    {
        QByteArray out, err;
        const QString target = m_helper.tempPath(QStringLiteral("out.bin"));
        QCOMPARE(
            runClient({"export-edid", "--connector", "0x80062003", "--out", target}, &out, &err),
            1);
        QVERIFY(err.contains("could not read the EDID of connector 0x80062003"));
        QVERIFY(!QFile::exists(target));
        QCOMPARE(runClient({"export-edid", "--connector", "256", "--out", target}, &out, &err), 0);
        QCOMPARE(out,
            "Wrote 128 EDID bytes of connector 0x00000100 of GPU 0x00000000 to " + target.toUtf8()
                + "\n");

        const QString in = edidFile();
        QCOMPARE(runClient({"load-edid", "--in", in, "--connector", "0x100", "--connector", "0x200",
                               "--connector", "0x80062002"},
                     &out, &err),
            1);
        // Each connector with the GPU that lists it, as the helper echoes it back.
        QCOMPARE(out,
            "Loaded 128 EDID bytes of " + in.toUtf8()
                + " onto connector 0x00000100 of GPU 0x00000000\nLoaded 128 EDID bytes of "
                + in.toUtf8() + " onto connector 0x80062002 of GPU 0x00000001\n");
        QCOMPARE(err, QByteArray("lm_helper_client: edidLoaded failed for connector 0x00000200\n"));

        QCOMPARE(runClient({"lock-edid", "--connector", "0x200"}, &out, &err), 1);
        QVERIFY(out.isEmpty());
        QVERIFY(err.contains("edidLocked failed for connector 0x00000200"));
        QCOMPARE(
            runClient({"unload-edid", "--gpu", "1", "--connector", "0x80062002"}, &out, &err), 0);
        QCOMPARE(out, QByteArray("Unloaded the EDID of connector 0x80062002 of GPU 0x00000001\n"));
        LM_SKIP_WITHOUT_EVENT_LOG_FILE();
        QVERIFY(m_helper.waitForEvent(QStringLiteral("]unloadEdid\\n")));
    }

    void refusesWhatTheInventoryDoesNotList_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("no such gpu")
            << QStringList {"export-edid", "--gpu", "7", "--connector", "0x100", "--out", "OUT"}
            << QByteArray("GPU 0x00000007 is not in the helper's inventory");
        QTest::newRow("no such connector") << QStringList {"export-edid", "--connector", "0x999",
            "--out", "OUT"} << QByteArray("connector 0x00000999 is not in the helper's inventory");
        QTest::newRow("connector of another gpu")
            << QStringList {"lock-edid", "--gpu", "0", "--connector", "0x80062002"}
            << QByteArray("connector 0x80062002 is not on GPU 0x00000000");
        QTest::newRow("one unknown among known") << QStringList {"load-edid", "--in", "EDID",
            "--connector", "0x100", "--connector", "0x101"}
                                                 << QByteArray("connector 0x00000101");
    }

    void refusesWhatTheInventoryDoesNotList()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, message);
        const QString target = m_helper.tempPath(QStringLiteral("refused.bin"));
        args.replaceInStrings(QStringLiteral("OUT"), target);
        args.replaceInStrings(QStringLiteral("EDID"), edidFile());
        // Nothing but the inventory reaches the helper.
        const auto edidCommands
            = [this] { return m_helper.events().filter(QStringLiteral("Edid\\n")).size(); };
        const qsizetype before = edidCommands();
        QByteArray err;
        QCOMPARE(runClient(args, nullptr, &err), 2);
        QVERIFY2(err.contains(message), err.constData());
        QVERIFY(!QFile::exists(target));
        LM_SKIP_WITHOUT_EVENT_LOG_FILE();
        QVERIFY(m_helper.waitForEvent(QStringLiteral("getGpusInfo")));
        QCOMPARE(edidCommands(), before);
    }

    void loadChecksTheEdid_data()
    {
        QTest::addColumn<QByteArray>("edid");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("short") << soundEdid().left(100) << QByteArray("100 bytes are not whole");
        QTest::newRow("partial block")
            << soundEdid(2).left(200) << QByteArray("200 bytes are not whole");
        QTest::newRow("header") << withByte(soundEdid(), 7, '\x01')
                                << QByteArray("does not start with the 8-byte EDID header");
        QTest::newRow("base checksum")
            << withByte(soundEdid(), 20, '\x12') << QByteArray("block 0 has a wrong checksum");
        QTest::newRow("extension checksum")
            << withByte(soundEdid(2), 140, '\x12') << QByteArray("block 1 has a wrong checksum");
        QTest::newRow("extension count")
            << soundEdid() + soundEdid(2).mid(128)
            << QByteArray("announces 0 extension blocks, the file holds 1");
        QTest::newRow("missing extension") << withByte(
            withByte(soundEdid(), 126, '\x01'), 127, char(quint8(soundEdid().at(127)) - 1))
                                           << QByteArray("announces 1 extension blocks, the "
                                                         "file holds 0");
    }

    void loadChecksTheEdid()
    {
        QFETCH(QByteArray, edid);
        QFETCH(QByteArray, message);
        const QString in = file(QStringLiteral("broken.bin"), edid);
        QByteArray out, err;
        QCOMPARE(runClient({"load-edid", "--in", in, "--connector", "0x100"}, &out, &err), 2);
        QVERIFY2(err.contains(in.toUtf8() + " is not a valid EDID: "), err.constData());
        QVERIFY2(err.contains(message), err.constData());
        QVERIFY2(err.contains("--force"), err.constData());
        QCOMPARE(
            runClient({"load-edid", "--force", "--in", in, "--connector", "0x100"}, &out, &err), 0);
        QVERIFY2(out.startsWith("Loaded "), out.constData());
    }

    void tooLargeForOneDatagram_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("edid file") << QStringList {"load-edid", "--in", "BIG", "--connector",
            "0x100"} << QByteArray("big.bin has 70000 bytes, more than one UDP datagram holds");
        QTest::newRow("reply to a long source")
            << QStringList {"gpus", "--source", QString(65490, QLatin1Char('s'))}
            << QByteArray("the reply to this request would take at least");
    }

    void tooLargeForOneDatagram()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, message);
#ifdef Q_OS_WIN
        if (args.join(QLatin1Char(' ')).size() > 32767)
            QSKIP("a Windows command line holds at most 32,767 characters");
#endif
        args.replaceInStrings(QStringLiteral("BIG"),
            file(QStringLiteral("big.bin"), soundEdid() + QByteArray(70000 - 128, '\0')));
        QByteArray err;
        QCOMPARE(runClient(args, nullptr, &err), 5);
        QVERIFY2(err.contains(message), err.constData());
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("no command") << QStringList {} << QByteArray("expected one command");
        QTest::newRow("unknown command") << QStringList {"reboot"} << QByteArray("unknown command");
        QTest::newRow("export without out")
            << QStringList {"export-edid", "--connector", "1"} << QByteArray("--out");
        QTest::newRow("export two connectors") << QStringList {"export-edid", "--connector", "1",
            "--connector", "2", "--out", "x"} << QByteArray("exactly one");
        QTest::newRow("bad connector")
            << QStringList {"lock-edid", "--connector", "x1"} << QByteArray("invalid --connector");
        QTest::newRow("bad gpu") << QStringList {"lock-edid", "--gpu", "g", "--connector", "1"}
                                 << QByteArray("invalid --gpu");
        QTest::newRow("no connector")
            << QStringList {"unload-edid"} << QByteArray("--connector is required");
        QTest::newRow("missing file") << QStringList {"load-edid", "--in", "/nonexistent/edid.bin",
            "--connector", "1"} << QByteArray("cannot read");
        QTest::newRow("too many connectors")
            << QStringList {"load-edid", "--in", "EDIDFILE", "--connector", "1", "--connector", "2",
                   "--connector", "3", "--connector", "4", "--connector", "5", "--connector", "6",
                   "--connector", "7", "--connector", "8", "--connector", "9", "--connector", "10"}
            << QByteArray("too many connectors");
        QTest::newRow("bad timeout")
            << QStringList {"gpus", "--timeout", "soon"} << QByteArray("invalid --timeout");
        QTest::newRow("bad source")
            << QStringList {"gpus", "--source", "a]b"} << QByteArray("--source");
    }

    void usageErrors()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, message);
        args.replaceInStrings(QStringLiteral("EDIDFILE"), edidFile());
        QByteArray err;
        QCOMPARE(runClient(args, nullptr, &err), 2);
        QVERIFY2(err.contains(message), err.constData());
    }

    void exitEndsTheHelper()
    {
        QByteArray out;
        QCOMPARE(runClient({"exit"}, &out), 0);
        QCOMPARE(out, QByteArray("The elevated helper answered and has ended.\n"));
        QVERIFY(m_helper.waitForCleanExit(5000));
    }

    void exitWithoutHelper()
    {
        QByteArray err;
        QCOMPARE(runClient({"exit", "--timeout", "300"}, nullptr, &err), 3);
        QVERIFY2(err.contains("no elevated helper answered on UDP port 3064 within 300 ms"),
            err.constData());
    }

    void exitWhenTheHelperStays()
    {
        QByteArray err;
        QCOMPARE(runAgainstFakeHelper(
                     {"exit", "--timeout", "500"}, {{"[FORWARDTO=SRC]UnknownCmd"}}, nullptr, &err),
            1);
        QVERIFY2(err.contains("still answers"), err.constData());
    }

    void timesOutWithoutHelper()
    {
        QByteArray err;
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(runClient({"gpus", "--timeout", "300"}, nullptr, &err), 3);
        QVERIFY(err.contains("no reply"));
        QVERIFY(timer.elapsed() < 5000);
    }

    void rejectsUndecodableReplies_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QList<QByteArrayList>>("replies");
        QTest::addColumn<int>("code");
        const QByteArrayList inventory {"[FORWARDTO=SRC]gpusInfo" + inventoryBlock(0, {1})};
        QTest::newRow("truncated gpu list")
            << QStringList {"gpus"}
            << QList<QByteArrayList> {{QByteArray(
                   "[FORWARDTO=SRC]gpusInfo\x01\x00\x00\x00\x05", 28)}}
            << 4;
        QTest::newRow("trailing bytes")
            << QStringList {"gpus"}
            << QList<QByteArrayList> {{"[FORWARDTO=SRC]gpusInfo" + encodeBlock(GpuList()) + "x"}}
            << 4;
        QTest::newRow("wrong word")
            << QStringList {"gpus"} << QList<QByteArrayList> {{"[FORWARDTO=SRC]UnknownCmd"}} << 4;
        QTest::newRow("bad edid block")
            << QStringList {"export-edid", "--connector", "1", "--out", "OUT"}
            << QList<QByteArrayList> {inventory,
                   {QByteArray("[FORWARDTO=SRC]edidExported\xff\xff\x00\x00", 31)}}
            << 4;
        QTest::newRow("other source only")
            << QStringList {"gpus", "--timeout", "400"}
            << QList<QByteArrayList> {{"[FORWARDTO=host]gpusInfo" + encodeBlock(GpuList())}} << 3;
    }

    void rejectsUndecodableReplies()
    {
        QFETCH(QStringList, args);
        QFETCH(QList<QByteArrayList>, replies);
        QFETCH(int, code);
        args.replaceInStrings(QStringLiteral("OUT"), m_helper.tempPath(QStringLiteral("x.bin")));
        QByteArray err;
        QCOMPARE(runAgainstFakeHelper(args, replies, nullptr, &err), code);
        QVERIFY(!err.isEmpty());
    }

    void aLateReplyToAnEarlierRequestIsIgnored()
    {
        QByteArray out, err;
        QByteArrayList requests;
        // The late reply comes first, to the source an earlier client run used.
        QCOMPARE(runAgainstFakeHelper({"gpus", "--table"},
                     {{"[FORWARDTO=cli]gpusInfo" + inventoryBlock(1, {0xBAD}),
                         "[FORWARDTO=SRC]gpusInfo" + inventoryBlock(0, {0x600D})}},
                     &out, &err, &requests),
            0);
        QVERIFY2(out.contains("0x0000600d"), out.constData());
        QVERIFY(!out.contains("0x00000bad"));
        QCOMPARE(requests.size(), 1);
        QVERIFY2(QRegularExpression("^\\[SOURCE=cli-\\d+-1\\]getGpusInfo\\n$")
                     .match(QString::fromLatin1(requests.first()))
                     .hasMatch(),
            requests.first().constData());
    }

    void encodesRequestsAsTheHelperExpects()
    {
        QByteArray err;
        QByteArrayList requests;
        // A leading zero is still decimal; the GPU comes from the inventory.
        const QByteArray list = encodeBlock(ConnectorList {{{2, 5}, {2, 0x80061082}, {2, 10}}});
        QCOMPARE(
            runAgainstFakeHelper({"load-edid", "--source", "me", "--in", edidFile(), "--connector",
                                     "5", "--connector", "0x80061082", "--connector", "010"},
                {{"[FORWARDTO=SRC]gpusInfo" + inventoryBlock(2, {10, 0x80061082, 5})},
                    {"[FORWARDTO=SRC]edidLoaded" + list}},
                nullptr, &err, &requests),
            0);
        QCOMPARE(requests.size(), 2);
        const QByteArray load = requests[1];
        QVERIFY2(load.startsWith("[SOURCE=me-") && requests[0].startsWith("[SOURCE=me-"),
            load.constData());
        QVERIFY(load.left(load.indexOf(']')) != requests[0].left(requests[0].indexOf(']')));
        QCOMPARE(load.mid(load.indexOf(']') + 1),
            QByteArray("loadEdid\n") + char(list.size()) + list + soundEdid());
    }

    void noGpuFound()
    {
        QByteArray out, err;
        QCOMPARE(runAgainstFakeHelper({"gpus", "--table"},
                     {{"[FORWARDTO=SRC]gpusInfo" + encodeBlock(GpuList())}}, &out, &err),
            0);
        QCOMPARE(out, QByteArray("No NVIDIA GPU found.\n"));
    }
};

QTEST_GUILESS_MAIN(TestHelperClient)
#include "tst_helper_client.moc"
