#include "phidget_bridge.h"
#include "phidget_channel_inspector.h"
#include "phidget_channel_picker.h"
#include "phidget_channels_model.h"
#include "phidget_controllers.h"
#include "phidget_device_setup.h"

#include <DevicePluginTraits.h>
#include <INodeController.h>
#include <NodeGraph.h>
#include <Show.h>

#include <QApplication>
#include <QPointer>
#include <QSortFilterProxyModel>
#include <QSpinBox>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <limits>

Q_DECLARE_METATYPE(LM_PhidgetChannel)

namespace {
LM_PhidgetChannel channel(const QString &name, int type, int hubPort = -1, int number = -1)
{
    return {name, hubPort, number, false, LM_PhidgetChannelType(type)};
}

// Runs `act` on the modal dialog once the event loop shows it; a failed check inside
// `act` leaves the dialog open, so it is rejected then.
template<class Dialog>
void onModal(std::function<void(Dialog *)> act)
{
    QTimer::singleShot(0, [act] {
        auto *dialog = qobject_cast<Dialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        act(dialog);
        if (dialog->isVisible())
            dialog->reject();
    });
}

void press(QDialog *dialog, QDialogButtonBox::StandardButton which = QDialogButtonBox::Ok)
{
    dialog->findChild<QDialogButtonBox *>("buttonBox")->button(which)->click();
}

// The editor that the delegate opens on a cell, as a double click would.
template<class Editor>
Editor *openEditor(QTableView *view, const QModelIndex &index)
{
    view->setCurrentIndex(index);
    view->edit(index);
    return view->viewport()->findChild<Editor *>();
}

// Return commits; the view closes the editor queued and deletes it later.
void commit(QWidget *editor)
{
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QList<int> ids(const QAbstractItemModel *model)
{
    QList<int> values;
    for (int row = 0; model && row < model->rowCount(); ++row)
        values << model->index(row, 0).data(Qt::UserRole).toInt();
    return values;
}

void clickRow(QAbstractItemView *view, int row, bool twice = false)
{
    const QPoint at = view->visualRect(view->model()->index(row, 0)).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
    if (twice)
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
}

struct Fixture
{
    NodeTypeRegistry registry;
    Show show {registry};
    int valueChanges = 0;
    bool lastDragging = true;

    PhidgetDevice *addDevice(
        const QString &name, const PhidgetChannelMap &channels = {}, int32_t mediaServer = 0)
    {
        auto *device = new PhidgetDevice(true);
        device->setName(name);
        device->setDeviceNumber(-1); // the show numbers it
        device->setConfig({-1, mediaServer, QStringLiteral("127.0.0.9"), channels});
        show.addDevice(device);
        return device;
    }

    // Rack: inputs 1 and 4, an output and a channel of no type; Desk: an input and an encoder.
    void addRackAndDesk()
    {
        rack = addDevice("Rack",
            {{1, channel("In A", 5)}, {2, channel("Out", 6)}, {3, channel("New", 0)},
                {4, channel("In B", 5)}});
        desk = addDevice("Desk", {{7, channel("Key", 5)}, {9, channel("Wheel", 8)}});
    }
    PhidgetDevice *rack = nullptr;
    PhidgetDevice *desk = nullptr;

    // Made by the plug-in's registered widget factory, as the host makes it.
    std::unique_ptr<PhidgetChannelInspector> inspector()
    {
        NodeTypeRegistry plugin;
        HostCallbacks callbacks;
        callbacks.currentShow = [this] { return &show; };
        DevicePlugin::traits().fillRegistry(plugin, callbacks);
        std::unique_ptr<PhidgetChannelInspector> widget(qobject_cast<PhidgetChannelInspector *>(
            plugin.dataWidgetFactories.value(kPhidgetChannelDataTypeId)(nullptr)));
        QObject::connect(widget.get(), &INodeDataWidget::valueChanged, widget.get(),
            [this](const ANodeData &, bool dragging) {
                ++valueChanges;
                lastDragging = dragging;
            });
        return widget;
    }
};

PhidgetChannelData designate(const Device *device, int32_t id, int32_t type)
{
    PhidgetChannelData value(type, id);
    value.device = DeviceDescriptorData(device->typeName(), device->deviceNumber());
    return value;
}

PhidgetChannelData shownBy(const PhidgetChannelInspector &inspector)
{
    PhidgetChannelData value;
    inspector.getNodeData(value);
    return value;
}

// The label's text; its tooltip, which the narrow label needs, must say the same.
QString label(const QWidget &inspector)
{
    const auto *name = inspector.findChild<QLabel *>("channelName");
    return name->toolTip() == name->text() ? name->text()
                                           : QStringLiteral("tooltip \"%1\"").arg(name->toolTip());
}
} // namespace

class TestPhidgetUi : public QObject
{
    Q_OBJECT

private slots:
    void modelHeadersAndFlags();
    void modelCells_data();
    void modelCells();
    void modelEditsACopy();
    void addChannelTakesTheNextId_data();
    void addChannelTakesTheNextId();
    void delegateEditors();
    void addedChannelsTakeNewIds();
    void deleteTakesTheShownRowOfTheSortedTable();
    void cancelKeepsTheChannels();
    void applyFailsOnceTheDeviceIsGone();
    void serverList();
    void addressOnlyForTheProducer();
    void serialNumberInput_data();
    void serialNumberInput();
    void acceptedSetupStoresServerAndName();
    void okOnlyWhileValuesAreInRange_data();
    void okOnlyWhileValuesAreInRange();
    void deletingAUsedChannelAsks();
    void inspectorTakesChannelDataOnly();
    void inspectorLabel_data();
    void inspectorLabel();
    void inspectorClearButton();
    void pickerChoosesAChannel();
    void pickerWithoutAChannelLeavesItAlone();
    void inspectorDroppedWhileItsPickerIsOpen();
    void pickerOfADeletedShow();
    void pickerWithoutDevices_data();
    void pickerWithoutDevices();
};

namespace {
// Ids 3, 9 and 12; 3 is a VINT digital input.
PhidgetChannelMap modelMap()
{
    PhidgetChannelMap map {
        {3, channel("In", 5, -1, 2)}, {9, channel("Enc", 8, 1)}, {12, channel("Odd", 0)}};
    map[3].isVINTDigital = true;
    return map;
}
} // namespace

void TestPhidgetUi::modelHeadersAndFlags()
{
    PhidgetChannelsModel model(modelMap());
    QCOMPARE(model.columnCount(model.index(0, 0)), 5);
    QCOMPARE(model.lastId(), 12);
    const QStringList headers {"Name", "Hub Port", "Channel", "Vint Digital", "Type"};
    for (int c = 0; c < 5; ++c)
        QCOMPARE(model.headerData(c, Qt::Horizontal).toString(), headers[c]);
    QVERIFY(!model.headerData(0, Qt::Vertical).isValid());
    QVERIFY(!model.headerData(0, Qt::Horizontal, Qt::EditRole).isValid());
    QCOMPARE(model.flags(QModelIndex()), Qt::NoItemFlags);
}

void TestPhidgetUi::modelCells_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<QVariant>("display");
    QTest::addColumn<QVariant>("edit");
    QTest::addColumn<int>("id");

