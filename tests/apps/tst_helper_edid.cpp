// The EDID commands of the built helper on the simulated driver, and an exported EDID
// checked by edid-decode.
#include "HelperProcess.h"
#include "HelperRecords.h"
#include "SimEdid.h"

#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

namespace {

// Display 0x100 (HDMI, own EDID "STAGE LEFT" with a CTA block, 256 bytes), 0x200 (own
// EDID, refuses loads), 0x300 (an override "FORCED" over its own "HOUSE"), 0x400
// (disconnected, no EDID), 0x500 (accepts loads with flag 4).
const QByteArray kRig = R"({
  "gpus": [ { "fullName": "NVIDIA RTX A5000", "workstation": true, "displayIds": [
    { "id": "0x100", "connectorType": 97, "connected": true,
      "edid": { "name": "STAGE LEFT", "manufacturer": "LMS", "digital": "HDMI",
                "width": 1920, "height": 1080, "extension": true } },
    { "id": "0x200", "connectorType": 100, "connected": true, "setFlag": 1,
      "edid": { "name": "REFUSER", "width": 1280, "height": 720 } },
    { "id": "0x300", "connectorType": 97, "connected": true,
      "edid": { "name": "HOUSE" }, "override": { "name": "FORCED", "extension": true } },
    { "id": "0x400", "connectorType": 32 },
    { "id": "0x500", "connectorType": 101, "connected": true, "setFlag": 4,
      "edid": { "name": "FOUR" } } ] } ],
  "displayHandles": [],
  "paths": [ { "displayId": "0x100" }, { "displayId": "0x200" }, { "displayId": "0x300" },
             { "displayId": "0x500" } ]
})";

ConnectorList refs(std::initializer_list<quint32> ids)
{
    ConnectorList list;
    for (quint32 id : ids)
        list.connectors.append(ConnectorRef {0, id});
    return list;
}

QString monitorName(const QByteArray &edid)
{
    for (int offset = 54; offset + 18 <= 126 && offset + 18 <= edid.size(); offset += 18) {
        if (edid.mid(offset, 4) == QByteArray::fromHex("000000fc"))
            return QString::fromLatin1(edid.mid(offset + 5, 13))
                .section(QLatin1Char('\n'), 0, 0)
                .trimmed();
    }
    return QString();
}

} // namespace

class TestHelperEdid : public QObject
{
    Q_OBJECT

private:
    HelperProcess m_helper;

    QByteArray exportBlock(quint32 id)
    {
        QByteArray block;
        if (!m_helper.call(
                "exportEdid\n" + encodeBlock(ConnectorRef {0, id}), "edidExported", block))
            return "no reply";
        return block;
    }

    QByteArray exportEdid(quint32 id)
    {
        EdidBlock edid;
        return decodeWholeBlock(exportBlock(id), edid) ? edid.edid : QByteArray();
    }

    ConnectorList listCommand(
        const QByteArray &command, const QByteArray &word, const QByteArray &args)
    {
        QByteArray block;
        ConnectorList done;
        if (!m_helper.call(command + args, word, block) || !decodeWholeBlock(block, done))
            done.connectors.append(ConnectorRef {0xDEAD, 0xDEAD});
        return done;
    }

    ConnectorList load(const ConnectorList &targets, const QByteArray &edid)
    {
        const QByteArray list = targets.connectors.isEmpty() ? QByteArray() : encodeBlock(targets);
        return listCommand("loadEdid\n", "edidLoaded", char(list.size()) + list + edid);
    }

    bool overridden(quint32 id)
    {
        GpuList list;
        if (!m_helper.gpus(list) || list.gpus.isEmpty())
            return false;
        for (const ConnectorInfo &c : list.gpus[0].connectors) {
            if (c.mainId == id)
                return c.displayDevice.isEdidOverriden;
        }
        return false;
    }

private slots:
    void initTestCase()
    {
        if (!QFile::exists(HelperProcess::simLibrary()))
            QSKIP("the simulated driver is not built");
    }

    void init()
    {
        QVERIFY2(m_helper.bindReplyPort(), qPrintable(m_helper.lastError()));
        QVERIFY2(m_helper.startOnRig(kRig), qPrintable(m_helper.lastError()));
    }

