// The touch screen plug-in: its device in three host instances of one show joined by
// the host's sync bus, its node controllers, its setup dialog and the loaded plug-in.
#include "SvgIcon.h"
#include "touchscreen_controllers.h"
#include "touchscreen_device.h"
#include "touchscreen_device_setup.h"

#include <host_instances.h>

#include <DeviceFactoryInterface.h>
#include <NodeGraph.h>
#include <Show.h>
#include <XmlWriter.h>

#include <QApplication>
#include <QDomDocument>
#include <QPluginLoader>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include <clocale>

namespace {
const QByteArray kType = "{e7c14b2a-3f85-4d91-a6e0-8b2c5f1d0e43}";
const QUuid kTouchType = QUuid::fromString(QLatin1String(kType));

// Touch device `number` of `show`, watching output `output` of media server `server`.
TouchScreenDevice *addTouchDevice(Show &show, int number, int server = 1, int output = 0)
{
    return HostInstances::addDevice<TouchScreenDevice>(
        show, number, [=](TouchScreenDevice &device) {
            device.serverId = server;
            device.serverOutputId = output;
        });
}

QPointF at(const QSignalSpy &spy, int i)
{
    return i < spy.size() ? spy.at(i).at(0).toPointF() : QPointF(-1, -1);
}

QPointF positionOf(const INodeController *node)
{
    const Vec2Data *v = node->outputData<Vec2Data>(0);
    return v->defined ? QPointF(v->x, v->y) : QPointF(-1, -1);
}

// The producer (master) and media servers 1 and 2; in each, touch device 1 watching
// output 0 of media server 1 and a spy on its touches.
struct Instances : HostInstances
{
    TouchScreenDevice *device[3] = {};
    std::unique_ptr<QSignalSpy> touched[3];
    QSignalSpy sent {&bus, &SyncBus::messageSent};

    Instances()
        : HostInstances(2)
    {
        for (int i = 0; i < count(); ++i) {
            device[i] = addTouchDevice(*shows[size_t(i)], 1);
            touched[i] = std::make_unique<QSignalSpy>(device[i], &TouchScreenDevice::touchReceived);
        }
    }

    // A node on the producer designating its touch device `number`.
    template<class Controller>
    Controller *addNode(int number)
    {
        return addDeviceNode<Controller>(producer(), number);
    }
};
} // namespace

class TestTouchScreen : public QObject
{
    Q_OBJECT

private slots:
    void touchesAndMessages()
    {
        Instances in;
        TouchScreenDevice &device = *in.device[1];
        device.serverId = device.serverOutputId = -1;
        device.onServerOutputTouched(-1, -1, QPointF(1, 1)); // unconfigured
        device.serverId = 2;
        device.serverOutputId = 1;
        device.onServerOutputTouched(2, 0, QPointF(1, 1));
        device.onServerOutputTouched(1, 1, QPointF(1, 1));
        QVERIFY(in.touched[1]->isEmpty() && in.sent.isEmpty());
        // As the host delivers it: by name through the meta-object.
        QVERIFY(QMetaObject::invokeMethod(&device, "onServerOutputTouched", Q_ARG(int, 2),
            Q_ARG(int, 1), Q_ARG(QPointF, QPointF(100.25, 200.5))));
        QCOMPARE(in.sent.takeFirst().at(3).toByteArray(), kType + "*100.25*200.5");
        QCOMPARE(at(*in.touched[1], 0), QPointF(100.25, 200.5));
        // printf's %g: 6 significant digits, the exponent form only beyond them.
        QCOMPARE(TouchScreenDevice::touchMessage(1234567, 1e5), kType + "*1.23457e+06*100000");
        QCOMPARE(TouchScreenDevice::touchMessage(0.0001, -0.00001), kType + "*0.0001*-1e-05");

        // From the bus, on an instance that neither is the master nor runs the output.
        QSignalSpy &spy = *in.touched[2];
        in.device[2]->decodeRuntimeMessage(QUuid::createUuid(), "1*2");
        for (const char *payload : {"5", "100.25*200.5", "1*2*3", "abc*2", "nan*1e39", " 1 *2x"})
            in.device[2]->decodeRuntimeMessage(kTouchType, payload);
        const QList<QPointF> expected {{100.25, 200.5}, {1, 2}, {0, 2}, {0, 0}, {1, 0}};
        QCOMPARE(spy.size(), expected.size());
        for (int i = 0; i < expected.size(); ++i)
            QCOMPARE(at(spy, i), expected[i]);
    }