    const QVariantList display {"In", "Unspecified", "2", true, "DIGITAL_INPUT", "Enc", "1",
        "Unspecified", false, "ENCODER", "Odd", "Unspecified", "Unspecified", false, "UNKNOWN"};
    const QVariantList edit {"In", -1, 2, true, 5, "Enc", 1, -1, false, 8, "Odd", -1, -1, false, 0};
    for (int i = 0; i < display.size(); ++i) {
        QTest::addRow("%d,%d", i / 5, i % 5)
            << i / 5 << i % 5 << display[i] << edit[i] << QList<int>({3, 9, 12})[i / 5];
    }
}

void TestPhidgetUi::modelCells()
{
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(QVariant, display);
    QFETCH(QVariant, edit);
    QFETCH(int, id);
    PhidgetChannelsModel model(modelMap());
    const QModelIndex index = model.index(row, column);
    QCOMPARE(index.data(Qt::DisplayRole), display);
    QCOMPARE(index.data(Qt::EditRole), edit);
    QCOMPARE(index.data(Qt::UserRole), QVariant(id));
    QCOMPARE(index.data(Qt::TextAlignmentRole), QVariant(132));
    QVERIFY(model.flags(index) & Qt::ItemIsEditable);
}

void TestPhidgetUi::modelEditsACopy()
{
    PhidgetChannelMap map = modelMap();
    const PhidgetChannelMap original = map;
    PhidgetChannelsModel model(map);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QVERIFY(!model.setData(model.index(0, 0), "Door", Qt::DisplayRole));
    const QVariantList values {"Door", 4, 7, false, 6};
    for (int c = 0; c < 5; ++c)
        QVERIFY(model.setData(model.index(0, c), values[c]));
    QCOMPARE(changed.size(), 5);
    QCOMPARE(changed.last().at(2).value<QList<int>>(), QList<int> {Qt::EditRole});
    QCOMPARE(model.channels().value(3), channel("Door", 6, 4, 7));
    QCOMPARE(map, original); // the caller's map is untouched
}

