// "getGpusInfo\n" answered by the built helper on the simulated driver, with rigs written
// here for each behaviour.
#include "HelperProcess.h"
#include "HelperRecords.h"

#include <QtTest>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

// A rig with the given GPUs and display configuration, as JSON.
QByteArray rig(const QByteArray &gpus, const QByteArray &handles = "[]",
    const QByteArray &paths = "[]", const QByteArray &failures = "[]")
{
    return "{ \"gpus\": " + gpus + ", \"displayHandles\": " + handles + ", \"paths\": " + paths
        + ", \"failures\": " + failures + " }";
}

QByteArray gpu(const QByteArray &name, const QByteArray &ids = "[]", bool pro = false)
{
    return "{ \"fullName\": \"" + name + "\", \"workstation\": " + (pro ? "true" : "false")
        + ", \"displayIds\": " + ids + " }";
}

const QByteArray kThreeGpus = "[" + gpu("NVIDIA A", R"([{ "id": "0x1001", "connectorType": 97 }])")
    + "," + gpu("NVIDIA B", R"([{ "id": "0x2001", "connectorType": 97 }])") + ","
    + gpu("NVIDIA C", R"([{ "id": "0x3001", "connectorType": 97 }])") + "]";

QStringList models(const GpuList &list)
{
    QStringList names;
    for (const GpuInfo &g : list.gpus)
        names << g.model;
    return names;
}

const ConnectorInfo *connector(const GpuList &list, quint32 mainId)
{
    for (const GpuInfo &g : list.gpus) {
        for (const ConnectorInfo &c : g.connectors) {
            if (c.mainId == mainId)
                return &c;
        }
    }
    return nullptr;
}

// A line per connector: what NVAPI reports of it (everything but the monitor name).
QStringList connectorLines(const GpuList &list)
{
    QStringList lines;
    for (const GpuInfo &g : list.gpus) {
        for (const ConnectorInfo &c : g.connectors) {
            const DisplayDeviceInfo &d = c.displayDevice;
            lines << QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8x%9x%10@%11 %12%13%14")
                         .arg(g.id)
                         .arg(c.mainId, 0, 16)
                         .arg(c.alternativeId, 0, 16)
                         .arg(c.type)
                         .arg(c.isConnected ? "on" : "off")
                         .arg(d.displayName.isEmpty() ? QStringLiteral("-") : d.displayName)
                         .arg(d.outputId)
                         .arg(d.resolutionWidth)
                         .arg(d.resolutionHeight)
                         .arg(d.colorDepth)
                         .arg(d.refreshRate1K)
                         .arg(d.isGdiPrimary ? "P" : "-")
                         .arg(d.isEdidOverriden ? "O" : "-")
                         .arg(d.isDisplayPortDualModeActive ? "D" : "-");
        }
    }
    return lines;
}

} // namespace

// Off Windows the simulated driver also answers the display configuration, with the rig's
// monitor names; on Windows the system's own display configuration names the monitors.
#ifdef Q_OS_WIN
#define LM_SKIP_WITH_SYSTEM_DISPLAY_CONFIG()                                                       \
    QSKIP("on Windows the monitor names come from the system's display configuration, not "        \
          "from the rig")
#else
#define LM_SKIP_WITH_SYSTEM_DISPLAY_CONFIG()                                                       \
    do {                                                                                           \
    } while (false)
#endif

class TestHelperInventory : public QObject
{
    Q_OBJECT

private:
    HelperProcess m_helper;

    GpuList inventory(const QByteArray &json)
    {
        GpuList list;
        if (!m_helper.startOnRig(json))
            qWarning() << m_helper.lastError();
        else if (!m_helper.gpus(list))
            qWarning() << "no decodable inventory";
        return list;
    }

private slots:
    void initTestCase()
    {
        if (!QFile::exists(HelperProcess::simLibrary()))
            QSKIP("the simulated driver is not built");
        QVERIFY2(m_helper.bindReplyPort(), qPrintable(m_helper.lastError()));
    }

    void emptyRigHasNoGpu()
    {
        QVERIFY(m_helper.startOnRig("{}"));
        GpuList list;
        QVERIFY(m_helper.gpus(list));
        QCOMPARE(list.gpus.size(), 0);
    }

