// The window of lm_devhost --gui over a running show, with a device type and node type
// of the test's own and offscreen drawing.
#include "BoardPanel.h"
#include "ConnectionsView.h"
#include "DevHost.h"
#include "DevHostWindow.h"
#include "DeviceCard.h"
#include "DeviceFactoryInterface.h"
#include "INodeDataWidget.h"
#include "IShowNodeController.h"
#include "InstancePage.h"
#include "LogPanel.h"
#include "NodeEdits.h"
#include "NodeGraph.h"
#include "NodeTableModel.h"
#include "PropertyEditor.h"
#include "ScriptPanel.h"
#include "Show.h"
#include "ShowEditor.h"
#include "TouchCanvas.h"

#include <QAction>
#include <QApplication>
#include <QDial>
#include <QDialogButtonBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QIODevice>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <XmlWriter.h>

namespace {

const QUuid kProbeType = QUuid::fromString(u"0c1d2e3f-4a5b-4c6d-8e7f-901234567801");

// Set up without a dialog; counts its starts.
class ProbeDevice : public Device
{
public:
    explicit ProbeDevice(bool onMaster)
        : Device(onMaster)
    {
        m_typeName = QStringLiteral("Probe");
    }
    void readDom(const QDomElement &e) override
    {
        readDomBase(e, 1);
        setting = e.attribute(QStringLiteral("setting"));
    }
    void writeXml(XmlWriter &w) override
    {
        XMLNodeBaseBegin(w, 1);
        w.attribute(QStringLiteral("setting"), setting);
        XMLNodeBaseEnd(w);
    }
    void init() override { ++inits; }
    bool showSetupDialog(QWidget *) override
    {
        setting = QStringLiteral("from the dialog");
        return true;
    }
    bool isActiveOnMasterOnly() const override { return false; }
    QString setting;
    int inits = 0;
};

// An integer output that counts the announced property changes, and an integer property.
class ProbeController : public IShowNodeController
{
public:
    explicit ProbeController(Node &node)
        : IShowNodeController(kProbeType, node, false)
    { }
    const OutputSlotDescriptors &outputSlots() const override
    {
        static const OutputSlotDescriptors list {{"Changes", kIntDataTypeId, 0}};
        return list;
    }
    const PropertySlotDescriptors &propertySlots() const override
    {
        static const PropertySlotDescriptors list {
            {"Step", kIntDataTypeId, 0, std::make_shared<IntData>(1), 0}};
        return list;
    }
    void onPropertyChanged(int index) override
    {
        auto *out = outputData<IntData>(0);
        out->value += 1;
        out->defined = true;
        lastIndex = index;
    }
    int lastIndex = -1;
};

// Like the Phidget inspector, it announces a value it is given.
class ProbeWidget : public INodeDataWidget
{
public:
    using INodeDataWidget::INodeDataWidget;
    void setNodeData(const ANodeData &v) override
    {
        value = static_cast<const IntData &>(v).value;
        emit valueChanged(v, false);
    }
    void getNodeData(ANodeData &out) const override { static_cast<IntData &>(out).value = value; }
    int value = 0;
};

class ProbeFactory : public DeviceFactoryInterface
{
public:
    Device *createDevice(bool onMaster) override { return new ProbeDevice(onMaster); }
    QString deviceType() const override { return QStringLiteral("Probe"); }
    QString deviceDisplayName() const override { return deviceType(); }
    QIcon deviceIcon() const override { return QIcon(); }
    const NodeTypeRegistry &nodeTypeRegistry(const HostCallbacks &c) override
    {
        callbacks = c;
        registry.controllerFactories.insert(kProbeType, [](Node &node) -> INodeController * {
            auto *controller = new ProbeController(node);
            controller->initValues();
            return controller;
        });
        registry.controllerNames.insert(kProbeType, "Probe node");
        registry.dataWidgetFactories.insert(
            kIntDataTypeId, [](QWidget *parent) { return new ProbeWidget(parent); });
        return registry;
    }
    NodeTypeRegistry registry;
    HostCallbacks callbacks;
};

const char *const show = R"(<lumoraShow version="1" name="Gui">
  <instances><producer/><mediaServer id="1" name="Left" address="127.0.0.1">
    <output id="0" name="Main"/></mediaServer></instances>
  <devices><device type="Probe" id="1" name="P" setting="loaded"/></devices>
  <nodes><node id="3" type="0c1d2e3f-4a5b-4c6d-8e7f-901234567801" name="probe"/></nodes>
</lumoraShow>)";