void TestPhidgetUi::addChannelTakesTheNextId_data()
{
    QTest::addColumn<PhidgetChannelMap>("channels");
    QTest::addColumn<int>("id"); // -9: none added
    QTest::addColumn<QString>("name"); // the new channel's; empty: not checked

    QTest::newRow("empty") << PhidgetChannelMap() << 1 << "Channel 2";
    // -1 is a real id here, not a failure; above the greatest id nothing is left.
    QTest::newRow("negative") << PhidgetChannelMap({{-2, channel("Low", 5)}}) << -1 << "";
    QTest::newRow("full") << PhidgetChannelMap(
        {{std::numeric_limits<int32_t>::max(), channel("Top", 5)}})
                          << -9 << "";
}

void TestPhidgetUi::addChannelTakesTheNextId()
{
    QFETCH(PhidgetChannelMap, channels);
    QFETCH(int, id);
    QFETCH(QString, name);
    PhidgetChannelsModel model(channels);
    const auto added = model.addChannel();
    if (id == -9) {
        QVERIFY(!added);
        return;
    }
    QCOMPARE(added.value_or(-9), id);
    if (!name.isEmpty())
        QCOMPARE(model.channels().value(id), channel(name, 0));
}

void TestPhidgetUi::delegateEditors()
{
    Fixture fixture;
    PhidgetDevice *device = fixture.addDevice("Rack", {{4, channel("Old", 0, 2)}});
    onModal<PhidgetDeviceSetup>([](PhidgetDeviceSetup *dialog) {
        QTableView *table = dialog->channelsTable;
        const auto cell = [table](int column) { return table->model()->index(0, column); };
        auto *spin = openEditor<QSpinBox>(table, cell(1));
        QVERIFY(spin);
        QCOMPARE(spin->value(), 2);
        QTest::keyClick(spin, Qt::Key_PageDown); // stops at the minimum
        QCOMPARE(spin->text(), QStringLiteral("Unspecified"));
        commit(spin);
        QCOMPARE(cell(1).data().toString(), QStringLiteral("Unspecified"));

        spin = openEditor<QSpinBox>(table, cell(2));
        spin->findChild<QLineEdit *>()->selectAll();
        QTest::keyClicks(spin, "12");
        commit(spin);

        auto *combo = openEditor<QComboBox>(table, cell(4));
        QVERIFY(combo);
        QCOMPARE(combo->currentText(), QStringLiteral("DIGITAL_INPUT")); // type 0 is no item
        commit(combo);
        QCOMPARE(cell(4).data(Qt::EditRole).toInt(), 5);
        combo = openEditor<QComboBox>(table, cell(4));
        QTest::keyClick(combo, Qt::Key_End);
        commit(combo);

        auto *line = openEditor<QLineEdit>(table, cell(0));
        line->selectAll();
        QTest::keyClicks(line, "Wheel");
        commit(line);
        press(dialog);
    });
    QVERIFY(device->showSetupDialog(nullptr));
    QCOMPARE(device->config().channels, PhidgetChannelMap({{4, channel("Wheel", 8, -1, 12)}}));
}

