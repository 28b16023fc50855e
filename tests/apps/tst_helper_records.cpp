#include "BinaryRWnode.h"
#include "HelperRecords.h"

#include <QStringList>
#include <QtTest>

#include <cstring>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

template<typename T>
QByteArray writeOne(T value)
{
    QByteArray bytes;
    BinaryRWroot root(&bytes);
    root.setWriting();
    root.node().rw(value, QStringLiteral("v"));
    return bytes;
}

template<typename T>
T readOne(QByteArray bytes, bool *ok = nullptr)
{
    BinaryRWroot root(&bytes);
    T value {};
    root.node().rw(value, QStringLiteral("v"));
    if (ok)
        *ok = root.ok();
    return value;
}

GpuList sampleGpuList()
{
    ConnectorInfo hdmi;
    hdmi.mainId = 0x80061082;
    hdmi.type = QStringLiteral("HDMI");
    hdmi.isConnected = true;
    hdmi.displayDevice.displayName = QStringLiteral("\\\\.\\DISPLAY1");
    hdmi.displayDevice.monitorName = QStringLiteral("Écran Ü");
    hdmi.displayDevice.outputId = 0x100;
    hdmi.displayDevice.isEdidOverriden = true;
    hdmi.displayDevice.isGdiPrimary = true;
    hdmi.displayDevice.resolutionWidth = 3840;
    hdmi.displayDevice.resolutionHeight = 2160;
    hdmi.displayDevice.colorDepth = 32;
    hdmi.displayDevice.refreshRate1K = 59940;
    ConnectorInfo dp;
    dp.mainId = 0x1;
    dp.isDualSupported = true;
    dp.alternativeId = 0x2;
    dp.type = QStringLiteral("DisplayPort");
    dp.isConnected = true;
    dp.displayDevice.isDisplayPortDualModeActive = true;

    GpuInfo first;
    first.id = 0;
    first.brand = QStringLiteral("Nvidia");
    first.model = QStringLiteral("RTX A4000");
    first.isPro = true;
    first.connectors = {hdmi, dp};
    GpuInfo second;
    second.id = 1;
    second.brand = QStringLiteral("Nvidia");
    second.model = QStringLiteral("GeForce GTX 1080");
    GpuList list;
    list.gpus = {first, second};
    return list;
}

// Records every value's tag and the child/close structure, to check the tag conventions.
class TagRecorder : public TaggedRWnode
{
public:
    explicit TagRecorder(QStringList *log, int depth = 0)
        : TaggedRWnode(false)
        , m_log(log)
        , m_depth(depth)
    { }
    void rw(qint32 &, const QString &tag) override { add(tag); }
    void rw(quint32 &, const QString &tag) override { add(tag); }
    void rw(float &, const QString &tag) override { add(tag); }
    void rw(char &, const QString &tag) override { add(tag); }
    void rw(std::string &, const QString &tag) override { add(tag); }
    void rw(QString &, const QString &tag) override { add(tag); }
    void rw(double &, const QString &tag) override { add(tag); }
    void rw(bool &, const QString &tag) override { add(tag); }
    TaggedRWnode *child(const QString &tag) override
    {
        add(QStringLiteral("{") + tag);
        return new TagRecorder(m_log, m_depth + 1);
    }
    void closeChild(TaggedRWnode *, const QString &tag) override { add(QStringLiteral("}") + tag); }

private:
    void add(const QString &tag) { m_log->append(QString(m_depth, QLatin1Char(' ')) + tag); }
    QStringList *m_log;
    int m_depth;
};

} // namespace