ProbeController *probeOn(const Show *s)
{
    return static_cast<ProbeController *>(s->graph().node(3)->controller());
}

// Runs `answer` on the next modal dialog once it is up, from the dialog's own event loop.
void answerNextDialog(const std::function<void(QWidget *)> &answer)
{
    auto *poll = new QTimer(qApp);
    auto tries = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, [poll, tries, answer] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal && ++*tries < 250)
            return;
        poll->deleteLater();
        poll->stop();
        if (modal)
            answer(modal);
    });
    poll->start(20);
}

// Types into a line edit as a user does and presses Enter.
void typeText(QLineEdit *edit, const QString &text)
{
    edit->selectAll();
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
}

// Whether the host keeps the example show's own script or runs on none, so that nothing
// scripted meddles with what the test does.
enum class RunScript { None, TheShows };

} // namespace

// Starts `host` at 20 ms ticks on the example show `file` with the built plug-ins and the
// callbacks the window's editor needs. A macro: where the plug-in of `type` is not built the
// test function itself must skip.
#define START_EXAMPLE_SHOW(host, type, file, script)                                               \
    do {                                                                                           \
        ShowEditor::installCallbacks(host);                                                        \
        QString loadError;                                                                         \
        QVERIFY2(                                                                                  \
            host.loadPlugins(QStringLiteral(LM_PLUGIN_DIR), &loadError), qPrintable(loadError));   \
        if (!host.registry().deviceFactory(QStringLiteral(type)))                                  \
            QSKIP("the " type " plug-in is not built");                                            \
        QVERIFY2(host.loadShow(file, &loadError), qPrintable(loadError));                          \
        if ((script) == RunScript::None)                                                           \
            QVERIFY2(host.setScript(Script(), &loadError), qPrintable(loadError));                 \
        host.start(20);                                                                            \
    } while (false)

class TestDevhostGui : public QObject
{
    Q_OBJECT

    QString m_out;
    QTextStream m_stream {&m_out};
    ProbeFactory m_factory;
    std::unique_ptr<DevHost> m_host;
    std::unique_ptr<DevHostWindow> m_window;

private slots:
    void init()
    {
        m_host = std::make_unique<DevHost>(m_stream);
        ShowEditor::installCallbacks(*m_host);
        QVERIFY(m_host->registry().addFactory(&m_factory, QStringLiteral("probe")));
        QString error;
        QVERIFY2(m_host->loadShowText(show, &error), qPrintable(error));
        m_host->start(50);
        m_window = std::make_unique<DevHostWindow>(*m_host);
        m_window->editor().setRunning(true);
        m_window->show();
    }
    void cleanup()
    {
        m_window.reset();
        m_host.reset();
    }

    void listsInstancesDevicesAndLiveNodes()
    {
        QCOMPARE(m_window->pages().size(), 2);
        InstancePage *left = m_window->page(QStringLiteral("Left"));
        QVERIFY(left);
        QCOMPARE(left->deviceCards().size(), 1);
        QCOMPARE(left->deviceCards().first()->device(),
            left->show()->findDevice(QStringLiteral("Probe"), 1));
        NodeTableModel *model = left->nodeModel();
        QCOMPARE(model->rowCount(), 1);
        QCOMPARE(model->index(0, NodeTableModel::TypeColumn).data().toString(),
            QStringLiteral("Probe node"));
        const QModelIndex outputs = model->index(0, NodeTableModel::OutputsColumn);
        // Loading announced the property once.
        QCOMPARE(outputs.data().toString(), QStringLiteral("Changes = 1"));
        probeOn(left->show())->outputData<IntData>(0)->value = 41;
        m_host->evaluateAll();
        QCOMPARE(outputs.data().toString(), QStringLiteral("Changes = 41"));
    }