void TestPhidgetUi::addedChannelsTakeNewIds()
{
    Fixture fixture;
    PhidgetDevice *device = fixture.addDevice("Rack", {{3, channel("B", 5)}, {9, channel("A", 6)}});
    onModal<PhidgetDeviceSetup>([](PhidgetDeviceSetup *dialog) {
        dialog->addChannelButton->click();
        dialog->addChannelButton->click();
        QCOMPARE(ids(dialog->channelsTable->model()), QList<int>({3, 9, 10, 11}));
        clickRow(dialog->channelsTable, 3);
        dialog->deleteChannelButton->click();
        dialog->addChannelButton->click();
        QCOMPARE(ids(dialog->channelsTable->model()), QList<int>({3, 9, 10, 12})); // 11 not reused
        QAbstractItemModel *model = dialog->channelsTable->model();
        for (int row : {2, 3}) // a new channel has no type yet
            model->setData(model->index(row, PhidgetChannelsModel::TypeColumn), LM_ENCODER);
        press(dialog);
    });
    QVERIFY(device->showSetupDialog(nullptr));
    const PhidgetChannelMap accepted = device->config().channels;
    QCOMPARE(accepted.value(10), channel("Channel 11", LM_ENCODER));
    QCOMPARE(accepted.value(12).name, QStringLiteral("Channel 13"));
}

namespace {
// The channels as addedChannelsTakeNewIds leaves them.
const PhidgetChannelMap kSortable {{3, channel("B", 5)}, {9, channel("A", 6)},
    {10, channel("Channel 11", LM_ENCODER)}, {12, channel("Channel 13", LM_ENCODER)}};
} // namespace

void TestPhidgetUi::deleteTakesTheShownRowOfTheSortedTable()
{
    Fixture fixture;
    PhidgetDevice *device = fixture.addDevice("Rack", kSortable);
    onModal<PhidgetDeviceSetup>([](PhidgetDeviceSetup *dialog) {
        QTableView *table = dialog->channelsTable;
        const auto *proxy = qobject_cast<QSortFilterProxyModel *>(table->model());
        QCOMPARE(table->columnWidth(0), 120);
        QHeaderView *header = table->horizontalHeader();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(5, header->height() / 2));
        const bool ascending = header->sortIndicatorOrder() == Qt::AscendingOrder;
        QCOMPARE(ids(proxy), ascending ? QList<int>({9, 3, 10, 12}) : QList<int>({12, 10, 3, 9}));
        clickRow(table, 0);
        dialog->deleteChannelButton->click(); // the shown row, not source row 0
        QCOMPARE(ids(proxy->sourceModel()),
            ascending ? QList<int>({3, 10, 12}) : QList<int>({3, 9, 10}));
        press(dialog, QDialogButtonBox::Cancel);
    });
    QVERIFY(!device->showSetupDialog(nullptr));
}

void TestPhidgetUi::cancelKeepsTheChannels()
{
    Fixture fixture;
    PhidgetDevice *device = fixture.addDevice("Rack", kSortable);
    const PhidgetChannelMap accepted = device->config().channels;
    onModal<PhidgetDeviceSetup>([](PhidgetDeviceSetup *dialog) {
        QTableView *table = dialog->channelsTable;
        clickRow(table, 0);
        dialog->deleteChannelButton->click();
        dialog->addChannelButton->click();
        table->model()->setData(table->model()->index(0, 0), "x");
        press(dialog, QDialogButtonBox::Cancel);
    });
    QVERIFY(!device->showSetupDialog(nullptr));
    QCOMPARE(device->config().channels, accepted);
}

void TestPhidgetUi::applyFailsOnceTheDeviceIsGone()
{
    Fixture fixture;
    PhidgetDevice *device = fixture.addDevice("Rack", kSortable);
    PhidgetDeviceSetup open(device);
    QVERIFY(fixture.show.removeDevice(device->typeName(), device->deviceNumber()));
    QVERIFY(!open.apply()); // the device went while the dialog was open
}

namespace {
// Media servers 2 ("Stage") and 5 ("Booth %2") beside the producer.
void addServers(Fixture &fixture)
{
    fixture.show.addMediaServer(std::make_unique<Screen>(2, "Stage", "127.0.0.2"));
    fixture.show.addMediaServer(std::make_unique<Screen>(5, "Booth %2", "127.0.0.5"));
}
} // namespace