class TestHelperRecords : public QObject
{
    Q_OBJECT

private slots:
    void everySlotEncodesLittleEndian()
    {
        QCOMPARE(writeOne<qint32>(-2), hex("feffffff"));
        QCOMPARE(writeOne<quint32>(0x11223344u), hex("44332211"));
        QCOMPARE(writeOne<float>(1.0f), hex("0000803f"));
        QCOMPARE(writeOne<char>('A'), hex("41"));
        QCOMPARE(writeOne<double>(1.0), hex("000000000000f03f"));
        QCOMPARE(writeOne<QString>(QStringLiteral("é")), hex("02000000c3a9"));
        QCOMPARE(writeOne<std::string>("ab"), hex("020000006162"));
        QCOMPARE(writeOne<bool>(true), hex("01000000"));
        QCOMPARE(writeOne<bool>(false), hex("00000000"));
        QCOMPARE(writeOne<QString>(QString()), hex("00000000"));
    }

    void everySlotReadsBack()
    {
        QCOMPARE(readOne<qint32>(hex("feffffff")), -2);
        QCOMPARE(readOne<quint32>(hex("44332211")), 0x11223344u);
        QCOMPARE(readOne<float>(hex("0000c0bf")), -1.5f);
        QCOMPARE(readOne<char>(hex("7f")), char(0x7f));
        QCOMPARE(readOne<double>(hex("000000000000f0bf")), -1.0);
        QCOMPARE(readOne<QString>(hex("02000000c3a9")), QStringLiteral("é"));
        QCOMPARE(readOne<std::string>(hex("03000000c3a961")),
            std::string("\xc3\xa9"
                        "a"));
        QCOMPARE(readOne<bool>(hex("02000000")), true);
        QCOMPARE(readOne<bool>(hex("00000000")), false);
    }

    void shortReadsFailAndYieldZero()
    {
        bool ok = true;
        QCOMPARE(readOne<qint32>(hex("ffffff"), &ok), 0);
        QVERIFY(!ok);
        QCOMPARE(readOne<double>(hex("00000000000000"), &ok), 0.0);
        QVERIFY(!ok);
        // A string longer than what is left is refused, not read past the end.
        QCOMPARE(readOne<QString>(hex("05000000616263"), &ok), QString());
        QVERIFY(!ok);
        QCOMPARE(readOne<QString>(hex("ffffffff61"), &ok), QString());
        QVERIFY(!ok);

        // Once failed, later reads yield zero even where bytes would remain.
        QByteArray bytes = hex("0100000002000000");
        BinaryRWroot root(&bytes);
        QString s;
        root.node().rw(s, QString()); // length 1, then reads one byte: fine
        QVERIFY(root.ok());
        qint32 v = 99;
        root.node().rw(v, QString()); // only 3 bytes left
        QVERIFY(!root.ok());
        QCOMPARE(v, 0);
    }

    void emptyListsAndStrings()
    {
        QCOMPARE(encodeBlock(EdidBlock()), hex("00000000"));
        QCOMPARE(encodeBlock(ConnectorList()), hex("0100000000000000"));
        QCOMPARE(encodeBlock(GpuList()), hex("0100000000000000"));
    }

    void connectorReferenceBytes()
    {
        ConnectorList list;
        list.connectors = {{1, 0x80061082}, {0, 7}};
        const QByteArray bytes = encodeBlock(list);
        QCOMPARE(bytes,
            hex("01000000"
                "02000000"
                "01000000"
                "01000000"
                "82100680"
                "01000000"
                "00000000"
                "07000000"));
        ConnectorList back;
        QVERIFY(decodeWholeBlock(bytes, back));
        QCOMPARE(back, list);
    }

    void edidBlockIsLengthThenBytes()
    {
        EdidBlock block;
        for (int i = 0; i < 256; ++i)
            block.edid.append(char(i));
        const QByteArray bytes = encodeBlock(block);
        QCOMPARE(bytes.size(), 4 + 256);
        QCOMPARE(bytes.left(4), hex("00010000"));
        QCOMPARE(bytes.mid(4), block.edid);
        EdidBlock back;
        QVERIFY(decodeWholeBlock(bytes, back));
        QCOMPARE(back, block);
    }

