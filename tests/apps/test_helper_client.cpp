// lm_helper_client against the running helper (no driver) and against a fake helper.
#include "HelperProcess.h"
#include "HelperRecords.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkDatagram>
#include <QProcess>
#include <QThread>
#include <QUdpSocket>
#include <QtTest>

class TestHelperClient : public QObject
{
    Q_OBJECT

private:
    HelperProcess m_helper;

    QString edidFile()
    {
        const QString path = m_helper.tempPath(QStringLiteral("in.bin"));
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(QByteArray(128, '\x11'));
        return path;
    }

    // Plays the helper: answers the client's first request with `reply` (after the marker).
    int runAgainstFakeHelper(const QStringList &args, const QByteArray &reply, QByteArray *err,
        QByteArray *request = nullptr)
    {
        QUdpSocket fake;
        QDeadlineTimer bindDeadline(15000);
        while (!fake.bind(QHostAddress::LocalHost, 3064) && !bindDeadline.hasExpired())
            QThread::msleep(50);
        if (fake.state() != QAbstractSocket::BoundState)
            return -2;
        QProcess client;
        client.start(HelperProcess::binary(QStringLiteral("lm_helper_client")), args);
        if (fake.waitForReadyRead(10000)) {
            const QByteArray got = fake.receiveDatagram().data();
            if (request)
                *request = got;
            fake.writeDatagram(reply, QHostAddress::LocalHost, 3060);
        }
        client.waitForFinished(10000);
        *err = client.readAllStandardError();
        return client.exitCode();
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(
            m_helper.start(HelperProcess::noDriverEnvironment()), qPrintable(m_helper.lastError()));
    }

    void gpusPrintsJson()
    {
        QByteArray out;
        QCOMPARE(runClient({"gpus"}, &out), 0);
        const QJsonObject json = QJsonDocument::fromJson(out).object();
        QCOMPARE(json.value("version").toInt(), 1);
        QVERIFY(json.value("gpus").isArray());
        QCOMPARE(json.value("gpus").toArray().size(), 0);
    }

    void gpusPrintsTable()
    {
        QByteArray out;
        QCOMPARE(runClient({"gpus", "--table", "--source", "tbl"}, &out), 0);
        QCOMPARE(out, QByteArray("No NVIDIA GPU found.\n"));
    }

    void edidCommandsReportFailures()
    {
        QByteArray out, err;
        const QString file = m_helper.tempPath(QStringLiteral("out.bin"));
        QCOMPARE(
            runClient({"export-edid", "--gpu", "0", "--connector", "0x80061082", "--out", file},
                &out, &err),
            1);
        QVERIFY(err.contains("could not read the EDID of connector 0x80061082"));
        QVERIFY(!QFile::exists(file));

        QCOMPARE(
            runClient({"load-edid", "--in", edidFile(), "--connector", "1", "--connector", "2"},
                &out, &err),
            1);
        QCOMPARE(QJsonDocument::fromJson(out).object().value("connectors").toArray().size(), 0);
        QVERIFY(err.contains("edidLoaded failed for connector 0x00000001"));
        QVERIFY(err.contains("edidLoaded failed for connector 0x00000002"));

        QCOMPARE(runClient({"lock-edid", "--connector", "7"}, &out, &err), 1);
        QVERIFY(err.contains("edidLocked failed for connector 0x00000007"));
        QCOMPARE(runClient({"unload-edid", "--connector", "7"}, &out, &err), 1);
        QVERIFY(err.contains("edidUnloaded failed for connector 0x00000007"));
        QVERIFY(
            m_helper.waitForEvent(QStringLiteral("Received command : [SOURCE=cli]unloadEdid\\n")));
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
        QCOMPARE(runClient({"exit"}), 0);
        QVERIFY(m_helper.waitForCleanExit(5000));
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
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("code");
        QTest::newRow("truncated gpu list")
            << QStringList {"gpus"} << QByteArray("[FORWARDTO=cli]gpusInfo\x01\x00\x00\x00\x05", 28)
            << 4;
        QTest::newRow("trailing bytes")
            << QStringList {"gpus"}
            << QByteArray("[FORWARDTO=cli]gpusInfo") + encodeBlock(GpuList()) + "x" << 4;
        QTest::newRow("wrong word")
            << QStringList {"gpus"} << QByteArray("[FORWARDTO=cli]UnknownCmd") << 4;
        QTest::newRow("bad edid block")
            << QStringList {"export-edid", "--connector", "1", "--out", "OUT"}
            << QByteArray("[FORWARDTO=cli]edidExported\xff\xff\x00\x00", 31) << 4;
        QTest::newRow("other source only") << QStringList {"gpus", "--timeout", "400"}
                                           << QByteArray("[FORWARDTO=host]gpusInfo") << 3;
    }

    void rejectsUndecodableReplies()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, reply);
        QFETCH(int, code);
        args.replaceInStrings(QStringLiteral("OUT"), m_helper.tempPath(QStringLiteral("x.bin")));
        QByteArray err;
        QCOMPARE(runAgainstFakeHelper(args, reply, &err), code);
        QVERIFY(!err.isEmpty());
    }

    void encodesRequestsAsTheHelperExpects()
    {
        QByteArray err, request;
        // A leading zero is still decimal.
        const QByteArray list = encodeBlock(ConnectorList {{{2, 5}, {2, 0x80061082}, {2, 10}}});
        const QByteArray reply = QByteArray("[FORWARDTO=me]edidLoaded") + list;
        QCOMPARE(runAgainstFakeHelper(
                     {"load-edid", "--source", "me", "--gpu", "2", "--in", edidFile(),
                         "--connector", "5", "--connector", "0x80061082", "--connector", "010"},
                     reply, &err, &request),
            0);
        QCOMPARE(request,
            QByteArray("[SOURCE=me]loadEdid\n") + char(list.size()) + list
                + QByteArray(128, '\x11'));
    }
};

QTEST_GUILESS_MAIN(TestHelperClient)
#include "test_helper_client.moc"
