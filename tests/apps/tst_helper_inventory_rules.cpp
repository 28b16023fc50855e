// Structure layouts handed to the driver, and the inventory rules on their own.
#include "GpuInventory.h"
#include "NvApiTypes.h"

#include <QtTest>

#include <cstring>

// Byte offsets the driver reads and writes (x86-64).
static_assert(sizeof(void *) == 8, "the driver structures are laid out for 64-bit builds");
static_assert(sizeof(nv::DisplayIdEntry) == 16 && offsetof(nv::DisplayIdEntry, connectorType) == 4);
static_assert(sizeof(nv::ConnectorInfo) == 56 && offsetof(nv::ConnectorInfo, entries) == 16
    && offsetof(nv::ConnectorInfo, flags) == 40);
static_assert(sizeof(nv::EdidData) == 56 && offsetof(nv::EdidData, edid) == 8
    && offsetof(nv::EdidData, size) == 16);
static_assert(sizeof(nv::PathInfo) == 48 && offsetof(nv::PathInfo, targets) == 16
    && offsetof(nv::PathInfo, sourceMode) == 24 && offsetof(nv::PathInfo, adapter) == 40);
static_assert(sizeof(nv::PathTarget) == 24 && offsetof(nv::PathTarget, details) == 8
    && offsetof(nv::PathTarget, targetId) == 16);
static_assert(sizeof(nv::SourceMode) == 32 && offsetof(nv::SourceMode, flags) == 28);
static_assert(
    sizeof(nv::AdvancedTargetInfo) == 128 && offsetof(nv::AdvancedTargetInfo, refreshRate1K) == 12);

namespace {

DisplayIdProbe probe(uint32_t id, uint32_t type, uint32_t second, bool dualFirst = false,
    bool connected = false, uint32_t edidFlag = 0)
{
    DisplayIdProbe p;
    p.displayId = id;
    p.typeCode = type;
    p.secondValue = second;
    p.dualModeFirst = dualFirst;
    p.connected = connected;
    p.edidFlag = edidFlag;
    return p;
}

template<typename T>
uint32_t wordAt(const T &value, size_t offset)
{
    uint32_t word = 0;
    std::memcpy(&word, reinterpret_cast<const char *>(&value) + offset, 4);
    return word;
}

} // namespace

Q_DECLARE_METATYPE(DisplayIdProbe)

class TestHelperInventoryRules : public QObject
{
    Q_OBJECT

private slots:
    void versionWordsCarryTheStructureSize()
    {
        QCOMPARE(nv::kDisplayIdEntryVersion & 0xFFFF, uint32_t(sizeof(nv::DisplayIdEntry)));
        QCOMPARE(nv::kConnectorInfoVersion, 0x20038u);
        QCOMPARE(nv::kEdidDataVersion, 0x20038u);
        QCOMPARE(nv::kPathInfoVersion, 0x20030u);
        QCOMPARE(nv::kAdvancedTargetInfoVersion, 0x10080u);
    }

    void fieldsLandAtTheirOffsets()
    {
        nv::EdidData edid = {};
        edid.version = nv::kEdidDataVersion;
        edid.size = 256;
        QCOMPARE(wordAt(edid, 0), 0x20038u);
        QCOMPARE(wordAt(edid, 16), 256u);
        nv::SourceMode mode = {};
        mode.width = 1920;
        mode.colorDepth = 32;
        mode.flags = 1;
        QCOMPARE(wordAt(mode, 0), 1920u);
        QCOMPARE(wordAt(mode, 8), 32u);
        QCOMPARE(wordAt(mode, 28), 1u);
        nv::ConnectorInfo info = {};
        info.entryCount = 4;
        info.flags = 1;
        QCOMPARE(wordAt(info, 8), 4u);
        QCOMPARE(wordAt(info, 40), 1u);
    }

    void connectorKinds()
    {
        const QList<QPair<uint32_t, QString>> kinds {{0, "VGA"}, {16, "Composite"},
            {22, "Composite"}, {26, "Composite"}, {17, "SVideo"}, {25, "SVideo"}, {19, "Component"},
            {32, "DVI"}, {33, "DVI"}, {48, "DVI"}, {49, "DVI"}, {56, "DVI"}, {57, "DVI"},
            {70, "DisplayPort"}, {71, "DisplayPort"}, {72, "DisplayPort"}, {100, "DisplayPort"},
            {101, "DisplayPort"}, {97, "HDMI"}, {99, "HDMI"}, {113, "USB-C"}, {1, "Unknown"},
            {98, "Unknown"}, {0xFFFFFFFF, "Unknown"}};
        for (const auto &k : kinds)
            QCOMPARE(connectorKind(k.first), k.second);
    }

    void modelNames_data()
    {
        QTest::addColumn<QString>("fullName");
        QTest::addColumn<QString>("model");
        QTest::newRow("upper") << "NVIDIA RTX A4000"
                               << "RTX A4000";
        QTest::newRow("lower") << "nvidia GeForce GTX 1080"
                               << "GeForce GTX 1080";
        QTest::newRow("mixed, spaces") << "  NviDia  Quadro P4000 "
                                       << "Quadro P4000";
        QTest::newRow("every occurrence") << "NVIDIA TITAN nvidia Edition"
                                          << "TITAN  Edition";
        QTest::newRow("brand only") << "NVIDIA"
                                    << "";
        QTest::newRow("no brand keeps spaces") << " GeForce RTX 3090 "
                                               << " GeForce RTX 3090 ";
        QTest::newRow("brand later") << "Tesla NVIDIA V100"
                                     << "Tesla NVIDIA V100";
    }

