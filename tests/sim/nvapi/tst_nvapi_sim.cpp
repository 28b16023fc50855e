// The simulated NVIDIA driver seen from a client: loaded with QLibrary, functions resolved
// by interface id, structures filled at the byte offsets a client uses.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLibrary>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdint>
#include <cstring>
#include <unistd.h>

namespace {

enum : int {
    Ok = 0,
    Error = -1,
    NotInitialized = -4,
    InvalidArgument = -5,
    DeviceNotFound = -6,
    EndEnumeration = -7,
    BadVersion = -9,
    ExpectedGpuHandle = -101,
    ExpectedDisplayHandle = -102,
    NotSupported = -104,
    DataNotFound = -121,
    InsufficientBuffer = -174,
};

constexpr uint32_t kDisplayIdVersion = 0x30010;
constexpr uint32_t kConnectorVersion = 0x20038;
constexpr uint32_t kEdidVersion = 0x20038;
constexpr uint32_t kPathVersion = 0x20030;
constexpr uint32_t kTargetInfoVersion = 0x10080;
constexpr uint32_t kQueryFlags = 0x12;

constexpr uint32_t kIds[] = {0x0150E828, 0xD22BDD7E, 0xE5AC921F, 0xCEEE8E9F, 0x80B1ABB9, 0x785210A2,
    0x9F473113, 0x436CED76, 0xE935D9D7, 0x0A1A174A, 0x9ABDD40D, 0x22A78B05, 0xAE457190, 0xD995937E,
    0x11ABCCF8};

void put32(void *base, size_t offset, uint32_t v)
{
    std::memcpy(static_cast<char *>(base) + offset, &v, sizeof v);
}
uint32_t get32(const void *base, size_t offset)
{
    uint32_t v = 0;
    std::memcpy(&v, static_cast<const char *>(base) + offset, sizeof v);
    return v;
}
void putPtr(void *base, size_t offset, const void *p)
{
    std::memcpy(static_cast<char *>(base) + offset, &p, sizeof p);
}
void *getPtr(const void *base, size_t offset)
{
    void *p = nullptr;
    std::memcpy(&p, static_cast<const char *>(base) + offset, sizeof p);
    return p;
}

using InitFn = int (*)();
using EnumGpusFn = int (*)(void **, uint32_t *);
using NameFn = int (*)(void *, char *);
using WorkstationFn = int (*)(void *, uint32_t);
using DisplayIdsFn = int (*)(void *, void *, uint32_t *);
using ConnectorFn = int (*)(uint32_t, void *);
using EdidFn = int (*)(uint32_t, void *, uint32_t *);
using ApplyFn = int (*)(uint32_t, void *);
using EnumHandleFn = int (*)(uint32_t, void **);
using IdByNameFn = int (*)(const char *, uint32_t *);
using OutputIdFn = int (*)(void *, uint32_t *);
using DisplayConfigFn = int (*)(uint32_t *, void *);
using BufferSizesFn = long (*)(uint32_t, uint32_t *, uint32_t *);
using QueryConfigFn = long (*)(uint32_t, uint32_t *, void *, uint32_t *, void *);
using DeviceNameFn = long (*)(uint64_t, uint32_t, char *, uint32_t);

// The driver functions, resolved from one load of the library.
struct Driver
{
    QLibrary lib {QStringLiteral(LM_NVAPI_SIM_PATH)};
    void *(*query)(unsigned int) = nullptr;

    bool load()
    {
        if (!lib.load())
            return false;
        query = reinterpret_cast<void *(*)(unsigned int)>(lib.resolve("nvapi_QueryInterface"));
        return query != nullptr;
    }
    template<typename F>
    F fn(uint32_t id) const
    {
        return reinterpret_cast<F>(query(id));
    }
    template<typename F>
    F win(const char *name)
    {
        return reinterpret_cast<F>(lib.resolve(name));
    }