    void oneTouchOnceOnEveryInstance()
    {
        Instances in;
        const QPointF exact(10.123456789, 20.7);
        in.device[1]->onServerOutputTouched(1, 0, exact);
        // The master's relay to media server 1 is queued before the one to media server 2.
        QTRY_COMPARE(in.touched[2]->size(), 1);
        QCOMPARE(in.touched[1]->size(), 1);
        QCOMPARE(at(*in.touched[1], 0), exact);
        QCOMPARE(in.touched[0]->size(), 1);
        for (int i : {0, 2})
            QCOMPARE(at(*in.touched[i], 0), QPointF(double(10.1235f), double(20.7f)));
        QCOMPARE(in.sent.size(), 2); // media server 1 to the master, the master's relay
        QCOMPARE(in.sent[1][0].toString() + in.sent[1][3].toString(),
            "producer" + kType + "*10.1235*20.7");
    }

    void xml()
    {
        TouchScreenDevice device(true);
        const auto xml = [&device] {
            QString text;
            device.writeXml(*std::make_unique<XmlWriter>(&text)); // flushed when it goes
            return text;
        };
        QVERIFY(xml().contains(QStringLiteral("name=\"\" serverId=\"-1\" serverOutputId=\"-1\"")));
        const auto read = [&device](const char *attributes) {
            QDomDocument doc;
            doc.setContent(QStringLiteral("<device id=\"4\" %1/>").arg(QLatin1String(attributes)));
            device.readDom(doc.documentElement());
            return qMakePair(device.serverId, device.serverOutputId);
        };
        QCOMPARE(read("serverId=\"2\" serverOutputId=\"1\""), qMakePair(2, 1));
        QVERIFY(xml().contains(
            QStringLiteral("id=\"4\" name=\"\" serverId=\"2\" serverOutputId=\"1\"")));
        QCOMPARE(read("serverOutputId=\"x\""), qMakePair(-1, 0));
    }

    void numbersIgnoreTheLocale()
    {
        const auto check = [] {
            QCOMPARE(TouchScreenDevice::touchMessage(100.25, 0.5), kType + "*100.25*0.5");
            TouchScreenDevice loose(false);
            QSignalSpy touched(&loose, &TouchScreenDevice::touchReceived);
            loose.decodeRuntimeMessage(kTouchType, "100.25*1,5");
            QCOMPARE(at(touched, 0), QPointF(100.25, 0));
        };
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        check();
#ifdef _WIN32
        const char *const cGerman = "German_Germany.1252";
#else
        const char *const cGerman = "de_DE.UTF-8";
#endif
        const bool german = std::setlocale(LC_ALL, cGerman);
        if (german)
            check();
        std::setlocale(LC_ALL, "C");
        QLocale::setDefault(QLocale::c());
        if (!german)
            QSKIP(qPrintable(QStringLiteral("Qt's German default passed; the C library has no %1")
                                 .arg(QLatin1String(cGerman))));
    }

    void controllers()
    {
        Instances in;
        QSignalSpy fired(&in.shows[0]->graph(), &NodeGraph::outputTriggerFired);
        const auto touch = [&](TouchScreenDevice *device, QPointF p) {
            fired.clear();
            device->onServerOutputTouched(device->serverId, device->serverOutputId, p);
            return fired.size();
        };
        auto *zone = in.addNode<OnTouchZoneController>(1);
        for (QPointF p : {QPointF(1, 1), QPointF(1920, 1080), QPointF(1, 1080), QPointF(1920, 1)})
            QCOMPARE(touch(in.device[0], p), 1);
        for (QPointF p : {QPointF(0, 500), QPointF(1921, 5), QPointF(500, 1080.5), QPointF(5, .9)})
            QCOMPARE(touch(in.device[0], p), 0);
        QCOMPARE(positionOf(zone), QPointF(1920, 1)); // misses change nothing

        auto *inverted = in.addNode<OnTouchZoneController>(1);
        for (int i : {0, 1}) { // (500, 500) to (100, 100), defined as initValues left them
            auto &corner = static_cast<Vec2Data &>(*inverted->inputValues()[size_t(i)]);
            QVERIFY(corner.defined);
            corner.x = corner.y = i ? 100 : 500;
        }
        for (QPointF p : {QPointF(300, 300), QPointF(500, 500), QPointF(100, 100)})
            QCOMPARE(touch(in.device[0], p), 1); // the default zone alone

        // Top Left fed by an "On Touch" node without a position misses, until it has one.
        TouchScreenDevice *second = addTouchDevice(*in.shows[0], 2, 9, 9);
        auto *onTouch = in.addNode<OnTouchController>(2);
        QVERIFY(
            in.shows[0]->graph().connectValue({onTouch->node().id(), 0, inverted->node().id(), 0}));
        QCOMPARE(touch(in.device[0], QPointF(50, 50)), 1);
        QCOMPARE(touch(second, QPointF(10.3, 20.7)), 1);
        QCOMPARE(positionOf(onTouch), QPointF(double(10.3f), double(20.7f)));
        QCOMPARE(touch(in.device[0], QPointF(50, 50)), 2);
        QCOMPARE(positionOf(inverted), QPointF(50, 50));

        // Rebinding: the old device no longer drives it; no position until the next touch.
        Instances::designate(onTouch, 1);
        QCOMPARE(positionOf(onTouch), QPointF(-1, -1));
        QCOMPARE(touch(second, QPointF(3, 4)), 0);
        QCOMPARE(touch(in.device[0], QPointF(3, 4)), 2); // "On Touch" and the default zone
        QCOMPARE(positionOf(onTouch), QPointF(3, 4));
        Instances::designate(onTouch, 7); // no such device
        QCOMPARE(positionOf(onTouch), QPointF(-1, -1));
        QCOMPARE(touch(in.device[0], QPointF(3, 4)), 1);
    }

