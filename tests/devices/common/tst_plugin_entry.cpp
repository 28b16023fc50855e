// A plug-in built from the shared entry, loaded as the host loads it.
#include "Device.h"
#include "DeviceFactoryInterface.h"
#include "HostRegistry.h"
#include "INodeController.h"
#include "NodeGraph.h"
#include "testplugin/TestPlugin.h"

#include <QDir>
#include <QJsonObject>
#include <QPluginLoader>
#include <QTest>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

#ifdef Q_OS_WIN
// The names that a loaded DLL exports, read from its export directory; an export without a
// name counts as "#ordinal".
QStringList exportedNames(const QString &file)
{
    const HMODULE module = ::GetModuleHandleW(
        reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(file).utf16()));
    if (!module)
        return {QStringLiteral("(not loaded)")};
    const auto *base = reinterpret_cast<const unsigned char *>(module);
    const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
    const auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY &directory
        = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (directory.VirtualAddress == 0)
        return {};
    const auto *exports
        = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY *>(base + directory.VirtualAddress);
    const auto *names = reinterpret_cast<const DWORD *>(base + exports->AddressOfNames);
    QStringList result;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i)
        result.append(QString::fromLatin1(reinterpret_cast<const char *>(base + names[i])));
    for (DWORD i = exports->NumberOfNames; i < exports->NumberOfFunctions; ++i)
        result.append(QStringLiteral("#%1").arg(exports->Base + i));
    result.sort();
    return result;
}
#endif

} // namespace

class TestPluginEntry : public QObject
{
    Q_OBJECT

private:
    QPluginLoader m_loader {QStringLiteral(LM_TEST_PLUGIN_FILE)};

    DeviceFactoryInterface *factory()
    {
        return qobject_cast<DeviceFactoryInterface *>(m_loader.instance());
    }

private slots:
    void metadataHoldsTheKeyAndTheClassName()
    {
        const QJsonObject meta = m_loader.metaData();
        QCOMPARE(meta.value(QStringLiteral("IID")).toString(), QStringLiteral("TestDevice"));
        QCOMPARE(
            meta.value(QStringLiteral("className")).toString(), QStringLiteral("PluginInterface"));
        QVERIFY(meta.value(QStringLiteral("MetaData")).toObject().isEmpty());
    }

    void instanceAnswersTheInterface()
    {
        QObject *instance = m_loader.instance();
        QVERIFY2(instance, qPrintable(m_loader.errorString()));
        QVERIFY(!instance->parent());
        QCOMPARE(m_loader.instance(), instance); // one object
        DeviceFactoryInterface *f = factory();
        QVERIFY(f);
        QCOMPARE(instance->qt_metacast("PluginInterface"), static_cast<void *>(instance));
        QCOMPARE(instance->qt_metacast("DeviceFactoryInterface"), static_cast<void *>(f));
        QCOMPARE(
            instance->qt_metacast("com.KORVANMEDIA.Lumora.Device/1.0"), static_cast<void *>(f));
        QVERIFY(!instance->qt_metacast("SomethingElse"));
        QCOMPARE(QString::fromLatin1(instance->metaObject()->className()),
            QStringLiteral("PluginInterface"));
    }

    // The plug-in's PluginInterface, identifiers and static libraries stay its own: exported,
    // they would bind to the host's or another plug-in's copies.
    void exportsOnlyTheQtEntryPoints()
    {
        QVERIFY2(m_loader.load(), qPrintable(m_loader.errorString()));
        const QString file = QStringLiteral(LM_TEST_PLUGIN_FILE);
#ifdef Q_OS_WIN
        QCOMPARE(exportedNames(file),
            QStringList({QStringLiteral("qt_plugin_instance"),
                QStringLiteral("qt_plugin_query_metadata_v2")}));
#else
        void *library = dlopen(QFile::encodeName(file).constData(), RTLD_NOW | RTLD_NOLOAD);
        QVERIFY(library);
        QVERIFY(dlsym(library, "qt_plugin_instance"));
        QVERIFY(dlsym(library, "qt_plugin_query_metadata_v2"));
        // Defined in the plug-in alone (no library it needs has one).
        QVERIFY(!dlsym(library, "_ZN15PluginInterface16staticMetaObjectE"));
        QVERIFY(!dlsym(library, "_ZN10TestDevice16staticMetaObjectE"));
        dlclose(library);
#endif
    }