    void gpuRecords()
    {
        const GpuList list = inventory(rig("[" + gpu("NVIDIA RTX A4000", "[]", true) + ","
            + gpu("nvidia GeForce GTX 1080") + "," + gpu("  NviDia Quadro P4000 ") + ","
            + gpu(" GeForce RTX 3090 ") + "," + gpu("Tesla NVIDIA V100") + "]"));
        QCOMPARE(models(list),
            (QStringList {"RTX A4000", "GeForce GTX 1080", "Quadro P4000", " GeForce RTX 3090 ",
                "Tesla NVIDIA V100"}));
        for (int i = 0; i < list.gpus.size(); ++i) {
            QCOMPARE(list.gpus[i].id, quint32(i));
            QCOMPARE(list.gpus[i].brand, QStringLiteral("Nvidia"));
            QCOMPARE(list.gpus[i].isPro, i == 0);
        }
    }

    void connectorKinds()
    {
        const GpuList list = inventory(rig("[" + gpu("NVIDIA K", R"([
            { "id": 1, "connectorType": 0 }, { "id": 2, "connectorType": 16 },
            { "id": 3, "connectorType": 25 }, { "id": 4, "connectorType": 19 },
            { "id": 5, "connectorType": 57 }, { "id": 6, "connectorType": 99 },
            { "id": 7, "connectorType": 101 }, { "id": 8, "connectorType": 113 },
            { "id": 9, "connectorType": 200 }, { "id": 10, "connectorType": 71 }])")
            + "]"));
        QCOMPARE(list.gpus.size(), 1);
        QStringList kinds;
        for (const ConnectorInfo &c : list.gpus[0].connectors)
            kinds << c.type;
        QCOMPARE(kinds,
            (QStringList {"VGA", "Composite", "SVideo", "Component", "DVI", "HDMI", "DisplayPort",
                "USB-C", "Unknown", "DisplayPort"}));
    }

    void displayPortMerge()
    {
        const GpuList list = inventory(rig("[" + gpu("NVIDIA DP", R"([
            { "id": 1, "connectorType": 70, "connectorValue": 1, "dualMode": true },
            { "id": 2, "connectorType": 70, "connectorValue": 1, "connected": true,
              "edid": { "name": "ALT" } },
            { "id": 3, "connectorType": 71, "connectorValue": 2, "dualMode": true },
            { "id": 4, "connectorType": 97, "connectorValue": 3 },
            { "id": 5, "connectorType": 72, "connectorValue": 6 },
            { "id": 6, "connectorType": 72, "connectorValue": 6 },
            { "id": 7, "connectorType": 100, "connectorValue": 4, "dualMode": true },
            { "id": 8, "connectorType": 100, "connectorValue": 4 },
            { "id": 9, "connectorType": 70, "connectorValue": 5, "dualMode": true }])")
            + "]"));
        QCOMPARE(list.gpus.size(), 1);
        QVector<quint32> ids;
        for (const ConnectorInfo &c : list.gpus[0].connectors)
            ids << c.mainId;
        // 3 (other second value), 5 (no dual bit) and 6 (no pair) stand alone; 2 is merged.
        QCOMPARE(ids, (QVector<quint32> {1, 3, 4, 5, 6, 7, 8, 9}));
        const ConnectorInfo *merged = connector(list, 1);
        QVERIFY(merged->isDualSupported);
        QCOMPARE(merged->alternativeId, 2u);
        QVERIFY(merged->isConnected);
        QVERIFY(merged->displayDevice.isDisplayPortDualModeActive);
        QVERIFY(!connector(list, 7)->isDualSupported);
        for (quint32 alone : {3u, 5u, 6u, 9u}) {
            QVERIFY(!connector(list, alone)->isDualSupported);
            QCOMPARE(connector(list, alone)->alternativeId, 0u);
            QCOMPARE(connector(list, alone)->type, QStringLiteral("DisplayPort"));
        }
    }

    void namesModesAndOverrides()
    {
        const GpuList list = inventory(rig("[" + gpu("NVIDIA W", R"([
                { "id": 11, "connectorType": 97, "connected": true, "edid": { "name": "ONE" } },
                { "id": 12, "connectorType": 100, "connected": true, "edid": { "name": "TWO" },
                  "override": { "name": "FORCED" } },
                { "id": 13, "connectorType": 32, "connected": true, "edid": { "name": "THREE" } },
                { "id": 14, "connectorType": 32 }])")
                + "]",
            R"([{ "name": "\\\\.\\DISPLAY1", "displayId": 11, "outputId": 16 },
                { "name": "\\\\.\\DISPLAY2", "displayId": 12, "outputId": 32 },
                { "name": "\\\\.\\DISPLAY9", "displayId": 99 },
                { "name": "\\\\.\\DISPLAY0", "displayId": 0 }])",
            R"([{ "displayId": 11, "gdiName": "\\\\.\\DISPLAY1", "monitorName": "Écran Un",
                  "width": 2560, "height": 1440, "colorDepth": 30, "refresh1K": 74971,
                  "gdiPrimary": true },
                { "displayId": 12, "gdiName": "\\\\.\\DISPLAY2", "monitorName": "Wall",
                  "width": 1920, "height": 1080, "refresh1K": 50000 },
                { "displayId": 13, "gdiName": "", "monitorName": "Ghost",
                  "width": 1280, "height": 720, "colorDepth": 16 }])"));
        QCOMPARE(list.gpus.size(), 1);
        const DisplayDeviceInfo &one = connector(list, 11)->displayDevice;
        QCOMPARE(one.displayName, QStringLiteral("\\\\.\\DISPLAY1"));
        QCOMPARE(one.outputId, 16u);
        QVERIFY(one.isGdiPrimary);
        QVERIFY(!one.isEdidOverriden);
        QCOMPARE(one.resolutionWidth, 2560);
        QCOMPARE(one.resolutionHeight, 1440);
        QCOMPARE(one.colorDepth, 30);
        QCOMPARE(one.refreshRate1K, 74971);
        const DisplayDeviceInfo &two = connector(list, 12)->displayDevice;
        QCOMPARE(two.outputId, 32u);
        QVERIFY(two.isEdidOverriden);
        QVERIFY(!two.isGdiPrimary);
        // A display without a Windows name still has its mode, but takes no monitor name
        // from a path with an empty GDI name; display id 0 (DISPLAY0) names no connector.
        const DisplayDeviceInfo &three = connector(list, 13)->displayDevice;
        QVERIFY(three.displayName.isEmpty());
        QCOMPARE(three.resolutionWidth, 1280);
        QCOMPARE(three.colorDepth, 16);
        const ConnectorInfo *four = connector(list, 14);
        QVERIFY(!four->isConnected);
        QCOMPARE(four->displayDevice, DisplayDeviceInfo());
        LM_SKIP_WITH_SYSTEM_DISPLAY_CONFIG();
        QCOMPARE(one.monitorName, QStringLiteral("Écran Un"));
        QCOMPARE(two.monitorName, QStringLiteral("Wall"));
        QVERIFY(three.monitorName.isEmpty());
    }

    void noPathsMeansNoModes()
    {
        const GpuList list = inventory(
            rig("[" + gpu("NVIDIA N", R"([{ "id": 21, "connectorType": 97, "connected": true,
                                        "edid": { "name": "X" } }])")
                    + "]",
                R"([{ "name": "\\\\.\\DISPLAY1", "displayId": 21 }])"));
        QCOMPARE(list.gpus.size(), 1);
        const DisplayDeviceInfo &d = connector(list, 21)->displayDevice;
        QCOMPARE(d.displayName, QStringLiteral("\\\\.\\DISPLAY1"));
        QCOMPARE(d.resolutionWidth, 0);
        QCOMPARE(d.refreshRate1K, 0);
    }

    void monitorNamesSurviveRetriesAndStopAtAFailure()
    {
        LM_SKIP_WITH_SYSTEM_DISPLAY_CONFIG();
        const QByteArray gpus = "[" + gpu("NVIDIA M", R"([
            { "id": 31, "connectorType": 97, "connected": true, "edid": { "name": "A" } },
            { "id": 32, "connectorType": 97, "connected": true, "edid": { "name": "B" } }])")
            + "]";
        const QByteArray handles = R"([{ "name": "G1", "displayId": 31 },
                                       { "name": "G2", "displayId": 32 }])";
        const QByteArray paths = R"([
            { "displayId": 31, "gdiName": "G1", "monitorName": "First" },
            { "displayId": 32, "gdiName": "G2", "monitorName": "Second" }])";

        GpuList list = inventory(rig(gpus, handles, paths,
            R"([{ "function": "QueryDisplayConfig", "status": 122,
                                           "times": 3 }])"));
        QCOMPARE(connector(list, 31)->displayDevice.monitorName, QStringLiteral("First"));
        QCOMPARE(connector(list, 32)->displayDevice.monitorName, QStringLiteral("Second"));

        list = inventory(
            rig(gpus, handles, paths, R"([{ "function": "GetTargetDeviceName", "path": 1 }])"));
        QCOMPARE(connector(list, 31)->displayDevice.monitorName, QStringLiteral("First"));
        QVERIFY(connector(list, 32)->displayDevice.monitorName.isEmpty());
        QCOMPARE(connector(list, 32)->displayDevice.displayName, QStringLiteral("G2"));

        list = inventory(
            rig(gpus, handles, paths, R"([{ "function": "GetDisplayConfigBufferSizes" }])"));
        QCOMPARE(list.gpus.size(), 1);
        QVERIFY(connector(list, 31)->displayDevice.monitorName.isEmpty());
        QCOMPARE(connector(list, 31)->displayDevice.resolutionWidth, 1920);
    }

    void workstationRigWithThisSystemsDisplayConfiguration()
    {
        QVERIFY2(m_helper.start(HelperProcess::simEnvironment(
                     QStringLiteral(LM_RIGS_DIR "/workstation.json"))),
            qPrintable(m_helper.lastError()));
        GpuList list;
        QVERIFY(m_helper.gpus(list)); // the whole reply decodes
        QCOMPARE(models(list), (QStringList {"RTX A6000", "GeForce RTX 4070"}));
        QVERIFY(list.gpus[0].isPro);
        QVERIFY(!list.gpus[1].isPro);
        QCOMPARE(connectorLines(list),
            (QStringList {
                "0 80061001 80061002 DisplayPort on \\\\.\\DISPLAY2 2 3840x2160x32@60000 --D",
                "0 80061003 0 DisplayPort on \\\\.\\DISPLAY1 1 2560x1440x32@74971 P--",
                "0 80061004 0 DVI off - 0 0x0x0@0 ---",
                "0 80061005 0 HDMI on \\\\.\\DISPLAY3 8 1920x1080x32@50000 -O-",
                "1 80062001 0 HDMI on - 0 1920x1080x16@60000 ---",
                "1 80062002 0 DisplayPort on \\\\.\\DISPLAY4 1 3840x2160x32@59940 ---"}));
        QStringList monitors;
        for (const GpuInfo &g : list.gpus) {
            for (const ConnectorInfo &c : g.connectors)
                monitors << c.displayDevice.monitorName;
        }
#ifdef Q_OS_WIN
        // The flags the helper asks with (active paths, virtual-mode aware) are refused by
        // Windows before 10 1803 and by wine: then no monitor has a name.
        UINT32 paths = 0;
        UINT32 modes = 0;
        if (GetDisplayConfigBufferSizes(
                QDC_ONLY_ACTIVE_PATHS | QDC_VIRTUAL_MODE_AWARE, &paths, &modes)
            == ERROR_SUCCESS)
            QSKIP("this machine's own displays name the monitors");
        QCOMPARE(monitors, QStringList(6, QString()));
#else
        QCOMPARE(
            monitors, (QStringList {"LG HDR 4K", "PA278QV", "", "LED Wall", "", "DeckLink 8K"}));
#endif
    }

    void failuresDropTheGpuAndLaterOnes_data()
    {
        QTest::addColumn<QByteArray>("failure");
        QTest::addColumn<QStringList>("models");
        QTest::newRow("connector info")
            << QByteArray(R"({ "function": "NvAPI_GPU_GetConnectorInfo", "gpu": 1 })")
            << QStringList {"A"};
        QTest::newRow("display ids")
            << QByteArray(R"({ "function": "NvAPI_GPU_GetAllDisplayIds", "gpu": 1 })")
            << QStringList {"A"};
        QTest::newRow("full name")
            << QByteArray(R"({ "function": "NvAPI_GPU_GetFullName", "gpu": 2 })")
            << QStringList {"A", "B"};
        QTest::newRow("edid flag only clears the override")
            << QByteArray(R"({ "function": "NvAPI_DISP_GetEdidData", "gpu": 0 })")
            << QStringList {"A", "B", "C"};
        QTest::newRow("handle enumeration") << QByteArray(
            R"({ "function": "NvAPI_EnumNvidiaDisplayHandle", "handle": 0, "from": 2 })")
                                            << QStringList {"A"};
        QTest::newRow("display name")
            << QByteArray(R"({ "function": "NvAPI_GetAssociatedNvidiaDisplayName", "from": 4 })")
            << QStringList {"A"};
        QTest::newRow("output id")
            << QByteArray(R"({ "function": "NvAPI_GetDisplayOutputId", "displayId": "0x1001" })")
            << QStringList {};
        QTest::newRow("display config")
            << QByteArray(R"({ "function": "NvAPI_DISP_GetDisplayConfig", "from": 4 })")
            << QStringList {"A"};
        QTest::newRow("initialise")
            << QByteArray(R"({ "function": "NvAPI_Initialize" })") << QStringList {};
        QTest::newRow("enumeration")
            << QByteArray(R"({ "function": "NvAPI_EnumPhysicalGPUs" })") << QStringList {};
        QTest::newRow("workstation query only clears isPro")
            << QByteArray(R"({ "function": "NvAPI_GPU_WorkstationFeatureQuery" })")
            << QStringList {"A", "B", "C"};
    }

    void failuresDropTheGpuAndLaterOnes()
    {
        QFETCH(QByteArray, failure);
        QFETCH(QStringList, models);
        const QByteArray handles = R"([{ "name": "D1", "displayId": "0x1001" },
                                       { "name": "D2", "displayId": "0x2001" },
                                       { "name": "D3", "displayId": "0x3001" }])";
        const QByteArray paths = R"([{ "displayId": "0x1001" }, { "displayId": "0x2001" },
                                     { "displayId": "0x3001" }])";
        QByteArray gpus = kThreeGpus;
        gpus.replace("\"connectorType\": 97",
            "\"connectorType\": 97, \"connected\": true, "
            "\"edid\": { \"name\": \"M\" }");
        QCOMPARE(::models(inventory(rig(gpus, handles, paths, "[" + failure + "]"))), models);
    }

    void aDisplayWithoutEdidOrBeingUnpluggedKeepsTheInventory()
    {
        // 0x1001: connected, no EDID to read; 0x1002: overridden; 0x2001: a path still names
        // it while its connector is flagged disconnected.
        const QByteArray gpus = "[" + gpu("NVIDIA A", R"([
            { "id": "0x1001", "connectorType": 97, "connected": true, "edid": null },
            { "id": "0x1002", "connectorType": 97, "connected": true,
              "override": { "name": "F" } }])")
            + "," + gpu("NVIDIA B", R"([{ "id": "0x2001", "connectorType": 97 }])") + ","
            + gpu("NVIDIA C", R"([{ "id": "0x3001", "connectorType": 97, "connected": true }])")
            + "]";
        const GpuList list = inventory(rig(gpus, "[]",
            R"([{ "displayId": "0x1001", "width": 1400 }, { "displayId": "0x1002" },
                { "displayId": "0x2001" }, { "displayId": "0x3001", "width": 800 }])"));
        QCOMPARE(models(list), (QStringList {"A", "B", "C"}));
        const ConnectorInfo *noEdid = connector(list, 0x1001);
        QVERIFY(noEdid->isConnected);
        QVERIFY(!noEdid->displayDevice.isEdidOverriden);
        QCOMPARE(noEdid->displayDevice.resolutionWidth, 1400);
        QVERIFY(connector(list, 0x1002)->displayDevice.isEdidOverriden);
        QCOMPARE(connector(list, 0x2001)->displayDevice, DisplayDeviceInfo());
        QCOMPARE(connector(list, 0x3001)->displayDevice.resolutionWidth, 800);
    }
};

QTEST_GUILESS_MAIN(TestHelperInventory)
#include "tst_helper_inventory.moc"