    int init() const { return fn<InitFn>(0x0150E828)(); }
    int unload() const { return fn<InitFn>(0xD22BDD7E)(); }
    std::vector<void *> gpus() const
    {
        void *handles[64] = {};
        uint32_t count = 0;
        if (fn<EnumGpusFn>(0xE5AC921F)(handles, &count) != Ok)
            return {};
        return std::vector<void *>(handles, handles + count);
    }
    void *displayHandle(uint32_t index) const
    {
        void *h = nullptr;
        fn<EnumHandleFn>(0x9ABDD40D)(index, &h);
        return h;
    }
    int readEdid(uint32_t displayId, QByteArray *bytes, uint32_t *flag) const
    {
        QByteArray buffer(65536, '\0');
        alignas(8) unsigned char edid[56] = {};
        put32(edid, 0, kEdidVersion);
        putPtr(edid, 8, buffer.data());
        put32(edid, 16, 65536);
        *flag = 1;
        const int status = fn<EdidFn>(0x436CED76)(displayId, edid, flag);
        *bytes = status == Ok ? buffer.left(int(get32(edid, 16))) : QByteArray();
        return status;
    }
    // Set then apply, as a client loads an EDID; returns the flag of the set call,
    // or -1 when apply failed.
    long load(uint32_t displayId, QByteArray bytes) const
    {
        alignas(8) unsigned char edid[56] = {};
        put32(edid, 0, kEdidVersion);
        putPtr(edid, 8, bytes.data());
        put32(edid, 16, uint32_t(bytes.size()));
        uint32_t flag = 1;
        fn<EdidFn>(0xE935D9D7)(displayId, edid, &flag);
        if (flag != 0 && flag != 4)
            return flag;
        return fn<ApplyFn>(0x0A1A174A)(displayId, edid) == Ok ? long(flag) : -1;
    }
    int unloadEdid(uint32_t displayId) const
    {
        alignas(8) unsigned char edid[56] = {};
        put32(edid, 0, kEdidVersion);
        return fn<ApplyFn>(0x0A1A174A)(displayId, edid);
    }
};

const char kBaseRig[] = R"({
  "gpus": [
    { "fullName": "NVIDIA RTX A4000", "workstation": true, "displayIds": [
        { "id": "0x1000", "connectorType": 70, "connectorValue": 7, "dualMode": true },
        { "id": "0x1001", "connectorType": 70, "connectorValue": 7, "connected": true,
          "edid": { "name": "MON A", "extension": true } },
        { "id": "0x1002", "connectorType": 97, "connected": true, "setFlag": 4,
          "edid": [0, 255, 255, 255, 255, 255, 255, 0, 1, 2, 3] },
        { "id": "0x1003", "connectorType": 32, "edid": { "name": "UNPLUGGED" },
          "connectors": [[32, 1], [33, 2], [48, 3], [49, 4], [56, 5]] },
        { "id": "0x1004", "connectors": [] } ] },
    { "fullName": " GeForce RTX 4090 with a name that is far too long for the sixty-four byte buffer",
      "displayIds": [
        { "id": "0x2001", "connectorType": 100, "connected": true,
          "edid": { "name": "MON B" }, "override": { "name": "FORCED" } } ] }
  ],
  "displayHandles": [
    { "name": "\\\\.\\DISPLAY1", "displayId": "0x1001", "outputId": "0x10" },
    { "name": "\\\\.\\DISPLAY2", "displayId": "0x1002" },
    { "name": "\\\\.\\DISPLAY3", "displayId": "0x2001" }
  ],
  "paths": [
    { "displayId": "0x1001", "gdiName": "\\\\.\\DISPLAY1", "monitorName": "Mon A",
      "width": 2560, "height": 1440, "colorDepth": 32, "refresh1K": 59951,
      "gdiPrimary": true, "targetId": "0x1101" },
    { "displayIds": ["0x1002", "0x1001"], "width": 1280, "height": 720, "colorDepth": 16,
      "refresh1K": 50000, "x": -1280, "y": 10 },
    { "displayId": "0x2001", "sourceId": 0, "gdiName": "\\\\.\\DISPLAY3",
      "monitorName": "Müller Wall" }
  ]
})";

} // namespace