void TestPhidgetUi::serverList()
{
    Fixture fixture;
    addServers(fixture);
    PhidgetDevice *gone = fixture.addDevice("Gone", {}, 7);
    onModal<PhidgetDeviceSetup>([](PhidgetDeviceSetup *dialog) {
        QComboBox *servers = dialog->serverComboBox;
        QCOMPARE(servers->itemText(0), QStringLiteral("Producer"));
        QCOMPARE(servers->itemText(2), QStringLiteral("Booth %2 / 127.0.0.5"));
        QCOMPARE(ids(servers->model()), QList<int>({0, 2, 5}));
        QCOMPARE(servers->currentIndex(), -1); // media server 7 is gone
        QVERIFY(!dialog->producerAddressWidget->isEnabled());
        press(dialog);
    });
    QVERIFY(gone->showSetupDialog(nullptr));
    QCOMPARE(gone->config().mediaServerId, 0);
}

void TestPhidgetUi::addressOnlyForTheProducer()
{
    Fixture fixture;
    addServers(fixture);
    PhidgetDevice *local = fixture.addDevice("Local");
    onModal<PhidgetDeviceSetup>([](PhidgetDeviceSetup *dialog) {
        QComboBox *servers = dialog->serverComboBox;
        QWidget *address = dialog->producerAddressWidget;
        QVERIFY(address->isEnabled());
        QTest::keyClick(servers, Qt::Key_Down);
        QVERIFY(!address->isEnabled());
        QTest::keyClick(servers, Qt::Key_Up);
        QVERIFY(address->isEnabled());
        press(dialog, QDialogButtonBox::Cancel);
    });
    QVERIFY(!local->showSetupDialog(nullptr));
}

void TestPhidgetUi::serialNumberInput_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("serial");

    QTest::newRow("cleared") << "" << true << 0;
    QTest::newRow("sign and separator refused") << "-3,1" << true << 31;
    QTest::newRow("above the top: no OK") << "2147483648" << false << -1;
}

void TestPhidgetUi::serialNumberInput()
{
    QFETCH(QString, typed);
    QFETCH(bool, accepted);
    QFETCH(int, serial);
    Fixture fixture;
    PhidgetDevice *device = fixture.addDevice("Local");
    onModal<PhidgetDeviceSetup>([typed](PhidgetDeviceSetup *dialog) {
        QCOMPARE(dialog->serialNumberLineEdit->text(), QStringLiteral("-1"));
        dialog->serialNumberLineEdit->clear();
        QTest::keyClicks(dialog->serialNumberLineEdit, typed);
        press(dialog);
    });
    QCOMPARE(device->showSetupDialog(nullptr), accepted);
    QCOMPARE(device->config().serialNumber, serial);
}

void TestPhidgetUi::acceptedSetupStoresServerAndName()
{
    Fixture fixture;
    addServers(fixture);
    PhidgetDevice *local = fixture.addDevice("Local");
    onModal<PhidgetDeviceSetup>([](PhidgetDeviceSetup *dialog) {
        QTest::keyClick(dialog->serverComboBox, Qt::Key_End);
        QTest::keyClicks(dialog->nameLineEdit, " 2");
        press(dialog);
    });
    QVERIFY(local->showSetupDialog(nullptr));
    QCOMPARE(local->name(), QStringLiteral("Local 2"));
    QCOMPARE(local->config().mediaServerId, 5);
    QCOMPARE(local->config().producerServerAddress, QStringLiteral("127.0.0.9")); // kept
}