    void gpuListRoundTrips()
    {
        const GpuList list = sampleGpuList();
        const QByteArray bytes = encodeBlock(list);
        GpuList back;
        QVERIFY(decodeWholeBlock(bytes, back));
        QVERIFY(back == list);
        // Layout check of the head: version, count, first GPU's version and id.
        QCOMPARE(bytes.left(16), hex("01000000020000000100000000000000"));
    }

    void recordVersionIsNotExamined()
    {
        QByteArray bytes = encodeBlock(ConnectorRef {3, 4});
        bytes[0] = 7;
        ConnectorRef back;
        QVERIFY(decodeWholeBlock(bytes, back));
        QCOMPARE(back, (ConnectorRef {3, 4}));
    }

    void everyTruncationIsRejected()
    {
        const QByteArray bytes = encodeBlock(sampleGpuList());
        for (int n = 0; n < bytes.size(); ++n) {
            GpuList back;
            QVERIFY2(!decodeBlock(bytes.left(n), back), qPrintable(QString::number(n)));
        }
        const QByteArray refs = encodeBlock(ConnectorList {{{1, 2}, {3, 4}}});
        for (int n = 0; n < refs.size(); ++n) {
            ConnectorList back;
            QVERIFY(!decodeBlock(refs.left(n), back));
        }
    }

    void oversizedCountsAreRejectedBeforeAllocation_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("huge gpu count") << hex("01000000ffffff7f01000000");
        QTest::newRow("negative gpu count") << hex("01000000ffffffff");
        QTest::newRow("connector count beyond input") << hex("0100000001000000"
                                                             "01000000000000000000000000000000"
                                                             "00000000"
                                                             "00001000");
    }

    void oversizedCountsAreRejectedBeforeAllocation()
    {
        QFETCH(QByteArray, bytes);
        GpuList back;
        QVERIFY(!decodeBlock(bytes, back));
        for (const GpuInfo &g : back.gpus)
            QVERIFY(g.connectors.isEmpty());
    }

    void oversizedListCountsLeaveListsEmpty()
    {
        ConnectorList refs;
        QVERIFY(!decodeBlock(hex("0100000010000000010000000100000002000000"), refs));
        QVERIFY(refs.connectors.isEmpty());
        EdidBlock edid;
        QVERIFY(!decodeBlock(hex("0001000000ff"), edid));
        QVERIFY(edid.edid.isEmpty());
    }

    void trailingBytesAreNotPartOfTheBlock()
    {
        QByteArray bytes = encodeBlock(ConnectorList {{{1, 2}}}) + "junk";
        ConnectorList back;
        qint64 consumed = 0;
        QVERIFY(decodeBlock(bytes, back, &consumed));
        QCOMPARE(consumed, bytes.size() - 4);
        QVERIFY(!decodeWholeBlock(bytes, back));
    }

    void tagsFollowTheRecordAndListConventions()
    {
        QStringList log;
        TagRecorder root(&log);
        ConnectorList list {{{1, 2}, {3, 4}}};
        rwRecord(root, list, QString());
        const QStringList expected {
            "{",
            " version",
            " {connectors",
            "  :size",
            "  {connectors[0]",
            "   version",
            "   gpuId",
            "   connectorId",
            "  }connectors[0]",
            "  {connectors[1]",
            "   version",
            "   gpuId",
            "   connectorId",
            "  }connectors[1]",
            " }connectors",
            "}",
        };
        QCOMPARE(log, expected);

        log.clear();
        EdidBlock edid;
        edid.edid = "ab";
        rwRecord(root, edid, QString());
        QCOMPARE(log, (QStringList {"{edid", " :size", " edid[0]", " edid[1]", "}edid"}));

        log.clear();
        GpuList gpus = sampleGpuList();
        rwRecord(root, gpus, QString());
        QVERIFY(log.contains(QStringLiteral("  {gpus[1]")));
        QVERIFY(log.contains(QStringLiteral("    {connectors[1]")));
        QVERIFY(log.contains(QStringLiteral("      isDisplayPortDualModeActive")));
    }
};

QTEST_GUILESS_MAIN(TestHelperRecords)
#include "tst_helper_records.moc"