    void modelNames()
    {
        QFETCH(QString, fullName);
        QFETCH(QString, model);
        QCOMPARE(modelFromFullName(fullName), model);
    }

    void dualModePairIsMerged()
    {
        const auto records = buildConnectorRecords(
            {probe(1, 70, 7, true, false), probe(2, 70, 7, false, true, 3)});
        QCOMPARE(records.size(), 1);
        QCOMPARE(records[0].mainId, 1u);
        QVERIFY(records[0].isDualSupported);
        QCOMPARE(records[0].alternativeId, 2u);
        QVERIFY(records[0].isConnected);
        QVERIFY(records[0].displayDevice.isDisplayPortDualModeActive);
        // The overridden flag belongs to the main id only.
        QVERIFY(!records[0].displayDevice.isEdidOverriden);
        QCOMPARE(records[0].type, QStringLiteral("DisplayPort"));
    }

    void mergedPairWithConnectedMainId()
    {
        const auto records = buildConnectorRecords(
            {probe(1, 71, 0, true, true, 3), probe(2, 72, 0, false, false)});
        QCOMPARE(records.size(), 1);
        QVERIFY(records[0].isConnected);
        QVERIFY(!records[0].displayDevice.isDisplayPortDualModeActive);
        QVERIFY(records[0].displayDevice.isEdidOverriden);
    }

    void unpairedDisplayPortIdsStandAlone_data()
    {
        QTest::addColumn<QVector<DisplayIdProbe>>("ids");
        QTest::addColumn<QVector<uint32_t>>("mainIds");
        QTest::addColumn<QVector<uint32_t>>("alternativeIds");
        QTest::newRow("other second value")
            << QVector<DisplayIdProbe> {probe(1, 70, 1, true), probe(2, 97, 2)}
            << QVector<uint32_t> {1, 2} << QVector<uint32_t> {0, 0};
        QTest::newRow("first without dual bit")
            << QVector<DisplayIdProbe> {probe(1, 72, 3), probe(2, 72, 3)}
            << QVector<uint32_t> {1, 2} << QVector<uint32_t> {0, 0};
        QTest::newRow("next with dual bit")
            << QVector<DisplayIdProbe> {probe(1, 70, 4, true), probe(2, 70, 4, true)}
            << QVector<uint32_t> {1, 2} << QVector<uint32_t> {0, 0};
        QTest::newRow("several outputs of one card")
            << QVector<DisplayIdProbe> {probe(1, 70, 1), probe(2, 71, 2), probe(3, 72, 3),
                   probe(4, 70, 4)}
            << QVector<uint32_t> {1, 2, 3, 4} << QVector<uint32_t> {0, 0, 0, 0};
        QTest::newRow("last id is always recorded")
            << QVector<DisplayIdProbe> {probe(9, 97, 0), probe(1, 70, 1, true)}
            << QVector<uint32_t> {9, 1} << QVector<uint32_t> {0, 0};
        QTest::newRow("codes 100 and 101 never merge")
            << QVector<DisplayIdProbe> {probe(1, 100, 5, true), probe(2, 100, 5),
                   probe(3, 101, 6, true), probe(4, 101, 6)}
            << QVector<uint32_t> {1, 2, 3, 4} << QVector<uint32_t> {0, 0, 0, 0};
        QTest::newRow("unpaired then merged")
            << QVector<DisplayIdProbe> {probe(1, 70, 9), probe(2, 70, 1, true), probe(3, 70, 1),
                   probe(4, 97, 0)}
            << QVector<uint32_t> {1, 2, 4} << QVector<uint32_t> {0, 3, 0};
        QTest::newRow("empty") << QVector<DisplayIdProbe> {} << QVector<uint32_t> {}
                               << QVector<uint32_t> {};
    }

    void unpairedDisplayPortIdsStandAlone()
    {
        QFETCH(QVector<DisplayIdProbe>, ids);
        QFETCH(QVector<uint32_t>, mainIds);
        QFETCH(QVector<uint32_t>, alternativeIds);
        QVector<uint32_t> gotMain;
        QVector<uint32_t> gotAlternative;
        for (const ConnectorInfo &c : buildConnectorRecords(ids)) {
            gotMain.append(c.mainId);
            gotAlternative.append(c.alternativeId);
            QCOMPARE(c.isDualSupported, c.alternativeId != 0);
        }
        QCOMPARE(gotMain, mainIds);
        QCOMPARE(gotAlternative, alternativeIds);
    }

    void disconnectedIdsNeverReportOverride()
    {
        const auto records = buildConnectorRecords({probe(5, 97, 0, false, false, 3)});
        QCOMPARE(records.size(), 1);
        QVERIFY(!records[0].displayDevice.isEdidOverriden);
    }
};

QTEST_GUILESS_MAIN(TestHelperInventoryRules)
#include "tst_helper_inventory_rules.moc"