class TestNvapiSim : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    Driver m_driver;
    int m_rigs = 0;

    // Writes a rig to a new file and names it in LM_NVAPI_SIM_RIG, so the driver reads it
    // afresh at the next NvAPI_Initialize.
    void useRig(const QByteArray &json)
    {
        const QString path = m_dir.filePath(QStringLiteral("rig%1.json").arg(++m_rigs));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(json);
        f.close();
        qputenv("LM_NVAPI_SIM_RIG", path.toLocal8Bit());
    }
    void useBaseRig(const QJsonArray &failures = {})
    {
        QJsonObject rig = QJsonDocument::fromJson(kBaseRig).object();
        QVERIFY(!rig.isEmpty());
        rig.insert(QStringLiteral("failures"), failures);
        useRig(QJsonDocument(rig).toJson());
    }
    static QJsonObject failure(const char *function, const QVariantMap &more = {})
    {
        QJsonObject o = QJsonObject::fromVariantMap(more);
        o.insert(QStringLiteral("function"), QLatin1String(function));
        return o;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY2(m_driver.load(), qPrintable(m_driver.lib.errorString()));
    }

    void cleanup()
    {
        // Every test leaves the driver uninitialised.
        while (m_driver.unload() == Ok) { }
    }

    void resolvesEveryFunctionById()
    {
        for (const uint32_t id : kIds)
            QVERIFY2(m_driver.query(id) != nullptr, qPrintable(QString::number(id, 16)));
        QVERIFY(m_driver.query(0) == nullptr);
        QVERIFY(m_driver.query(0x12345678) == nullptr);
        for (const char *name : {"lmsim_GetDisplayConfigBufferSizes", "lmsim_QueryDisplayConfig",
                 "lmsim_GetSourceDeviceName", "lmsim_GetTargetDeviceName"})
            QVERIFY2(m_driver.lib.resolve(name) != nullptr, name);
    }

    void callsNeedInitialize()
    {
        useBaseRig();
        void *handles[64];
        uint32_t count = 0;
        QCOMPARE(m_driver.fn<EnumGpusFn>(0xE5AC921F)(handles, &count), NotInitialized);
        QCOMPARE(m_driver.unload(), NotInitialized);
        QByteArray bytes;
        uint32_t flag = 0;
        QCOMPARE(m_driver.readEdid(0x1001, &bytes, &flag), NotInitialized);
        QCOMPARE(m_driver.fn<DisplayConfigFn>(0x11ABCCF8)(&count, nullptr), NotInitialized);

        // Initialise and unload count references.
        QCOMPARE(m_driver.init(), Ok);
        QCOMPARE(m_driver.init(), Ok);
        QCOMPARE(m_driver.unload(), Ok);
        QCOMPARE(m_driver.gpus().size(), size_t(2));
        QCOMPARE(m_driver.unload(), Ok);
        QCOMPARE(m_driver.fn<EnumGpusFn>(0xE5AC921F)(handles, &count), NotInitialized);
    }

    void missingEmptyOrBadRigMeansNoGpu_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("write");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("missing file") << QByteArray() << false << QByteArray("does not exist");
        QTest::newRow("empty file") << QByteArray() << true << QByteArray();
        QTest::newRow("syntax error")
            << QByteArray("{\"gpus\": [") << true << QByteArray("not valid JSON");
        QTest::newRow("not an object")
            << QByteArray("[1]") << true << QByteArray("must be a JSON object");
        QTest::newRow("bad id") << QByteArray(R"({"gpus":[{"displayIds":[{"id":"12x"}]}]})") << true
                                << QByteArray("gpus[0].displayIds[0].id");
        QTest::newRow("twice") << QByteArray(R"({"gpus":[{"displayIds":[{"id":5},{"id":5}]}]})")
                               << true << QByteArray("used twice");
        QTest::newRow("unknown function")
            << QByteArray(R"({"failures":[{"function":"NvAPI_Nothing"}]})") << true
            << QByteArray("unknown function");
        QTest::newRow("path to nowhere") << QByteArray(R"({"paths":[{"displayId":9}]})") << true
                                         << QByteArray("belongs to no GPU");
    }
    void missingEmptyOrBadRigMeansNoGpu()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, write);
        QFETCH(QByteArray, message);
        const QString path = m_dir.filePath(QStringLiteral("bad%1.json").arg(++m_rigs));
        if (write) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        qputenv("LM_NVAPI_SIM_RIG", path.toLocal8Bit());

        // Capture what the driver writes to stderr while it reads the rig.
        const QString errPath = m_dir.filePath(QStringLiteral("stderr%1").arg(m_rigs));
        QFile errFile(errPath);
        QVERIFY(errFile.open(QIODevice::WriteOnly));
        std::fflush(stderr);
        const int saved = dup(STDERR_FILENO);
        dup2(errFile.handle(), STDERR_FILENO);
        const int status = m_driver.init();
        std::fflush(stderr);
        dup2(saved, STDERR_FILENO);
        ::close(saved);
        errFile.close();

        QCOMPARE(status, Ok);
        QVERIFY(m_driver.gpus().empty());
        QVERIFY(errFile.open(QIODevice::ReadOnly));
        const QByteArray err = errFile.readAll();
        if (message.isEmpty()) {
            QVERIFY2(err.isEmpty(), err.constData());
        } else {
            QVERIFY2(err.contains("lm_nvapi_sim: "), err.constData());
            QVERIFY2(err.contains(path.toLocal8Bit()), err.constData());
            QVERIFY2(err.contains(message), err.constData());
        }
    }

    void gpusNamesAndWorkstationQuery()
    {
        useBaseRig();
        QCOMPARE(m_driver.init(), Ok);
        const std::vector<void *> gpus = m_driver.gpus();
        QCOMPARE(gpus.size(), size_t(2));
        QVERIFY(gpus[0] && gpus[1] && gpus[0] != gpus[1]);

        const auto getName = m_driver.fn<NameFn>(0xCEEE8E9F);
        char name[64 + 8];
        std::memset(name, 'x', sizeof name);
        QCOMPARE(getName(gpus[0], name), Ok);
        QCOMPARE(QByteArray(name), QByteArray("NVIDIA RTX A4000"));
        std::memset(name, 'x', sizeof name);
        QCOMPARE(getName(gpus[1], name), Ok);
        QCOMPARE(std::strlen(name), size_t(63)); // cut to the buffer, spaces kept
        QVERIFY(QByteArray(name).startsWith(" GeForce RTX 4090"));
        QCOMPARE(name[64], 'x');
        QCOMPARE(getName(gpus[0], nullptr), InvalidArgument);
        QCOMPARE(getName(m_driver.displayHandle(0), name), ExpectedGpuHandle);

        const auto workstation = m_driver.fn<WorkstationFn>(0x80B1ABB9);
        QCOMPARE(workstation(gpus[0], 2), Ok);
        QCOMPARE(workstation(gpus[0], 1), NotSupported);
        QCOMPARE(workstation(gpus[1], 2), NotSupported);
        QCOMPARE(workstation(nullptr, 2), ExpectedGpuHandle);
    }

    void displayIdsCountThenEntries()
    {
        useBaseRig();
        QCOMPARE(m_driver.init(), Ok);
        const auto getIds = m_driver.fn<DisplayIdsFn>(0x785210A2);
        void *gpu = m_driver.gpus().at(0);
        uint32_t count = 0;
        QCOMPARE(getIds(gpu, nullptr, &count), Ok);
        QCOMPARE(count, 5u);

        alignas(8) unsigned char entries[6 * 16] = {};
        count = 4;
        QCOMPARE(getIds(gpu, entries, &count), InsufficientBuffer);
        QCOMPARE(count, 5u);
        QCOMPARE(getIds(gpu, entries, &count), BadVersion); // versions not set
        for (int i = 0; i < 6; ++i)
            put32(entries, size_t(i) * 16, kDisplayIdVersion);
        put32(entries, 5 * 16 + 8, 0xdeadbeef);
        count = 6;
        QCOMPARE(getIds(gpu, entries, &count), Ok);
        QCOMPARE(count, 5u);
        const uint32_t ids[] = {0x1000, 0x1001, 0x1002, 0x1003, 0x1004};
        for (int i = 0; i < 5; ++i)
            QCOMPARE(get32(entries, size_t(i) * 16 + 8), ids[i]);
        QCOMPARE(get32(entries, 5 * 16 + 8), 0xdeadbeefu); // beyond the count: untouched
        QCOMPARE(int32_t(get32(entries, 4)), 6); // DisplayPort
        QCOMPARE(int32_t(get32(entries, 2 * 16 + 4)), 3); // HDMI
        QCOMPARE(int32_t(get32(entries, 3 * 16 + 4)), 4); // DVI
        QCOMPARE(int32_t(get32(entries, 4 * 16 + 4)), -1); // no connector
        const auto flags = [&](int i) { return get32(entries, size_t(i) * 16 + 12); };
        QCOMPARE(flags(0) & 0x40u, 0u);
        QCOMPARE(flags(1), 0x40u | 0x10u | 0x04u); // connected, OS-visible, active
        QCOMPARE(flags(2) & 0x40u, 0x40u);
        QCOMPARE(flags(3), 0u);
        QCOMPARE(getIds(gpu, entries, nullptr), InvalidArgument);
    }

    void connectorInformation()
    {
        useBaseRig();
        QCOMPARE(m_driver.init(), Ok);
        const auto info = m_driver.fn<ConnectorFn>(0x9F473113);
        alignas(8) unsigned char s[56] = {};
        uint32_t room[2 * 4 + 2] = {};
        room[8] = room[9] = 0xabcdabcd;
        const auto prepare = [&]() {
            std::memset(s, 0, sizeof s);
            put32(s, 0, kConnectorVersion);
            put32(s, 8, 4);
            putPtr(s, 16, room);
        };
        prepare();
        QCOMPARE(info(0x1000, s), Ok);
        QCOMPARE(get32(s, 8), 1u);
        QCOMPARE(room[0], 70u);
        QCOMPARE(room[1], 7u);
        QCOMPARE(get32(s, 40) & 1u, 1u);
        prepare();
        QCOMPARE(info(0x1001, s), Ok);
        QCOMPARE(get32(s, 40) & 1u, 0u);

        prepare(); // five entries, room for four
        QCOMPARE(info(0x1003, s), Ok);
        QCOMPARE(get32(s, 8), 4u);
        QCOMPARE(room[6], 49u);
        QCOMPARE(room[7], 4u);
        QCOMPARE(room[8], 0xabcdabcdu);

        prepare();
        QCOMPARE(info(0x1004, s), EndEnumeration);
        prepare();
        QCOMPARE(info(0x9999, s), InvalidArgument);
        prepare();
        put32(s, 0, 0x10038);
        QCOMPARE(info(0x1000, s), BadVersion);
        QCOMPARE(info(0x1000, nullptr), InvalidArgument);
    }

    void displayHandlesAndNames()
    {
        useBaseRig();
        QCOMPARE(m_driver.init(), Ok);
        const auto enumHandle = m_driver.fn<EnumHandleFn>(0x9ABDD40D);
        const auto name = m_driver.fn<NameFn>(0x22A78B05);
        const auto idByName = m_driver.fn<IdByNameFn>(0xAE457190);
        const auto outputId = m_driver.fn<OutputIdFn>(0xD995937E);
        std::vector<void *> handles;
        void *h = nullptr;
        int status = Ok;
        for (uint32_t i = 0; (status = enumHandle(i, &h)) == Ok; ++i)
            handles.push_back(h);
        QCOMPARE(status, EndEnumeration);
        QCOMPARE(handles.size(), size_t(3));
        QCOMPARE(enumHandle(0, nullptr), InvalidArgument);

        char gdi[64] = {};
        uint32_t id = 0;
        uint32_t output = 0;
        QCOMPARE(name(handles[2], gdi), Ok);
        QCOMPARE(QByteArray(gdi), QByteArray("\\\\.\\DISPLAY3"));
        QCOMPARE(idByName(gdi, &id), Ok);
        QCOMPARE(id, 0x2001u);
        QCOMPARE(outputId(handles[0], &output), Ok);
        QCOMPARE(output, 0x10u);
        QCOMPARE(outputId(handles[1], &output), Ok);
        QCOMPARE(output, 2u); // default: one bit per handle
        QCOMPARE(idByName("\\\\.\\DISPLAY9", &id), DeviceNotFound);
        QCOMPARE(name(m_driver.gpus().at(0), gdi), ExpectedDisplayHandle);
        QCOMPARE(outputId(handles[0], nullptr), InvalidArgument);
    }

    void displayConfigThreeCalls()
    {
        useBaseRig();
        QCOMPARE(m_driver.init(), Ok);
        const auto config = m_driver.fn<DisplayConfigFn>(0x11ABCCF8);
        uint32_t count = 0;
        QCOMPARE(config(&count, nullptr), Ok);
        QCOMPARE(count, 3u);

        // Second call: paths with source modes, no targets.
        alignas(8) unsigned char paths[3 * 48] = {};
        alignas(8) unsigned char modes[3 * 32];
        std::memset(modes, 0x5a, sizeof modes);
        for (int i = 0; i < 3; ++i) {
            put32(paths, size_t(i) * 48, kPathVersion);
            putPtr(paths, size_t(i) * 48 + 24, modes + i * 32);
        }
        count = 2;
        QCOMPARE(config(&count, paths), InsufficientBuffer);
        count = 3;
        QCOMPARE(config(&count, paths), Ok);
        const auto path32
            = [&](int i, size_t offset) { return get32(paths, size_t(i) * 48 + offset); };
        const auto mode32
            = [&](int i, size_t offset) { return get32(modes, size_t(i) * 32 + offset); };
        QCOMPARE(path32(0, 8), 1u);
        QCOMPARE(path32(1, 8), 2u);
        QCOMPARE(path32(1, 4), 1u); // source id defaults to the path index
        QCOMPARE(mode32(0, 0), 2560u);
        QCOMPARE(mode32(0, 4), 1440u);
        QCOMPARE(mode32(0, 8), 32u);
        QCOMPARE(mode32(0, 28) & 1u, 1u);
        QCOMPARE(mode32(1, 0), 1280u);
        QCOMPARE(mode32(1, 8), 16u);
        QCOMPARE(int32_t(mode32(1, 16)), -1280);
        QCOMPARE(mode32(1, 20), 10u);
        QCOMPARE(mode32(1, 28) & 1u, 0u);
        QCOMPARE(mode32(2, 12), 0u); // zeroed by the driver
        const auto *adapter0 = static_cast<const uint64_t *>(getPtr(paths, 40));
        const auto *adapter2 = static_cast<const uint64_t *>(getPtr(paths, 2 * 48 + 40));
        QVERIFY(adapter0 && adapter2);
        QCOMPARE(*adapter0, 0x10de0000ull);
        QCOMPARE(*adapter2, 0x10de0001ull);

        // Third call: targets with advanced information.
        alignas(8) unsigned char targets[4 * 24] = {};
        alignas(8) unsigned char details[4 * 128] = {};
        const int firstTarget[] = {0, 1, 3};
        for (int t = 0; t < 4; ++t) {
            put32(details, size_t(t) * 128, kTargetInfoVersion);
            putPtr(targets, size_t(t) * 24 + 8, details + t * 128);
        }
        for (int i = 0; i < 3; ++i)
            putPtr(paths, size_t(i) * 48 + 16, targets + firstTarget[i] * 24);
        put32(details, 3 * 128, 0x10070);
        QCOMPARE(config(&count, paths), BadVersion);
        put32(details, 3 * 128, kTargetInfoVersion);
        put32(paths, 48 + 8, 1); // wrong target count
        QCOMPARE(config(&count, paths), InvalidArgument);
        put32(paths, 48 + 8, 2);
        QCOMPARE(config(&count, paths), Ok);
        const auto target32
            = [&](int t, size_t offset) { return get32(targets, size_t(t) * 24 + offset); };
        QCOMPARE(target32(0, 0), 0x1001u);
        QCOMPARE(target32(0, 16), 0x1101u);
        QCOMPARE(target32(1, 0), 0x1002u);
        QCOMPARE(target32(2, 0), 0x1001u);
        QCOMPARE(target32(3, 0), 0x2001u);
        QCOMPARE(target32(3, 16), 0x2001u); // target id defaults to the display id's low half
        QCOMPARE(get32(details, 12), 59951u);
        QCOMPARE(get32(details, 128 + 12), 50000u);
        QCOMPARE(get32(details, 3 * 128 + 12), 60000u);
        QCOMPARE(getPtr(targets, 8), static_cast<void *>(details)); // pointers kept

        put32(paths, 0, 0x10030);
        QCOMPARE(config(&count, paths), BadVersion);
        QCOMPARE(config(nullptr, paths), InvalidArgument);
    }

    void noPathsMeansZeroCount()
    {
        useRig(R"({"gpus":[{"displayIds":[{"id":1,"connected":true}]}]})");
        QCOMPARE(m_driver.init(), Ok);
        uint32_t count = 7;
        QCOMPARE(m_driver.fn<DisplayConfigFn>(0x11ABCCF8)(&count, nullptr), Ok);
        QCOMPARE(count, 0u);
    }

    void edidReadSizeThenBytes()
    {
        useBaseRig();
        QCOMPARE(m_driver.init(), Ok);
        const auto read = m_driver.fn<EdidFn>(0x436CED76);
        alignas(8) unsigned char s[56] = {};
        put32(s, 0, kEdidVersion);
        uint32_t flag = 0;
        QCOMPARE(read(0x1001, s, &flag), Ok);
        QCOMPARE(get32(s, 16), 256u);
        QCOMPARE(flag, 1u);

        QByteArray small(128, '\0');
        putPtr(s, 8, small.data());
        put32(s, 16, 128);
        QCOMPARE(read(0x1001, s, &flag), InsufficientBuffer);
        QCOMPARE(get32(s, 16), 256u);
        QCOMPARE(small, QByteArray(128, '\0'));

        QByteArray bytes;
        QCOMPARE(m_driver.readEdid(0x1002, &bytes, &flag), Ok);
        QCOMPARE(bytes, QByteArray::fromHex("00ffffffffffff00010203"));
        QCOMPARE(flag, 1u);
        QCOMPARE(m_driver.readEdid(0x2001, &bytes, &flag), Ok);
        QCOMPARE(flag, 3u); // overridden from the start
        QVERIFY(bytes.contains("FORCED"));
        QCOMPARE(m_driver.readEdid(0x1003, &bytes, &flag), DataNotFound); // not connected
        QCOMPARE(m_driver.readEdid(0x1000, &bytes, &flag), DataNotFound); // no EDID
        QCOMPARE(m_driver.readEdid(0x7777, &bytes, &flag), InvalidArgument);

        put32(s, 0, 0x10038);
        QCOMPARE(read(0x1001, s, &flag), BadVersion);
        put32(s, 0, kEdidVersion);
        QCOMPARE(read(0x1001, s, nullptr), InvalidArgument);
        QCOMPARE(read(0x1001, nullptr, &flag), InvalidArgument);
    }

    void edidLoadLockAndUnload()
    {
        useBaseRig();
        QCOMPARE(m_driver.init(), Ok);
        QByteArray monitor;
        uint32_t flag = 0;
        QCOMPARE(m_driver.readEdid(0x1001, &monitor, &flag), Ok);

        // Load onto another display: read back as overridden, flag 3.
        QCOMPARE(m_driver.load(0x1002, monitor), 4L); // this display's set answers 4
        QByteArray bytes;
        QCOMPARE(m_driver.readEdid(0x1002, &bytes, &flag), Ok);
        QCOMPARE(bytes, monitor);
        QCOMPARE(flag, 3u);

        // Lock: the present bytes loaded back.
        QCOMPARE(m_driver.load(0x1001, monitor), 0L);
        QCOMPARE(m_driver.readEdid(0x1001, &bytes, &flag), Ok);
        QCOMPARE(flag, 3u);
        QCOMPARE(bytes, monitor);

        // A disconnected display takes an override too.
        QCOMPARE(m_driver.load(0x1003, monitor), 0L);
        QCOMPARE(m_driver.readEdid(0x1003, &bytes, &flag), Ok);
        QCOMPARE(flag, 3u);

        // Unload: the monitor's own EDID again; unloading twice still succeeds.
        QCOMPARE(m_driver.unloadEdid(0x1002), Ok);
        QCOMPARE(m_driver.unloadEdid(0x1002), Ok);
        QCOMPARE(m_driver.readEdid(0x1002, &bytes, &flag), Ok);
        QCOMPARE(flag, 1u);
        QCOMPARE(bytes.size(), 11);
        QCOMPARE(m_driver.unloadEdid(0x1003), Ok);
        QCOMPARE(m_driver.readEdid(0x1003, &bytes, &flag), DataNotFound);
    }

    void edidApplyNeedsMatchingSet()
    {
        useBaseRig();
        QCOMPARE(m_driver.init(), Ok);
        const auto set = m_driver.fn<EdidFn>(0xE935D9D7);
        const auto apply = m_driver.fn<ApplyFn>(0x0A1A174A);
        QByteArray bytes(128, 'a');
        alignas(8) unsigned char s[56] = {};
        put32(s, 0, kEdidVersion);
        putPtr(s, 8, bytes.data());
        put32(s, 16, 128);
        QCOMPARE(apply(0x1001, s), InvalidArgument); // nothing set
        uint32_t flag = 1;
        QCOMPARE(set(0x1001, s, &flag), Ok);
        QCOMPARE(flag, 0u);
        bytes[5] = 'b';
        QCOMPARE(apply(0x1001, s), InvalidArgument); // other bytes than the set
        bytes[5] = 'a';
        QCOMPARE(apply(0x1001, s), Ok);

        // Set refuses an empty or oversized EDID and leaves the flag alone.
        flag = 1;
        put32(s, 16, 0);
        QCOMPARE(set(0x1001, s, &flag), InvalidArgument);
        put32(s, 16, 65537);
        QCOMPARE(set(0x1001, s, &flag), InvalidArgument);
        QCOMPARE(flag, 1u);
        put32(s, 0, 0x20030);
        put32(s, 16, 128);
        QCOMPARE(set(0x1001, s, &flag), BadVersion);
        QCOMPARE(apply(0x1001, s), BadVersion);
        QCOMPARE(flag, 1u);
    }

    void edidPersistsAcrossUnloadAndReload()
    {
        useBaseRig();
        QCOMPARE(m_driver.init(), Ok);
        const QByteArray forced = QByteArray(128, 'z');
        QCOMPARE(m_driver.load(0x1001, forced), 0L);
        QCOMPARE(m_driver.unload(), Ok);

        // The next command of the same process loads the library again.
        QVERIFY(m_driver.lib.unload());
        {
            Driver again;
            QVERIFY(again.load());
            QCOMPARE(again.init(), Ok);
            QByteArray bytes;
            uint32_t flag = 0;
            QCOMPARE(again.readEdid(0x1001, &bytes, &flag), Ok);
            QCOMPARE(bytes, forced);
            QCOMPARE(flag, 3u);
            QCOMPARE(again.unload(), Ok);
        }
        QVERIFY(m_driver.load());

        // Another rig starts from its file again.
        useBaseRig();
        QCOMPARE(m_driver.init(), Ok);
        QByteArray bytes;
        uint32_t flag = 0;
        QCOMPARE(m_driver.readEdid(0x1001, &bytes, &flag), Ok);
        QCOMPARE(flag, 1u);
        QCOMPARE(bytes.size(), 256);
    }

    void failureInjection()
    {
        QJsonArray rules;
        rules.append(failure("NvAPI_GPU_GetConnectorInfo", {{"gpu", 1}}));
        rules.append(failure("0x436CED76", {{"displayId", "0x1002"}, {"status", -121}}));
        rules.append(failure("NvAPI_GetDisplayOutputId", {{"handle", 1}}));
        rules.append(failure("NvAPI_GPU_GetFullName", {{"from", 3}}));
        rules.append(failure("NvAPI_DISP_GetDisplayConfig", {{"times", 1}}));
        rules.append(failure("NvAPI_DISP_SetEdidData", {{"gpu", 0}, {"from", 2}, {"times", 1}}));
        useBaseRig(rules);
        QCOMPARE(m_driver.init(), Ok);
        const std::vector<void *> gpus = m_driver.gpus();

        alignas(8) unsigned char s[56] = {};
        uint32_t room[8];
        const auto info = m_driver.fn<ConnectorFn>(0x9F473113);
        const auto connector = [&](uint32_t id) {
            std::memset(s, 0, sizeof s);
            put32(s, 0, kConnectorVersion);
            put32(s, 8, 4);
            putPtr(s, 16, room);
            return info(id, s);
        };
        QCOMPARE(connector(0x1001), Ok);
        QCOMPARE(connector(0x2001), Error); // the second GPU's display
        QCOMPARE(connector(0x2001), Error); // always

        QByteArray bytes;
        uint32_t flag = 0;
        QCOMPARE(m_driver.readEdid(0x1001, &bytes, &flag), Ok);
        QCOMPARE(m_driver.readEdid(0x1002, &bytes, &flag), DataNotFound);

        uint32_t output = 0;
        const auto outputId = m_driver.fn<OutputIdFn>(0xD995937E);
        QCOMPARE(outputId(m_driver.displayHandle(0), &output), Ok);
        QCOMPARE(outputId(m_driver.displayHandle(1), &output), Error);

        char name[64];
        const auto getName = m_driver.fn<NameFn>(0xCEEE8E9F);
        QCOMPARE(getName(gpus[0], name), Ok);
        QCOMPARE(getName(gpus[1], name), Ok);
        QCOMPARE(getName(gpus[0], name), Error); // from the third use on
        QCOMPARE(getName(gpus[1], name), Error);

        uint32_t count = 0;
        const auto config = m_driver.fn<DisplayConfigFn>(0x11ABCCF8);
        QCOMPARE(config(&count, nullptr), Error);
        QCOMPARE(config(&count, nullptr), Ok); // failed once only

        // The failing set writes no flag, so the client sees the load refused.
        const QByteArray edid(128, 'e');
        QCOMPARE(m_driver.load(0x1001, edid), 0L);
        QCOMPARE(m_driver.load(0x1001, edid), 1L);
        QCOMPARE(m_driver.load(0x2001, edid), 0L);
        QCOMPARE(m_driver.load(0x1001, edid), 0L);

        // Counters survive Initialize and Unload.
        QCOMPARE(m_driver.unload(), Ok);
        QCOMPARE(m_driver.init(), Ok);
        QCOMPARE(getName(gpus[0], name), Error);
    }

    void failingInitializeLeavesDriverUnusable()
    {
        useBaseRig(QJsonArray {failure("NvAPI_Initialize", {{"times", 1}})});
        QCOMPARE(m_driver.init(), Error);
        void *handles[64];
        uint32_t count = 0;
        QCOMPARE(m_driver.fn<EnumGpusFn>(0xE5AC921F)(handles, &count), NotInitialized);
        QCOMPARE(m_driver.init(), Ok);
        QCOMPARE(m_driver.fn<EnumGpusFn>(0xE5AC921F)(handles, &count), Ok);
    }

    void handleScopedEnumerationFailure()
    {
        useBaseRig(QJsonArray {failure("NvAPI_EnumNvidiaDisplayHandle", {{"handle", 2}}),
            failure("NvAPI_DISP_GetDisplayIdByDisplayName", {{"displayId", "0x1002"}})});
        QCOMPARE(m_driver.init(), Ok);
        void *h = nullptr;
        const auto enumHandle = m_driver.fn<EnumHandleFn>(0x9ABDD40D);
        QCOMPARE(enumHandle(1, &h), Ok);
        QCOMPARE(enumHandle(2, &h), Error);
        QCOMPARE(enumHandle(3, &h), EndEnumeration);
        uint32_t id = 0;
        const auto idByName = m_driver.fn<IdByNameFn>(0xAE457190);
        QCOMPARE(idByName("\\\\.\\DISPLAY1", &id), Ok);
        QCOMPARE(idByName("\\\\.\\DISPLAY2", &id), Error);
    }

    void windowsDisplayConfiguration()
    {
        useBaseRig();
        const auto sizes = m_driver.win<BufferSizesFn>("lmsim_GetDisplayConfigBufferSizes");
        const auto query = m_driver.win<QueryConfigFn>("lmsim_QueryDisplayConfig");
        const auto source = m_driver.win<DeviceNameFn>("lmsim_GetSourceDeviceName");
        const auto target = m_driver.win<DeviceNameFn>("lmsim_GetTargetDeviceName");
        uint32_t paths = 0;
        uint32_t modes = 0;
        QCOMPARE(sizes(kQueryFlags, &paths, &modes), 0L); // no NvAPI_Initialize needed
        QCOMPARE(paths, 2u); // the path without a GDI name is not Windows'
        QCOMPARE(modes, 4u);
        QCOMPARE(sizes(0x3, &paths, &modes), 87L);
        QCOMPARE(sizes(kQueryFlags, nullptr, &modes), 87L);

        alignas(8) unsigned char list[3 * 16] = {};
        uint32_t fewer = 1;
        QCOMPARE(query(kQueryFlags, &fewer, list, &modes, nullptr), 122L);
        QCOMPARE(fewer, 2u);
        QCOMPARE(query(kQueryFlags, &paths, list, &modes, nullptr), 0L);
        QCOMPARE(get32(list, 0), 0x10de0000u);
        QCOMPARE(get32(list, 4), 0u);
        QCOMPARE(get32(list, 8), 0u);
        QCOMPARE(get32(list, 12), 0x1101u);
        QCOMPARE(get32(list, 16), 0x10de0001u);
        QCOMPARE(get32(list, 28), 0x2001u);

        char text[64] = {};
        QCOMPARE(source(0x10de0000, 0, text, sizeof text), 0L);
        QCOMPARE(QByteArray(text), QByteArray("\\\\.\\DISPLAY1"));
        QCOMPARE(target(0x10de0001, 0x2001, text, sizeof text), 0L);
        QCOMPARE(QString::fromUtf8(text), QStringLiteral("Müller Wall"));
        QCOMPARE(target(0x10de0001, 0x2001, text, 12), 122L); // 12 bytes + NUL do not fit
        QCOMPARE(source(0x10de0001, 1, text, sizeof text), 87L);
        QCOMPARE(target(0x10de0000, 0x2001, text, sizeof text), 87L);
    }

    void windowsRetryAndFailures()
    {
        useBaseRig(QJsonArray {failure("QueryDisplayConfig", {{"status", 122}, {"times", 2}}),
            failure("GetTargetDeviceName", {{"path", 2}}),
            failure("lmsim_GetSourceDeviceName", {{"from", 2}, {"times", 1}})});
        const auto sizes = m_driver.win<BufferSizesFn>("lmsim_GetDisplayConfigBufferSizes");
        const auto query = m_driver.win<QueryConfigFn>("lmsim_QueryDisplayConfig");
        const auto source = m_driver.win<DeviceNameFn>("lmsim_GetSourceDeviceName");
        const auto target = m_driver.win<DeviceNameFn>("lmsim_GetTargetDeviceName");

        // The client's loop: ask the sizes, query, again while the buffer was too small.
        std::vector<unsigned char> list;
        uint32_t paths = 0;
        uint32_t modes = 0;
        long status = 0;
        int rounds = 0;
        do {
            QCOMPARE(sizes(kQueryFlags, &paths, &modes), 0L);
            QCOMPARE(paths, 2u);
            list.assign(size_t(paths) * 16 + 16, 0);
            status = query(kQueryFlags, &paths, list.data(), &modes, nullptr);
            if (status == 122) {
                QCOMPARE(paths, 3u); // one path more than there was room for
                QCOMPARE(modes, 6u);
            }
            ++rounds;
        } while (status == 122 && rounds < 10);
        QCOMPARE(status, 0L);
        QCOMPARE(rounds, 3);
        QCOMPARE(paths, 2u);

        char text[64];
        QCOMPARE(target(0x10de0000, 0x1101, text, sizeof text), 0L);
        QCOMPARE(target(0x10de0001, 0x2001, text, sizeof text), 31L);
        QCOMPARE(source(0x10de0000, 0, text, sizeof text), 0L);
        QCOMPARE(source(0x10de0000, 0, text, sizeof text), 31L);
        QCOMPARE(source(0x10de0000, 0, text, sizeof text), 0L);
    }

    void exampleRigs()
    {
        qputenv("LM_NVAPI_SIM_RIG", LM_RIGS_DIR "/workstation.json");
        QCOMPARE(m_driver.init(), Ok);
        std::vector<void *> gpus = m_driver.gpus();
        QCOMPARE(gpus.size(), size_t(2));
        QCOMPARE(m_driver.fn<WorkstationFn>(0x80B1ABB9)(gpus[0], 2), Ok);
        QCOMPARE(m_driver.fn<WorkstationFn>(0x80B1ABB9)(gpus[1], 2), NotSupported);
        // The dual-mode pair: same second value, dual bit on the first only.
        alignas(8) unsigned char s[56] = {};
        uint32_t room[8] = {};
        const auto info = m_driver.fn<ConnectorFn>(0x9F473113);
        uint32_t second[2] = {};
        uint32_t dual[2] = {};
        for (int i = 0; i < 2; ++i) {
            std::memset(s, 0, sizeof s);
            put32(s, 0, kConnectorVersion);
            put32(s, 8, 4);
            putPtr(s, 16, room);
            QCOMPARE(info(0x80061001 + uint32_t(i), s), Ok);
            QCOMPARE(room[0], 70u);
            second[i] = room[1];
            dual[i] = get32(s, 40) & 1u;
        }
        QCOMPARE(second[0], second[1]);
        QCOMPARE(dual[0], 1u);
        QCOMPARE(dual[1], 0u);
        QByteArray bytes;
        uint32_t flag = 0;
        QCOMPARE(m_driver.readEdid(0x80061005, &bytes, &flag), Ok);
        QCOMPARE(flag, 3u);
        QCOMPARE(m_driver.unload(), Ok);

        qputenv("LM_NVAPI_SIM_RIG", LM_RIGS_DIR "/failing-driver.json");
        QCOMPARE(m_driver.init(), Ok);
        gpus = m_driver.gpus();
        QCOMPARE(gpus.size(), size_t(3));
        std::memset(s, 0, sizeof s);
        put32(s, 0, kConnectorVersion);
        QCOMPARE(info(0x80071001, s), Ok);
        QCOMPARE(info(0x80072001, s), Error);
        QCOMPARE(info(0x80073001, s), Ok);
    }
};

QTEST_GUILESS_MAIN(TestNvapiSim)
#include "tst_nvapi_sim.moc"