void TestPhidgetUi::okOnlyWhileValuesAreInRange_data()
{
    QTest::addColumn<QString>("serial");
    QTest::addColumn<int>("server"); // index in the combo box; 0 is the producer
    QTest::addColumn<QString>("address");
    QTest::addColumn<LM_PhidgetChannel>("channel");
    QTest::addColumn<QString>("problem"); // empty: OK is enabled

    const LM_PhidgetChannel input = channel("In", LM_DIGITAL_INPUT, 2, 0);
    QTest::newRow("in range") << "12345" << 0 << "127.0.0.1" << input << "";
    QTest::newRow("any board, no serial, IPv6 with spaces")
        << "-1" << 0 << " ::1 " << channel("Out", LM_DIGITAL_OUTPUT) << "";
    QTest::newRow("serial above the top")
        << "2147483648" << 0 << "127.0.0.1" << input
        << "Serial number \"2147483648\": not from 0 to 2147483647 (or -1, any board)";
    QTest::newRow("serial below -1")
        << "-2" << 0 << "127.0.0.1" << input
        << "Serial number \"-2\": not from 0 to 2147483647 (or -1, any board)";
    QTest::newRow("host name") << "1" << 0 << "board.local" << input
                               << "IP Address \"board.local\": not an IPv4 or IPv6 address";
    QTest::newRow("no address") << "1" << 0 << "" << input
                                << "IP Address \"\": not an IPv4 or IPv6 address";
    QTest::newRow("media server brings its address") << "1" << 1 << "" << input << "";
    QTest::newRow("type UNKNOWN")
        << "1" << 0 << "127.0.0.1" << channel("New", 0)
        << "Channel \"New\" (id 4): type UNKNOWN; choose DIGITAL_INPUT, DIGITAL_OUTPUT or ENCODER";
    QTest::newRow("hub port below -1") << "1" << 0 << "127.0.0.1" << channel("In", 5, -2)
                                       << "Channel \"In\" (id 4): hub port -2 is below -1";
    QTest::newRow("channel below -1") << "1" << 0 << "127.0.0.1" << channel("In", 5, -1, -7)
                                      << "Channel \"In\" (id 4): channel -7 is below -1";
}

void TestPhidgetUi::okOnlyWhileValuesAreInRange()
{
    QFETCH(QString, serial);
    QFETCH(int, server);
    QFETCH(QString, address);
    QFETCH(LM_PhidgetChannel, channel);
    QFETCH(QString, problem);
    Fixture fixture;
    fixture.show.addMediaServer(std::make_unique<Screen>(2, "Stage", "127.0.0.2"));
    PhidgetDevice *device = fixture.addDevice("Rack", {{4, channel}});
    const PhidgetDeviceConfig before = device->config();
    PhidgetDeviceSetup dialog(device);
    QPushButton *ok = dialog.buttonBox->button(QDialogButtonBox::Ok);
    // Checked as it opens too: the stored serial number (-1) and address are in range.
    QCOMPARE(ok->isEnabled(), !problem.startsWith("Channel"));
    dialog.serverComboBox->setCurrentIndex(server);
    dialog.serialNumberLineEdit->setText(serial);
    dialog.producerAddressLineEdit->setText(address);
    QCOMPARE(dialog.problems().join('\n'), problem);
    QCOMPARE(ok->isEnabled(), problem.isEmpty());
    QCOMPARE(dialog.problemLabel->text(), problem);
    QCOMPARE(dialog.apply(), problem.isEmpty());
    if (!problem.isEmpty())
        QCOMPARE(device->config().serialNumber, before.serialNumber); // nothing applied
}

void TestPhidgetUi::deletingAUsedChannelAsks()
{
    Fixture fixture;
    HostCallbacks callbacks;
    callbacks.currentShow = [&fixture] { return &fixture.show; };
    DevicePlugin::traits().fillRegistry(fixture.registry, callbacks);
    PhidgetDevice *rack
        = fixture.addDevice("Rack", {{3, channel("Door", 5)}, {5, channel("Bell", 5)}});
    PhidgetDevice *desk = fixture.addDevice("Desk", {{5, channel("Key", 5)}});
    const auto bind = [&fixture](const QString &name, const Device *device, int channelId) {
        Node *node
            = fixture.show.graph().createNode(PhidgetDigitalInputController::s_controllerType);
        node->setName(name);
        node->controller()->propertyValues()[0]->setValue(designate(device, channelId, 5));
    };
    bind("Front door", rack, 3);
    bind("", rack, 3);
    bind("Desk key", desk, 5); // channel 5 of another device

    PhidgetDeviceSetup dialog(rack);
    QStringList asked;
    bool answer = false;
    dialog.setDeleteQuestion([&](const QString &text) {
        asked << text;
        return answer;
    });
    const auto deleteRow = [&dialog](int row) {
        dialog.channelsTable->setCurrentIndex(dialog.channelsTable->model()->index(row, 0));
        dialog.deleteChannelButton->click();
        return ids(dialog.channelsTable->model());
    };
    QCOMPARE(deleteRow(0), QList<int>({3, 5})); // answered no
    QCOMPARE(asked,
        QStringList {"The channel \"Door\" (id 3) is used by \"Front door\" (node 1), node 2. "
                     "Delete it? Those nodes then do nothing until they are given another "
                     "channel."});
    answer = true;
    QCOMPARE(deleteRow(0), QList<int>({5}));
    QCOMPARE(deleteRow(0), QList<int>()); // no node of this device uses it: not asked
    QCOMPARE(asked.size(), 2);
}

