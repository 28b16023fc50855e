// Rig files and the EDIDs the simulated driver builds for them; the example rigs' EDIDs
// must be real EDIDs for Debian's edid-decode.
#include "SimEdid.h"
#include "SimRig.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace lmsim;

namespace {

const char kEdidDecode[] = "/usr/bin/edid-decode";

// edid-decode runs on Linux only; on Windows what does not need it still runs.
#ifdef Q_OS_WIN
#define LM_SKIP_WITHOUT_EDID_DECODE() QSKIP("edid-decode is a Linux program")
#else
#define LM_SKIP_WITHOUT_EDID_DECODE()                                                              \
    do {                                                                                           \
    } while (false)
#endif

// The monitor name of the first 0xFC descriptor of the base block, or a null array.
QByteArray descriptorName(const QByteArray &edid)
{
    for (int at = 54; at + 18 <= 126 && edid.size() >= 128; at += 18) {
        const QByteArray d = edid.mid(at, 18);
        if (d[0] == 0 && d[1] == 0 && quint8(d[3]) == 0xfc) {
            QByteArray text = d.mid(5, 13);
            const int end = text.indexOf('\n');
            return end >= 0 ? text.left(end) : text;
        }
    }
    return {};
}

} // namespace

class TestNvapiSimRig : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_files = 0;

    // Runs edid-decode --check on the bytes; returns its output, exit code in *code.
    QByteArray decode(const QByteArray &edid, int *code)
    {
        const QString path = m_dir.filePath(QStringLiteral("edid%1.bin").arg(++m_files));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            return {};
        f.write(edid);
        f.close();
        QProcess p;
        p.start(QString::fromLatin1(kEdidDecode), {QStringLiteral("--check"), path});
        if (!p.waitForFinished(20000)) {
            *code = -1;
            return {};
        }
        *code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        return p.readAllStandardOutput() + p.readAllStandardError();
    }

    void verifyDecodes(const QByteArray &edid, const QByteArray &name)
    {
        int code = 0;
        const QByteArray out = decode(edid, &code);
        QVERIFY2(code == 0, out.constData());
        QVERIFY2(out.contains("EDID conformity: PASS"), out.constData());
        QVERIFY2(out.contains("Display Product Name: '" + name + "'"), out.constData());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
#ifdef Q_OS_WIN
        return;
#endif
        QVERIFY2(QFile::exists(QString::fromLatin1(kEdidDecode)),
            "edid-decode is not installed (Debian package edid-decode)");
    }

    void builtEdidLayout()
    {
        EdidDescription d;
        d.name = QStringLiteral("DELL U2720Q");
        d.manufacturer = QStringLiteral("DEL");
        d.productCode = 0xa1b1;
        d.serial = 0x01020304;
        d.week = 30;
        d.year = 2020;
        QString error;
        QByteArray edid = buildEdid(d, &error);
        QVERIFY2(!edid.isEmpty(), qPrintable(error));
        QCOMPARE(edid.size(), 128);
        QCOMPARE(edid.left(8), QByteArray::fromHex("00ffffffffffff00"));
        QCOMPARE(edid.mid(8, 2), QByteArray::fromHex("10ac")); // "DEL"
        QCOMPARE(edid.mid(10, 2), QByteArray::fromHex("b1a1"));
        QCOMPARE(edid.mid(12, 4), QByteArray::fromHex("04030201"));
        QCOMPARE(int(edid[16]), 30);
        QCOMPARE(int(edid[17]), 30);
        QCOMPARE(edid.mid(18, 2), QByteArray::fromHex("0104"));
        QCOMPARE(int(edid[126]), 0);
        QVERIFY(edidChecksumsValid(edid));
        QCOMPARE(descriptorName(edid), QByteArray("DELL U2720Q"));

        d.extension = true;
        edid = buildEdid(d, &error);
        QCOMPARE(edid.size(), 256);
        QCOMPARE(int(edid[126]), 1);
        QCOMPARE(int(edid[128]), 2); // CTA-861
        QVERIFY(edidChecksumsValid(edid));

        edid[200] = char(edid[200] + 1);
        QVERIFY(!edidChecksumsValid(edid));
        QVERIFY(!edidChecksumsValid(QByteArray(100, '\0')));
    }

    void descriptionErrors_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("manufacturer");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("refresh");
        QTest::addColumn<QString>("message");
        QTest::newRow("long name") << "Fourteen chars"
                                   << "LMS" << 1920 << 60 << "name";
        QTest::newRow("empty name") << ""
                                    << "LMS" << 1920 << 60 << "name";
        QTest::newRow("not ASCII") << "Müller"
                                   << "LMS" << 1920 << 60 << "ASCII";
        QTest::newRow("lower case vendor") << "A"
                                           << "lms" << 1920 << 60 << "manufacturer";
        QTest::newRow("short vendor") << "A"
                                      << "LM" << 1920 << 60 << "manufacturer";
        QTest::newRow("too wide") << "A"
                                  << "LMS" << 5120 << 60 << "width";
        QTest::newRow("refresh") << "A"
                                 << "LMS" << 1920 << 10 << "refresh";
        QTest::newRow("pixel clock") << "A"
                                     << "LMS" << 3840 << 240 << "pixel clock";
    }
    void descriptionErrors()
    {
        QFETCH(QString, name);
        QFETCH(QString, manufacturer);
        QFETCH(int, width);
        QFETCH(int, refresh);
        QFETCH(QString, message);
        EdidDescription d;
        d.name = name;
        d.manufacturer = manufacturer;
        d.width = width;
        d.height = 2160;
        d.refresh = refresh;
        QString error;
        QVERIFY(buildEdid(d, &error).isEmpty());
        QVERIFY2(error.contains(message), qPrintable(error));
    }

    void builtEdidsDecodeCleanly_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("refresh");
        QTest::addColumn<int>("digital");
        QTest::addColumn<bool>("extension");
        QTest::newRow("1080p DP") << 1920 << 1080 << 60 << 0 << false;
        QTest::newRow("4K HDMI with CTA") << 3840 << 2160 << 60 << 1 << true;
        QTest::newRow("1440p 144 Hz") << 2560 << 1440 << 144 << 0 << true;
        QTest::newRow("XGA 24 Hz DVI") << 1024 << 768 << 24 << 2 << false;
        QTest::newRow("1080p 240 Hz (range offset)") << 1920 << 1080 << 240 << 0 << true;
    }
    void builtEdidsDecodeCleanly()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, refresh);
        QFETCH(int, digital);
        QFETCH(bool, extension);
        EdidDescription d;
        d.name = QStringLiteral("Test %1").arg(refresh);
        d.width = width;
        d.height = height;
        d.refresh = refresh;
        d.digital = EdidInterface(digital);
        d.extension = extension;
        QString error;
        const QByteArray edid = buildEdid(d, &error);
        QVERIFY2(!edid.isEmpty(), qPrintable(error));
        LM_SKIP_WITHOUT_EDID_DECODE();
        verifyDecodes(edid, d.name.toLatin1());
        int code = 0;
        const QByteArray out = decode(edid, &code);
        QVERIFY2(out.contains(QStringLiteral("%1x%2").arg(width).arg(height).toLatin1()),
            out.constData());
    }

    void exampleRigsCarryRealEdids()
    {
        const QDir rigs(QStringLiteral(LM_RIGS_DIR));
        const QStringList files = rigs.entryList({QStringLiteral("*.json")}, QDir::Files);
        QVERIFY(files.contains(QStringLiteral("single-gpu.json")));
        QVERIFY(files.contains(QStringLiteral("workstation.json")));
        QVERIFY(files.contains(QStringLiteral("failing-driver.json")));
        int checked = 0;
        for (const QString &file : files) {
            Rig rig;
            QString error;
            QVERIFY2(loadRig(rigs.filePath(file), &rig, &error), qPrintable(file + ": " + error));
            QVERIFY2(!rig.gpus.empty(), qPrintable(file));
            for (const RigDisplay &display : rig.displays) {
                for (const QByteArray &edid : {display.edid, display.override}) {
                    if (edid.isEmpty())
                        continue;
                    QVERIFY(edidChecksumsValid(edid));
                    const QByteArray name = descriptorName(edid);
                    QVERIFY2(!name.isEmpty(), qPrintable(file));
#ifndef Q_OS_WIN
                    verifyDecodes(edid, name);
#endif
                    ++checked;
                }
            }
        }
        QVERIFY(checked >= 10);
        // The rigs load and their EDIDs are whole; only the decoding is left out.
        LM_SKIP_WITHOUT_EDID_DECODE();
    }

    void rigDefaults()
    {
        Rig rig;
        QString error;
        QVERIFY2(parseRig(R"({
            "gpus": [ { "displayIds": [ { "id": 305419896, "connectorType": 97,
                                          "connectorValue": 3 },
                                        { "id": "0x00010002" },
                                        { "id": "0x8000abcd", "connected": true },
                                        { "id": 7, "connected": true, "edid": null } ] } ],
            "displayHandles": [ { "name": "A", "displayId": "10" },
                                { "name": "B", "displayId": 11 } ],
            "paths": [ { "displayId": "0x12345678" },
                       { "displayIds": [ 65538 ], "gdiName": "A", "targetId": "0x99" } ],
            "failures": [ { "function": "NvAPI_Unload" },
                          { "function": "GetSourceDeviceName", "displayId": "0x10" } ]
        })",
                     &rig, &error),
            qPrintable(error));
        QCOMPARE(rig.gpus.size(), size_t(1));
        QCOMPARE(rig.gpus[0].fullName, std::string("NVIDIA GPU"));
        QCOMPARE(rig.displays[0].id, 0x12345678u);
        QCOMPARE(rig.displays[0].connectors.size(), size_t(1));
        QCOMPARE(rig.displays[0].connectors[0].first, 97u);
        QCOMPARE(rig.displays[0].connectors[0].second, 3u);
        QCOMPARE(rig.displays[1].id, 0x10002u);
        QVERIFY(!rig.displays[1].connected);
        QVERIFY(rig.displays[1].edid.isEmpty());
        QVERIFY(edidChecksumsValid(rig.displays[2].edid)); // generated for a connected monitor
        QCOMPARE(descriptorName(rig.displays[2].edid), QByteArray("Monitor abcd"));
        QVERIFY(rig.displays[3].edid.isEmpty());
        QCOMPARE(rig.handles[0].displayId, 10u);
        QCOMPARE(rig.handles[0].outputId, 1u);
        QCOMPARE(rig.handles[1].outputId, 2u);
        QCOMPARE(rig.paths[0].sourceId, 0u);
        QCOMPARE(rig.paths[0].targetId, 0x5678u);
        QVERIFY(!rig.paths[0].inWindows);
        QCOMPARE(rig.paths[0].width, 1920u);
        QCOMPARE(rig.paths[0].refresh1K, 60000u);
        QCOMPARE(rig.paths[1].sourceId, 1u);
        QCOMPARE(rig.paths[1].targetId, 0x99u);
        QVERIFY(rig.paths[1].inWindows);
        QCOMPARE(rig.failures[0].status, -1L);
        QCOMPARE(rig.failures[0].from, 1);
        QCOMPARE(rig.failures[0].times, -1);
        QCOMPARE(rig.failures[1].status, 31L);
        QVERIFY(rig.failures[1].hasDisplayId);
        QCOMPARE(rig.failures[1].displayId, 0x10u);
    }

    void rigErrorsNameTheKey_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("message");
        QTest::newRow("gpus not array") << QByteArray(R"({"gpus": 3})") << "gpus: must be an array";
        QTest::newRow("fraction") << QByteArray(R"({"gpus":[{"displayIds":[{"id":1.5}]}]})")
                                  << "gpus[0].displayIds[0].id: must be an integer";
        QTest::newRow("id too big")
            << QByteArray(R"({"gpus":[{"displayIds":[{"id":"0x100000000"}]}]})")
            << "gpus[0].displayIds[0].id";
        QTest::newRow("bool") << QByteArray(R"({"gpus":[{"workstation":"yes"}]})")
                              << "gpus[0].workstation: must be true or false";
        QTest::newRow("odd hex") << QByteArray(
            R"({"gpus":[{"displayIds":[{"id":1,"edid":"00f"}]}]})")
                                 << "odd number";
        QTest::newRow("bad byte") << QByteArray(
            R"({"gpus":[{"displayIds":[{"id":1,"edid":[0,256]}]}]})")
                                  << "edid[1]";
        QTest::newRow("description")
            << QByteArray(R"({"gpus":[{"displayIds":[{"id":1,"override":{"width":800}}]}]})")
            << "gpus[0].displayIds[0].override.name: is required";
        QTest::newRow("interface") << QByteArray(
            R"({"gpus":[{"displayIds":[{"id":1,"edid":{"name":"A","digital":"VGA"}}]}]})")
                                   << "digital";
        QTest::newRow("handle without name")
            << QByteArray(R"({"displayHandles":[{"displayId":1}]})")
            << "displayHandles[0].name: is required";
        QTest::newRow("long handle name") << QByteArray(
            R"({"displayHandles":[{"name":")" + QByteArray(64, 'n') + R"(","displayId":1}]})")
                                          << "at most 63 bytes";
        QTest::newRow("from zero")
            << QByteArray(R"({"failures":[{"function":"NvAPI_Unload","from":0}]})")
            << "failures[0].from";
        QTest::newRow("status 0") << QByteArray(
            R"({"failures":[{"function":"NvAPI_Unload","status":0}]})")
                                  << "failures[0].status: 0 is not a failure";
        QTest::newRow("hex letter")
            << QByteArray(R"({"gpus":[{"displayIds":[{"id":1,"edid":"0g"}]}]})")
            << "not a hex digit";
        QTest::newRow("too many gpus")
            << QByteArray("{\"gpus\":[" + QByteArray("{},").repeated(64) + "{}]}") << "at most 64";
    }
    void rigErrorsNameTheKey()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, message);
        Rig rig;
        rig.gpus.resize(1);
        QString error;
        QVERIFY(!parseRig(json, &rig, &error));
        QVERIFY2(error.contains(message), qPrintable(error));
        QCOMPARE(rig.gpus.size(), size_t(1)); // untouched on error
    }
};

QTEST_GUILESS_MAIN(TestNvapiSimRig)
#include "tst_nvapi_sim_rig.moc"