    void exportIsLengthThenBytes()
    {
        const QByteArray block = exportBlock(0x100);
        QCOMPARE(block.size(), 4 + 256);
        QCOMPARE(block.left(4), QByteArray::fromHex("00010000"));
        const QByteArray edid = block.mid(4);
        QCOMPARE(edid.left(8), QByteArray::fromHex("00ffffffffffff00"));
        QVERIFY(lmsim::edidChecksumsValid(edid));
        QCOMPARE(monitorName(edid), QStringLiteral("STAGE LEFT"));
        // The override is what is read while one is loaded.
        QCOMPARE(monitorName(exportEdid(0x300)), QStringLiteral("FORCED"));
    }

    void exportOfAnUnknownDisplayIsTheWordAlone()
    {
        QCOMPARE(exportBlock(0x999), QByteArray());
        QCOMPARE(exportBlock(0x400), QByteArray()); // disconnected, nothing to read
    }

    void loadedEdidIsReportedAndReadBack()
    {
        const QByteArray edid = exportEdid(0x100);
        QVERIFY(!overridden(0x500));
        QCOMPARE(load(refs({0x500}), edid), refs({0x500}));
        QVERIFY(overridden(0x500));
        QCOMPARE(exportEdid(0x500), edid);
    }

    void loadWithoutConnectorsDoesNothing()
    {
        QCOMPARE(load(ConnectorList(), exportEdid(0x100)), ConnectorList());
        QCOMPARE(load(ConnectorList(), QByteArray()), ConnectorList());
        QVERIFY(!overridden(0x100));
    }

    void threeReferencesWhoseSecondFails()
    {
        const QByteArray edid = exportEdid(0x100);
        // 0x200 refuses the EDID (flag 1), 0x999 is unknown.
        QCOMPARE(load(refs({0x100, 0x200, 0x500}), edid), refs({0x100, 0x500}));
        QCOMPARE(load(refs({0x500, 0x999, 0x100}), edid), refs({0x500, 0x100}));
        QVERIFY(!overridden(0x200));
        QCOMPARE(listCommand("lockEdid\n", "edidLocked", encodeBlock(refs({0x100, 0x400, 0x300}))),
            refs({0x100, 0x300}));
    }

    void lockKeepsThePresentEdid()
    {
        const QByteArray own = exportEdid(0x500);
        QCOMPARE(
            listCommand("lockEdid\n", "edidLocked", encodeBlock(refs({0x500}))), refs({0x500}));
        QVERIFY(overridden(0x500));
        QCOMPARE(exportEdid(0x500), own);
        QCOMPARE(listCommand("lockEdid\n", "edidLocked", QByteArray()), ConnectorList());
    }

    void unloadRestoresTheMonitorsEdid()
    {
        QVERIFY(overridden(0x300));
        QCOMPARE(listCommand("unloadEdid\n", "edidUnloaded", encodeBlock(refs({0x300, 0x100}))),
            refs({0x300, 0x100}));
        QVERIFY(!overridden(0x300));
        QCOMPARE(monitorName(exportEdid(0x300)), QStringLiteral("HOUSE"));
    }

    void exportedFileDecodesWithEdidDecode()
    {
#ifdef Q_OS_WIN
        QSKIP("edid-decode is a Linux program");
#endif
        const QString edidDecode = QStandardPaths::findExecutable(QStringLiteral("edid-decode"));
        if (edidDecode.isEmpty())
            QSKIP("edid-decode is not installed");
        m_helper.releaseReplyPort(); // the client binds it
        const QString file = m_helper.tempPath(QStringLiteral("stage-left.bin"));
        QByteArray out, err;
        QCOMPARE(runClient({"export-edid", "--gpu", "0", "--connector", "0x100", "--out", file},
                     &out, &err),
            0);
        QCOMPARE(QFileInfo(file).size(), 256);
        QProcess decode;
        decode.start(edidDecode, {QStringLiteral("--check"), file});
        QVERIFY(decode.waitForFinished(10000));
        const QByteArray text = decode.readAllStandardOutput() + decode.readAllStandardError();
        QVERIFY2(decode.exitCode() == 0, text.constData());
        QVERIFY2(text.contains("Display Product Name: 'STAGE LEFT'"), text.constData());
        QVERIFY2(text.contains("EDID conformity: PASS"), text.constData());
    }

    void cleanup()
    {
        m_helper.stop();
    }
};

QTEST_GUILESS_MAIN(TestHelperEdid)
#include "tst_helper_edid.moc"