void TestPhidgetUi::inspectorTakesChannelDataOnly()
{
    Fixture fixture;
    fixture.addRackAndDesk();
    auto inspector = fixture.inspector();
    QCOMPARE(inspector->size(), QSize(140, 16));
    inspector->setNodeData(designate(fixture.desk, 9, 8));
    QCOMPARE(fixture.valueChanges, 1);
    QVERIFY(!fixture.lastDragging);
    inspector->setNodeData(BoolData(true)); // another kind: ignored
    QCOMPARE(fixture.valueChanges, 1);
}

void TestPhidgetUi::inspectorLabel_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("deleted"); // channel 9 deleted from the desk first
    QTest::addColumn<QString>("text");

    QTest::newRow("encoder") << 9 << 8 << false << "Desk/Wheel";
    QTest::newRow("deleted channel") << 9 << 8 << true << "Desk/Invalid Channel";
    QTest::newRow("input") << 7 << 5 << true << "Desk/Key";
}

void TestPhidgetUi::inspectorLabel()
{
    QFETCH(int, id);
    QFETCH(int, type);
    QFETCH(bool, deleted);
    QFETCH(QString, text);
    Fixture fixture;
    fixture.addRackAndDesk();
    auto inspector = fixture.inspector();
    if (deleted) {
        PhidgetDeviceConfig config = fixture.desk->config();
        config.channels.remove(9); // as the setup dialog's delete does
        fixture.desk->setConfig(config);
    }
    inspector->setNodeData(designate(fixture.desk, id, type));
    QCOMPARE(label(*inspector), text);
}

void TestPhidgetUi::inspectorClearButton()
{
    Fixture fixture;
    fixture.addRackAndDesk();
    auto inspector = fixture.inspector();
    inspector->setNodeData(designate(fixture.desk, 9, 8)); // the first change
    inspector->findChild<QPushButton *>("clearButton")->click();
    QCOMPARE(label(*inspector), QStringLiteral("Invalid Device"));
    QCOMPARE(fixture.valueChanges, 2);
    QCOMPARE(shownBy(*inspector).channelType, 8); // an encoder node still filters encoders
    QCOMPARE(shownBy(*inspector).device.deviceId, -1);
}

void TestPhidgetUi::pickerChoosesAChannel()
{
    Fixture fixture;
    fixture.addRackAndDesk();
    auto inspector = fixture.inspector();
    inspector->setNodeData(designate(fixture.desk, 7, 5));
    onModal<PhidgetChannelPickerDialog>([](PhidgetChannelPickerDialog *picker) {
        QCOMPARE(picker->windowTitle(), QStringLiteral("Select a Phidget Channel"));
        QVERIFY(!(picker->windowFlags() & Qt::WindowContextHelpButtonHint));
        auto *devices = picker->findChild<QListWidget *>("devices");
        auto *channels = picker->findChild<QTableView *>("channels");
        QCOMPARE(devices->item(0)->text(), QStringLiteral("Rack"));
        QCOMPARE(ids(devices->model()), QList<int>({1, 2}));
        QCOMPARE(devices->currentRow(), 1);
        QCOMPARE(channels->currentIndex().data(Qt::UserRole).toInt(), 7);

        QPointer<QAbstractItemModel> previous
            = static_cast<QSortFilterProxyModel *>(channels->model())->sourceModel();
        clickRow(devices, 0);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(previous.isNull());
        QCOMPARE(ids(channels->model()), QList<int>({1, 4})); // type 5 only
        QCOMPARE(channels->columnWidth(0), 120);
        clickRow(channels, 1, true);
    });
    fixture.valueChanges = 0;
    inspector->findChild<QPushButton *>("changeButton")->click();
    const PhidgetChannelData shown = shownBy(*inspector);
    QCOMPARE(shown.device.deviceType, QStringLiteral("Phidget"));
    QCOMPARE(shown.device.deviceId, fixture.rack->deviceNumber());
    QCOMPARE(shown.channelID, 4);
    QCOMPARE(shown.channelType, 5);
    QCOMPARE(fixture.valueChanges, 1);
    QCOMPARE(label(*inspector), QStringLiteral("Rack/In B"));
}