    void propertyEditorReachesEveryCopyAndIsSaved()
    {
        InstancePage *left = m_window->page(QStringLiteral("Left"));
        m_window->setCurrentPage(left);
        // The plug-ins resolve descriptors in the show of the tab being edited.
        QCOMPARE(m_factory.callbacks.currentShow(), left->show());
        QVERIFY(left->selectNode(3));
        m_window->pages().first()->selectNode(3);
        auto *widget = static_cast<ProbeWidget *>(left->propertyEditor()->dataWidget(0));
        QVERIFY(widget);
        QCOMPARE(widget->value, 1);
        // Showing the value announced nothing to the node.
        QCOMPARE(probeOn(left->show())->outputData<IntData>(0)->value, 1);
        QVERIFY(!m_window->isWindowModified());

        IntData seven(7);
        emit widget->valueChanged(seven, false);
        for (const auto &s : m_host->instances()) {
            QCOMPARE(probeOn(s.get())->propertyData<IntData>(0)->value, 7);
            QCOMPARE(probeOn(s.get())->outputData<IntData>(0)->value, 2);
            QCOMPARE(probeOn(s.get())->lastIndex, 0);
        }
        // The producer's tab shows the change too.
        auto *other = static_cast<ProbeWidget *>(
            m_window->pages().first()->propertyEditor()->dataWidget(0));
        QCOMPARE(other->value, 7);
        QVERIFY(m_window->isWindowModified());

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("saved.xml"));
        QString error;
        QVERIFY2(m_window->saveTo(path, &error), qPrintable(error));
        QVERIFY(!m_window->isWindowModified());
        DevHost reloaded(m_stream);
        QVERIFY(reloaded.registry().addFactory(&m_factory, QStringLiteral("probe")));
        QVERIFY2(reloaded.loadShow(path, &error), qPrintable(error));
        QCOMPARE(probeOn(reloaded.instances().front().get())->propertyData<IntData>(0)->value, 7);
    }

    void deviceSetupReachesEveryCopyAndRestartsIt()
    {
        InstancePage *left = m_window->page(QStringLiteral("Left"));
        left->deviceCards().first()->button()->click();
        for (const auto &s : m_host->instances()) {
            auto *device = static_cast<ProbeDevice *>(s->findDevice(QStringLiteral("Probe"), 1));
            QCOMPARE(device->setting, QStringLiteral("from the dialog"));
            QCOMPARE(device->inits, 2);
        }
        QVERIFY(m_host->showText().contains(QStringLiteral("setting=\"from the dialog\"")));
    }

    void canvasClickIsATouchStimulus()
    {
        QCOMPARE(m_window->canvases().size(), 1);
        TouchCanvas *canvas = m_window->canvases().first();
        // The output's 16:9 picture fills the widget below its title line.
        canvas->resize(192, 108 + TouchCanvas::kTitleHeight);
        QTest::mouseClick(canvas, Qt::LeftButton, {}, QPoint(96, TouchCanvas::kTitleHeight + 54));
        QTRY_VERIFY2(m_out.contains(QStringLiteral("[Left] touch (960, 540) on output 0 \"Main\"")),
            qPrintable(m_out));
    }

    // The Phidget plug-in on the Phidget22 stand-in, with the example show's board.
    void boardPanelDrivesTheSimulatedBoard()
    {
        DevHost host(m_stream);
        START_EXAMPLE_SHOW(host, "Phidget", QStringLiteral(LM_PHIDGET_SHOW), RunScript::None);
        QString error;
        if (!host.boards().available(&error))
            QSKIP(qPrintable(error));
        DevHostWindow window(host);
        QCOMPARE(window.boardPanels().size(), 1);
        BoardPanel *panel = window.boardPanels().first();
        QCOMPARE(panel->board().serial, 12345);
        QCOMPARE(panel->board().attachCommand(),
            QStringLiteral("attachBoard serial=12345 instance=\"Producer\" digitalInputs=4 "
                           "digitalOutputs=4 encoders=1"));
        QCOMPARE(panel->pluggedText(), QStringLiteral("unplugged"));
        panel->findChild<QPushButton *>(QStringLiteral("plugInButton"))->click();
        QTRY_VERIFY(m_out.contains(QStringLiteral("[board 12345] attached")));
        QTRY_COMPARE(panel->pluggedText(), QStringLiteral("plugged in"));

        const Show *stage = host.instance(QStringLiteral("Stage"));
        const auto output = [stage](int node, int index) {
            return DevHost::describe(
                stage->graph().node(node)->controller()->outputValues()[size_t(index)].get());
        };
        QTRY_COMPARE(output(1, 0), QStringLiteral("false"));
        panel->inputButton(0)->click();
        QTRY_COMPARE(output(1, 0), QStringLiteral("true"));
        QTRY_COMPARE(host.boards().outputState(12345, -1, 0), 1);
        // A script's event moves the toggle with it.
        QVERIFY(host.pushStimulus(
            QStringLiteral("digitalInput serial=12345 channel=0 state=0"), &error));
        QTRY_VERIFY(!panel->inputButton(0)->isChecked());
        QTRY_COMPARE(output(1, 0), QStringLiteral("false"));
        // One detent back across the dial's wrap is one count back.
        panel->encoderDial(0)->setValue(panel->encoderDial(0)->maximum());
        QTRY_COMPARE(output(3, 1), QStringLiteral("-1"));
        QTRY_VERIFY2(panel->encoderText(0).endsWith(QStringLiteral(": -1")),
            qPrintable(panel->encoderText(0)));
        panel->findChild<QPushButton *>(QStringLiteral("unplugButton"))->click();
        QTRY_COMPARE(panel->pluggedText(), QStringLiteral("unplugged"));
    }

    // The other copies read the edited device with readDom, which merges channels: one
    // deleted on one tab stayed on the others and in the saved show.
    void phidgetSetupDeletionReachesEveryCopy()
    {
        DevHost host(m_stream);
        START_EXAMPLE_SHOW(host, "Phidget", QStringLiteral(LM_PHIDGET_SHOW), RunScript::None);
        DevHostWindow window(host);
        window.editor().setRunning(true);
        const auto xmlOn = [&host](const QString &instance) {
            QString xml;
            XmlWriter writer(&xml);
            host.instance(instance)->findDevice(QStringLiteral("Phidget"), 1)->writeXml(writer);
            return xml;
        };
        QVERIFY(xmlOn(QStringLiteral("Producer")).contains(QStringLiteral("\"Button 1\"")));

        // On the Stage tab, as a user does it: channel 2 ("Button 1", no node uses it), then OK.
        QTimer::singleShot(0, [] {
            QWidget *dialog = QApplication::activeModalWidget();
            QVERIFY(dialog);
            auto *table = dialog->findChild<QTableView *>(QStringLiteral("channelsTable"));
            for (int row = 0; table && row < table->model()->rowCount(); ++row) {
                const QModelIndex index = table->model()->index(row, 0);
                if (index.data(Qt::UserRole).toInt() == 2)
                    table->setCurrentIndex(index);
            }
            dialog->findChild<QPushButton *>(QStringLiteral("deleteChannelButton"))->click();
            dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))
                ->button(QDialogButtonBox::Ok)
                ->click();
            if (dialog->isVisible())
                dialog->close();
        });
        window.page(QStringLiteral("Stage"))->deviceCards().first()->button()->click();

        const QString edited = xmlOn(QStringLiteral("Stage"));
        QVERIFY(!edited.contains(QStringLiteral("\"Button 1\"")));
        QVERIFY(edited.contains(QStringLiteral("\"Button 2\"")));
        QCOMPARE(xmlOn(QStringLiteral("Producer")), edited);
        QVERIFY(!host.showText().contains(QStringLiteral("\"Button 1\"")));
        // The Producer's tab works on the device its copy holds now.
        InstancePage *producer = window.page(QStringLiteral("Producer"));
        QCOMPARE(producer->deviceCards().first()->device(),
            producer->show()->findDevice(QStringLiteral("Phidget"), 1));

        // Its input node follows the board's events again, not only its polls.
        QString error;
        if (!host.boards().available(&error))
            return;
        QVERIFY2(host.pushStimulus(QStringLiteral("attachBoard serial=12345 instance=Producer "
                                                  "digitalInputs=4 digitalOutputs=4 encoders=1"),
                     &error),
            qPrintable(error));
        const Show *producerShow = producer->show();
        const auto value = [producerShow] {
            return DevHost::describe(
                producerShow->graph().node(1)->controller()->outputValues().front().get());
        };
        // The simulated board outlives a test: its input may be on from an earlier one.
        QTRY_VERIFY(value() != QStringLiteral("(undefined)"));
        const bool wasOn = value() == QStringLiteral("true");
        const int fired = host.firedCount(producerShow, 1, 0);
        QVERIFY2(
            host.pushStimulus(
                QStringLiteral("digitalInput serial=12345 channel=0 state=%1").arg(wasOn ? 0 : 1),
                &error),
            qPrintable(error));
        QTRY_COMPARE(value(), wasOn ? QStringLiteral("false") : QStringLiteral("true"));
        QTRY_VERIFY(host.firedCount(producerShow, 1, 0) > fired);
    }

    static QString touchShowPath()
    {
        return QFileInfo(QStringLiteral(LM_PHIDGET_SHOW))
            .dir()
            .filePath(QStringLiteral("touch.xml"));
    }

    // Once the script had run out the host stopped ticking: clicks were echoed but reached
    // no device, and nothing said the script had ended.
    void worldGoesOnAfterTheScript()
    {
        DevHost host(m_stream);
        host.setVirtualTime(true);
        host.setRunsAfterScript(true);
        START_EXAMPLE_SHOW(host, "TouchScreen", touchShowPath(), RunScript::TheShows);
        // The script ends on a later tick, in the event loop.
        QSignalSpy ended(&host, &DevHost::scriptEnded);
        DevHostWindow window(host);
        window.show();
        ScriptPanel *panel = window.scriptPanel();
        QVERIFY(panel->statusText().startsWith(QStringLiteral("Script running")));
        QVERIFY(ended.wait(10000));
        QVERIFY(host.isRunning());
        QVERIFY2(panel->statusText().startsWith(
                     QStringLiteral("Script ended. Expectations: all 10 met. At ")),
            qPrintable(panel->statusText()));
        QCOMPARE(panel->resultText(0), QStringLiteral("applied"));
        QCOMPARE(panel->resultText(1), QStringLiteral("met"));

        // A click on Left's main output, as a user makes it.
        TouchCanvas *canvas = window.canvases().first();
        canvas->resize(192, 108 + TouchCanvas::kTitleHeight);
        QTest::mouseClick(canvas, Qt::LeftButton, {}, QPoint(96, TouchCanvas::kTitleHeight + 54));
        const Show *left = host.instance(QStringLiteral("Left"));
        QTRY_COMPARE(
            DevHost::describe(left->graph().node(1)->controller()->outputValues().front().get()),
            QStringLiteral("(960, 540)"));
        QVERIFY(m_out.contains(
            QStringLiteral("[Left] node 1 \"Any touch\": output \"Position\" = (960, 540)")));
    }

    // The corner typed on one tab reaches every copy's node, is drawn on the output the
    // zone's device watches, decides the next touch and is saved.
    void zoneCornerEditedAsAUserDoes()
    {
        DevHost host(m_stream);
        START_EXAMPLE_SHOW(host, "TouchScreen", touchShowPath(), RunScript::None);
        DevHostWindow window(host);
        window.editor().setRunning(true);
        window.show();
        QCOMPARE(window.canvases().size(), 3);
        TouchCanvas *main = window.canvases()[0];
        QCOMPARE(main->server(), 1);
        QCOMPARE(main->output(), 0);
        // Only Left's main output has a touch screen device, so a zone.
        QCOMPARE(main->zones().size(), 1);
        QCOMPARE(main->zones().first().name, QStringLiteral("Zone"));
        QCOMPARE(main->zones().first().topLeft, QPointF(50, 150));
        QCOMPARE(main->zones().first().bottomRight, QPointF(400, 300));
        QVERIFY(window.canvases()[1]->zones().isEmpty());
        QVERIFY(window.canvases()[2]->zones().isEmpty());

        InstancePage *right = window.page(QStringLiteral("Right"));
        window.setCurrentPage(right);
        QVERIFY(right->selectNode(2));
        INodeDataWidget *topLeft = right->propertyEditor()->inputWidget(0);
        INodeDataWidget *bottomRight = right->propertyEditor()->inputWidget(1);
        QVERIFY(topLeft && bottomRight);
        typeText(
            topLeft->findChild<QDoubleSpinBox *>(QStringLiteral("xBox"))->findChild<QLineEdit *>(),
            QStringLiteral("500"));
        typeText(bottomRight->findChild<QDoubleSpinBox *>(QStringLiteral("xBox"))
                     ->findChild<QLineEdit *>(),
            QStringLiteral("800"));
        for (const auto &s : host.instances()) {
            const auto &inputs = s->graph().node(2)->controller()->inputValues();
            QCOMPARE(DevHost::describe(inputs[0].get()), QStringLiteral("(500, 150)"));
            QCOMPARE(DevHost::describe(inputs[1].get()), QStringLiteral("(800, 300)"));
        }
        QVERIFY(window.isWindowModified());
        QCOMPARE(main->zones().first().topLeft, QPointF(500, 150));
        NodeTableModel *model = right->nodeModel();
        QCOMPARE(model->index(model->rowOfNode(2), NodeTableModel::InputsColumn).data().toString(),
            QStringLiteral("Top Left = (500, 150), Bottom Right = (800, 300)"));

        // Inside the new zone, outside the old one; the canvas shows the host's touch.
        QString error;
        QVERIFY(host.pushStimulus(QStringLiteral("touch server=1 output=0 x=600 y=200"), &error));
        const Show *left = host.instance(QStringLiteral("Left"));
        QTRY_COMPARE(host.firedCount(left, 2, 0), 1);
        QVERIFY(main->hasTouch());
        QCOMPARE(main->lastTouch(), QPointF(600, 200));
        QVERIFY(!window.canvases()[1]->hasTouch());
        QVERIFY(host.showText().contains(
            QStringLiteral("<userDefaultInputValue index=\"0\" x=\"500\" y=\"150\"/>")));
    }

    // A name typed on one tab renames the node on every copy, in the tables, the connection
    // lists and the saved show; an input fed by a connection says so instead of an editor.
    void nodeRenamedAndConnectionsListed()
    {
        DevHost host(m_stream);
        START_EXAMPLE_SHOW(host, "Phidget", QStringLiteral(LM_PHIDGET_SHOW), RunScript::None);
        DevHostWindow window(host);
        window.show();
        InstancePage *producer = window.page(QStringLiteral("Producer"));
        InstancePage *stage = window.page(QStringLiteral("Stage"));
        QCOMPARE(producer->connectionsView()->rowTexts(),
            QStringList({QStringLiteral("1 \"Button 0\" · Value -> 2 \"Lamp 0\" · Value (value)"),
                QStringLiteral("1 \"Button 0\" · Changed -> 2 \"Lamp 0\" · Set (trigger)")}));

        QVERIFY(stage->selectNode(1));
        typeText(stage->propertyEditor()->nameEdit(), QStringLiteral("Big button"));
        for (const auto &s : host.instances())
            QCOMPARE(s->graph().node(1)->name(), QStringLiteral("Big button"));
        QVERIFY(window.isWindowModified());
        NodeTableModel *model = producer->nodeModel();
        QCOMPARE(model->index(model->rowOfNode(1), NodeTableModel::NameColumn).data().toString(),
            QStringLiteral("Big button"));
        QVERIFY2(producer->connectionsView()->rowTexts().first().startsWith(
                     QStringLiteral("1 \"Big button\" · Value -> ")),
            qPrintable(producer->connectionsView()->rowTexts().join(QLatin1Char('\n'))));
        QVERIFY(host.showText().contains(QStringLiteral("name=\"Big button\"")));

        QVERIFY(stage->selectNode(2));
        QVERIFY(!stage->propertyEditor()->inputWidget(0));
        const auto *fed = stage->propertyEditor()->findChild<QLineEdit *>(QStringLiteral("input0"));
        QVERIFY(fed && fed->isReadOnly());
        QVERIFY2(fed->text().startsWith(QStringLiteral("from node 1 \"Big button\": ")),
            qPrintable(fed->text()));
    }

    // The console lines and the Qt messages of any thread, and the message handler as it
    // was once the window is gone.
    void logPanelShowsTheRunAsItGoes()
    {
        m_window.reset();
        const QtMessageHandler before = qInstallMessageHandler(nullptr);
        qInstallMessageHandler(before);
        {
            DevHostWindow window(*m_host);
            m_host->print(QStringLiteral("a console line"));
            QVERIFY(window.logPanel()->lines().contains(QStringLiteral("a console line")));
            QThread *thread = QThread::create([] { qWarning("[PROBE] from a thread"); });
            thread->start();
            QVERIFY(thread->wait(5000));
            delete thread;
            QTRY_VERIFY(
                window.logPanel()->lines().filter(QStringLiteral("[PROBE] from a thread")).size()
                == 1);
        }
        const QtMessageHandler after = qInstallMessageHandler(nullptr);
        qInstallMessageHandler(after);
        QVERIFY(after == before);
    }

    // File > Open and Reload as a user works them: a file that is no show leaves the run
    // alone, unsaved changes are asked about, the dialog starts in the show's folder.
    void openAndReloadFromTheFileMenu()
    {
        QTemporaryDir dir;
        const auto write = [&dir](const QString &name, const QByteArray &text) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(text);
        };
        const QByteArray text = show;
        write(QStringLiteral("broken.xml"), text.left(text.size() / 2));
        QList<InstancePage *> pages = m_window->pages();
        QString error;
        QVERIFY(!m_window->openShow(dir.filePath(QStringLiteral("broken.xml")), &error));
        QVERIFY2(error.contains(QStringLiteral("line")), qPrintable(error));
        QCOMPARE(m_window->pages(), pages);
        QVERIFY(m_host->isRunning());

        write(QStringLiteral("other.xml"),
            QByteArray(show).replace("name=\"probe\"", "name=\"opened\""));
        QVERIFY2(m_window->openShow(dir.filePath(QStringLiteral("other.xml")), &error),
            qPrintable(error));
        QCOMPARE(m_window->pages().size(), 2);
        QCOMPARE(m_window->pages().first()->show(), m_host->instances().front().get());
        QCOMPARE(m_host->instances().front()->graph().node(3)->name(), QStringLiteral("opened"));
        QVERIFY(m_host->isRunning());

        write(QStringLiteral("other.xml"),
            QByteArray(show).replace("name=\"probe\"", "name=\"on disk\""));
        QVERIFY(m_window->nodeEdits().renameNode(3, QStringLiteral("edited")));
        QVERIFY(m_window->isWindowModified());
        auto *reload = m_window->findChild<QAction *>(QStringLiteral("actionReload"));
        QVERIFY(reload && reload->isEnabled());
        bool asked = false;
        answerNextDialog([&asked](QWidget *dialog) {
            auto *box = qobject_cast<QMessageBox *>(dialog);
            asked = box != nullptr;
            if (box)
                box->button(QMessageBox::Discard)->click();
            else
                dialog->close();
        });
        reload->trigger();
        QVERIFY(asked);
        QCOMPARE(m_host->instances().front()->graph().node(3)->name(), QStringLiteral("on disk"));
        QVERIFY(!m_window->isWindowModified());

        QString startedIn;
        answerNextDialog([&startedIn](QWidget *dialog) {
            if (auto *files = qobject_cast<QFileDialog *>(dialog))
                startedIn = files->directory().absolutePath();
            dialog->close();
        });
        m_window->findChild<QAction *>(QStringLiteral("actionOpen"))->trigger();
        QCOMPARE(startedIn, QDir(dir.path()).absolutePath());
    }

    void guiNeedsADisplayOrOffscreen()
    {
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("empty.xml")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(R"(<lumoraShow version="1"/>)");
        file.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        const QStringList common {
            file.fileName(), QStringLiteral("--plugins"), dir.path(), QStringLiteral("--gui")};
        QProcess process;
        process.setProcessEnvironment(env);
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
        process.start(QStringLiteral(LM_DEVHOST), common);
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), 1);
        QVERIFY(process.readAllStandardError().contains("--gui needs a display"));
#endif
        // Windows always has its desktop to draw on; only X11 and Wayland can be missing.

        const QString shots = dir.filePath(QStringLiteral("shots"));
        process.start(QStringLiteral(LM_DEVHOST),
            common
                + QStringList {QStringLiteral("--offscreen"), QStringLiteral("--screenshot"), shots,
                    QStringLiteral("--for"), QStringLiteral("0.5")});
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), 0);
        const QImage window(shots + QStringLiteral("/window.png"));
        QVERIFY(window.width() >= 800 && window.height() >= 500);
    }
};

QTEST_MAIN(TestDevhostGui)
#include "tst_devhost_gui.moc"