    void setupDialog()
    {
        Instances in;
        for (int id : {2, 1, 3}) { // 3 has no output set
            auto screen = std::make_unique<Screen>(id, id == 1 ? "Left" : "Right", QString());
            if (id != 3) {
                screen->setScreenSet(std::make_unique<ScreenSet>());
                for (int output : {0, 5, 1}) // 5: kind 1
                    screen->screenSet()->addScreenOutput(
                        ScreenOutput(output, output ? "B" : "A", output == 5));
            }
            QVERIFY(in.shows[0]->addMediaServer(std::move(screen)));
        }
        const auto run = [](TouchScreenDevice &device, int server, int button, int choose = -1) {
            device.serverId = server;
            QTimer::singleShot(0, [=] {
                auto *dialog
                    = qobject_cast<TouchScreenDeviceSetup *>(QApplication::activeModalWidget());
                if (choose >= 0)
                    dialog->outputComboBox->setCurrentIndex(choose);
                dialog->buttonBox->button(QDialogButtonBox::StandardButton(button))->click();
                if (dialog->isVisible()) // OK was disabled
                    dialog->reject();
            });
            return device.showSetupDialog(nullptr) ? device.serverId * 10 + device.serverOutputId
                                                   : -1;
        };

        TouchScreenDevice &device = *in.device[0];
        TouchScreenDeviceSetup dialog(&device);
        device.serverId = 2;
        device.serverOutputId = 1;
        dialog.fillOutputList();
        QComboBox &box = *dialog.outputComboBox;
        QStringList texts;
        for (int i = 0; i < box.count(); ++i)
            texts << box.itemText(i);
        QCOMPARE(texts, QStringList({"Left/A", "Left/B", "Right/A", "Right/B"}));
        QCOMPARE(box.itemData(2).toList(), QVariantList({2, 0}));
        QCOMPARE(box.currentText(), QStringLiteral("Right/B"));

        QCOMPARE(run(device, 2, QDialogButtonBox::Cancel, 0), -1);
        QCOMPARE(device.serverId * 10 + device.serverOutputId, 21);
        QCOMPARE(run(device, 3, QDialogButtonBox::Ok), 10); // not listed: Left/A is current
        // No media servers here: nothing to choose, so no OK.
        QCOMPARE(run(*in.device[1], 4, QDialogButtonBox::Ok), -1);
    }

    void loadedPlugin()
    {
        QPluginLoader loader(QStringLiteral(TOUCHSCREEN_PLUGIN_PATH));
        QCOMPARE(loader.metaData().value("IID").toString(), QStringLiteral("TouchScreenDevice"));
        auto *factory = qobject_cast<DeviceFactoryInterface *>(loader.instance());
        QVERIFY2(factory, qPrintable(loader.errorString()));
        QCOMPARE(
            factory->deviceType() + '|' + factory->deviceDisplayName(), "TouchScreen|Touch Screen");
        LM_VERIFY_SVG_ICON_DRAWN(factory->deviceIcon(), 26);
        std::unique_ptr<Device> device(factory->createDevice(false));
        QCOMPARE(device->typeName(), QStringLiteral("TouchScreen"));

        const NodeTypeRegistry &r = factory->nodeTypeRegistry(HostCallbacks());
        QCOMPARE(r.controllerFactories.size() + r.dataFactories.size(), 2);
        for (const auto &[text, name] :
            {std::pair("ba3ff828-652f-434d-bcd6-96634d9bc0f4", "On Touch"),
                std::pair("22127c73-0cf8-49f9-91d8-8d5aa096ee27", "On Touch Zone")}) {
            const QUuid id = QUuid::fromString(QLatin1String(text));
            QCOMPARE(r.controllerNames.value(id), std::string(name));
            QCOMPARE(r.controllerCategories.value(id), std::string("Devices/TouchScreen"));
            QCOMPARE(r.controllerColors.value(id), QColor(153, 102, 204, 255));
        }
    }
};

QTEST_MAIN(TestTouchScreen)
#include "tst_touchscreen.moc"