    void factoryAnswers()
    {
        DeviceFactoryInterface *f = factory();
        QCOMPARE(f->deviceType(), QStringLiteral("TestDevice"));
        QCOMPARE(f->deviceDisplayName(), QStringLiteral("Test Device"));
        QVERIFY(!f->isTimecodeDevice());
        QVERIFY(!f->deviceIcon().isNull());
        std::unique_ptr<Device> device(f->createDevice(false));
        QCOMPARE(device->typeName(), QStringLiteral("TestDevice"));
        QVERIFY(!device->isOnMaster());
        std::unique_ptr<Device> master(f->createDevice(true));
        QVERIFY(master->isOnMaster());
    }

    void registryIsFilledOnceAndHoldsTheControllers()
    {
        DeviceFactoryInterface *f = factory();
        const NodeTypeRegistry &r = f->nodeTypeRegistry(HostCallbacks());
        QCOMPARE(&f->nodeTypeRegistry(HostCallbacks()), &r);
        QCOMPARE(r.controllerFactories.size(), 2);
        QCOMPARE(r.controllerNames.value(TestSourceControllerType), std::string("Test source"));
        QCOMPARE(r.controllerCategories.value(TestSinkControllerType), std::string("Devices/Test"));
        QCOMPARE(r.controllerColors.value(TestSourceControllerType), QColor(153, 102, 204, 255));
        QVERIFY(r.dataFactories.contains(kTestDataTypeId));
        QVERIFY(r.dataConverters.isEmpty());
        QVERIFY(r.controllerDescriptions.isEmpty());
    }

    void controllerFactoryRunsInitValues()
    {
        HostRegistry host;
        QString error;
        QVERIFY2(host.addFactory(factory(), QStringLiteral("test"), &error), qPrintable(error));
        NodeGraph graph(host.registry(), nullptr);
        Node *node = graph.createNode(TestSinkControllerType, 1, &error);
        QVERIFY2(node, qPrintable(error));
        auto *controller = dynamic_cast<IShowNodeController *>(node->controller());
        QVERIFY(controller);
        // One base class for host and plug-in: the host's meta-object knows the controller.
        QObject *object = controller;
        QCOMPARE(qobject_cast<INodeController *>(object), node->controller());
        QCOMPARE(controller->controllerType(), TestSinkControllerType);
        QCOMPARE(controller->inputValues().size(), size_t(1));
        QVERIFY(controller->inputValues()[0] && controller->inputValues()[0]->defined);
        Node *source = graph.createNode(TestSourceControllerType, 2);
        QCOMPARE(source->controller()->propertyValues().size(), size_t(1));
        // A second factory of the same device type is refused.
        QVERIFY(!host.addFactory(factory(), QStringLiteral("again"), &error));
        QVERIFY(error.contains(QStringLiteral("already provided")));
    }

    void hostRegistryLoadsAndReportsFailures()
    {
        HostRegistry host;
        const HostRegistry::PluginLoad good = host.loadPlugin(QStringLiteral(LM_TEST_PLUGIN_FILE));
        QVERIFY2(good.ok, qPrintable(good.error));
        QCOMPARE(good.deviceType, QStringLiteral("TestDevice"));
        QVERIFY(host.deviceFactory(QStringLiteral("TestDevice")));
        QVERIFY(host.registry().controllerFactories.contains(TestSourceControllerType));
        QVERIFY(host.registry().dataFactories.contains(kBoolDataTypeId)); // the host's own

        const HostRegistry::PluginLoad missing
            = host.loadPlugin(QStringLiteral(LM_TEST_PLUGIN_FILE) + QStringLiteral(".missing"));
        QVERIFY(!missing.ok);
        QVERIFY(!missing.error.isEmpty());
    }
};

QTEST_MAIN(TestPluginEntry)
#include "tst_plugin_entry.moc"