void TestPhidgetUi::pickerWithoutAChannelLeavesItAlone()
{
    Fixture fixture;
    fixture.addRackAndDesk();
    auto inspector = fixture.inspector();
    // No channel yet: the first device, no channel; OK leaves the property alone.
    inspector->setNodeData(PhidgetChannelData(6, -1));
    onModal<PhidgetChannelPickerDialog>([](PhidgetChannelPickerDialog *picker) {
        QCOMPARE(picker->findChild<QListWidget *>("devices")->currentRow(), 0);
        auto *channels = picker->findChild<QTableView *>("channels");
        QCOMPARE(ids(channels->model()), QList<int>({2}));
        QVERIFY(!channels->currentIndex().isValid());
        press(picker);
    });
    fixture.valueChanges = 0;
    inspector->findChild<QPushButton *>("changeButton")->click();
    QCOMPARE(fixture.valueChanges, 0);
    QCOMPARE(shownBy(*inspector).channelID, -1);
}

void TestPhidgetUi::inspectorDroppedWhileItsPickerIsOpen()
{
    Fixture fixture;
    fixture.addRackAndDesk();
    auto inspector = fixture.inspector();
    inspector->setNodeData(PhidgetChannelData(6, -1));
    // The property editor drops the inspector while its picker is open.
    onModal<PhidgetChannelPickerDialog>([&inspector](PhidgetChannelPickerDialog *picker) {
        clickRow(picker->findChild<QTableView *>("channels"), 0);
        inspector.reset();
        press(picker);
    });
    inspector->findChild<QPushButton *>("changeButton")->click();
}

void TestPhidgetUi::pickerOfADeletedShow()
{
    // The host deletes the show while a picker is open: its devices are no longer offered,
    // and OK picks nothing.
    NodeTypeRegistry registry;
    auto doomed = std::make_unique<Show>(registry);
    for (int i = 0; i < 2; ++i) {
        auto *device = new PhidgetDevice(true);
        device->setDeviceNumber(-1); // the show numbers it
        device->setConfig({-1, 0, QString(), {{1, channel("In", 5)}}});
        doomed->addDevice(device);
    }
    PhidgetChannelPickerDialog orphan(doomed.get(), 0, 1, 5);
    QCOMPARE(orphan.findChild<QListWidget *>("devices")->count(), 2);
    doomed.reset();
    QCOMPARE(orphan.findChild<QListWidget *>("devices")->count(), 0);
    QCOMPARE(orphan.findChild<QTableView *>("channels")->model()->rowCount(), 0);
    press(&orphan);
    QVERIFY(!orphan.selectedChannel());
}

void TestPhidgetUi::pickerWithoutDevices_data()
{
    QTest::addColumn<bool>("withShow");
    QTest::newRow("empty show") << true;
    QTest::newRow("no show") << false;
}

void TestPhidgetUi::pickerWithoutDevices()
{
    QFETCH(bool, withShow);
    Fixture empty;
    PhidgetChannelPickerDialog picker(withShow ? &empty.show : nullptr, 1, 1, 5);
    QCOMPARE(picker.findChild<QListWidget *>("devices")->count(), 0);
    QCOMPARE(picker.findChild<QTableView *>("channels")->model()->rowCount(), 0);
}

QTEST_MAIN(TestPhidgetUi)
#include "tst_phidget_ui.moc"
