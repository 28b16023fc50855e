#include "ping_bridge.h"
#include "ping_device_setup.h"
#include "ping_device_widget.h"

#include <QApplication>
#include <QMetaProperty>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace {
// Runs `act` on the modal dialog as soon as the event loop shows it.
void onModalDialog(const std::function<void(PingDeviceSetup *)> &act)
{
    QTimer::singleShot(0, [act] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        act(static_cast<PingDeviceSetup *>(dialog));
    });
}

QPushButton *okButton(PingDeviceSetup &dialog)
{
    return dialog.buttonBox->button(QDialogButtonBox::Ok);
}
} // namespace

class TestPingUi : public QObject
{
    Q_OBJECT

private slots:
    void widgetWithoutResult();
    void widgetFollowsResults();
    void widgetFollowsRenames();
    void statusPropertyOnlyStoresTheValue();
    void widgetProperties();
    void widgetOutlivesDevice();
    void okNeedsHost();
    void intervalIsClamped();
    void setupDialogAccepted();
    void setupDialogRejected();
};

void TestPingUi::widgetWithoutResult()
{
    PingDevice device(true);
    device.setName(QStringLiteral("Router"));
    PingDeviceWidget widget(&device);
    QCOMPARE(widget.statusLabel->styleSheet(), PingDeviceWidget::s_warningStyleSheet);
    QCOMPARE(widget.status(), 0);
    QCOMPARE(widget.objectName(), QStringLiteral("[Ping] Router"));
    QCOMPARE(widget.deviceNameLabel->text(), QStringLiteral("[Ping] Router"));
    QCOMPARE(PingDeviceWidget::s_onStyleSheet,
        QStringLiteral("image: url(\":/share/image/Content/CT_Screens/CT_ScreenScreenOn.svg\"); "
                       "color: black;"));
    QCOMPARE(PingDeviceWidget::s_warningStyleSheet,
        QStringLiteral("image: url(\":/share/image/Content/CT_Screens/"
                       "CT_ScreenScreenWarning.svg\"); color: black;"));
}

void TestPingUi::widgetFollowsResults()
{
    PingDevice device(true);
    device.reachable = true;
    PingDeviceWidget widget(&device);
    QCOMPARE(widget.statusLabel->styleSheet(), PingDeviceWidget::s_onStyleSheet);
    QCOMPARE(widget.property("status").toInt(), 1);

    QSignalSpy changed(&widget, &UserScreenWidget::onWidgetChanged);
    device.onReachabilityChangedSync(false);
    QCOMPARE(widget.statusLabel->styleSheet(), PingDeviceWidget::s_warningStyleSheet);
    QCOMPARE(widget.status(), 0);
    QCOMPARE(changed.size(), qsizetype(1));
    device.onReachabilityChangedSync(true);
    QCOMPARE(widget.statusLabel->styleSheet(), PingDeviceWidget::s_onStyleSheet);
    QCOMPARE(widget.status(), 1);
    QCOMPARE(changed.size(), qsizetype(2));
}

void TestPingUi::widgetFollowsRenames()
{
    PingDevice device(true);
    PingDeviceWidget widget(&device);
    QCOMPARE(widget.objectName(), QStringLiteral("[Ping] "));
    device.setName(QStringLiteral("Stage left"));
    QCOMPARE(widget.objectName(), QStringLiteral("[Ping] Stage left"));
    QCOMPARE(widget.deviceNameLabel->text(), QStringLiteral("[Ping] Stage left"));
    QCOMPARE(widget.property("deviceName").toString(), QStringLiteral("Stage left"));
}

void TestPingUi::statusPropertyOnlyStoresTheValue()
{
    PingDevice device(true);
    PingDeviceWidget widget(&device);
    QVERIFY(widget.setProperty("status", 1));
    QCOMPARE(widget.status(), 1);
    QCOMPARE(widget.statusLabel->styleSheet(), PingDeviceWidget::s_warningStyleSheet);
    QVERIFY(!device.reachable);
    QVERIFY(!device.hasStatus);
    QVERIFY(!widget.setProperty("deviceName", QStringLiteral("x"))); // read-only
}

void TestPingUi::widgetProperties()
{
    PingDevice device(true);
    PingDeviceWidget widget(&device);
    QVERIFY(widget.qt_metacast("PingDeviceWidget"));
    QVERIFY(widget.qt_metacast("Ui::PingDeviceWidgetClass"));
    QCOMPARE(widget.windowTitle(), QStringLiteral("Ping device"));

    const QMetaObject *meta = widget.metaObject();
    QStringList names;
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i)
        names << QString::fromLatin1(meta->property(i).name());
    QCOMPARE(names,
        QStringList({"objectName", "visible", "enable", "toolTip", "zOrder", "x", "y", "width",
            "height", "textColor", "backgroundColor", "font", "deviceName", "status"}));

    widget.setProperty("textColor", QColor(Qt::red));
    widget.setProperty("backgroundColor", QColor(Qt::blue));
    QCOMPARE(widget.palette().color(QPalette::WindowText), QColor(Qt::red));
    QCOMPARE(widget.property("backgroundColor").value<QColor>(), QColor(Qt::blue));
    // The form's size, as the user-screen system reads it.
    QCOMPARE(widget.property("width").toInt(), 200);
    QCOMPARE(widget.property("height").toInt(), 50);
    widget.setProperty("width", 240);
    widget.setProperty("zOrder", 3);
    widget.setProperty("enable", false);
    QCOMPARE(widget.width(), 240);
    QCOMPARE(widget.zOrder(), 3);
    QVERIFY(!widget.isEnabled());
}

void TestPingUi::widgetOutlivesDevice()
{
    auto *device = new PingDevice(true);
    device->setName(QStringLiteral("Gone"));
    PingDeviceWidget widget(device);
    delete device;
    QCOMPARE(widget.property("deviceName").toString(), QString());
    QCOMPARE(widget.objectName(), QStringLiteral("[Ping] Gone"));
}

void TestPingUi::okNeedsHost()
{
    PingDeviceSetup dialog;
    QVERIFY(!okButton(dialog)->isEnabled());
    QTest::keyClicks(dialog.hostLineEdit, QStringLiteral("127.0.0.1"));
    QVERIFY(okButton(dialog)->isEnabled());
    dialog.hostLineEdit->clear();
    QVERIFY(!okButton(dialog)->isEnabled());
    dialog.hostLineEdit->setText(QStringLiteral("   ")); // spaces count as text
    QVERIFY(okButton(dialog)->isEnabled());
}

void TestPingUi::intervalIsClamped()
{
    PingDeviceSetup dialog;
    dialog.intervalSpinBox->setValue(0);
    QCOMPARE(dialog.intervalSpinBox->value(), 1);
    dialog.intervalSpinBox->setValue(5000);
    QCOMPARE(dialog.intervalSpinBox->value(), 3600);
}

void TestPingUi::setupDialogAccepted()
{
    PingDevice device(true);
    device.host = QStringLiteral("127.0.0.1");
    device.intervalSec = 0;
    QString shownHost;
    int shownInterval = -1;
    bool okEnabled = false;
    onModalDialog([&](PingDeviceSetup *dialog) {
        QVERIFY(dialog);
        shownHost = dialog->hostLineEdit->text();
        shownInterval = dialog->intervalSpinBox->value();
        okEnabled = okButton(*dialog)->isEnabled();
        dialog->hostLineEdit->setText(QStringLiteral(" 127.0.0.2 "));
        okButton(*dialog)->click();
    });
    QVERIFY(device.showSetupDialog(nullptr));
    QCOMPARE(shownHost, QStringLiteral("127.0.0.1"));
    QCOMPARE(shownInterval, 1);
    QVERIFY(okEnabled);
    QCOMPARE(device.host, QStringLiteral(" 127.0.0.2 ")); // as typed
    QCOMPARE(device.intervalSec, 1);
}

void TestPingUi::setupDialogRejected()
{
    PingDevice device(true);
    onModalDialog([](PingDeviceSetup *dialog) {
        QVERIFY(dialog);
        QVERIFY(!okButton(*dialog)->isEnabled()); // no host yet
        dialog->hostLineEdit->setText(QStringLiteral("127.0.0.1"));
        dialog->intervalSpinBox->setValue(9);
        dialog->buttonBox->button(QDialogButtonBox::Cancel)->click();
    });
    QVERIFY(!device.showSetupDialog(nullptr));
    QCOMPARE(device.host, QString());
    QCOMPARE(device.intervalSec, 60);
}

QTEST_MAIN(TestPingUi)
#include "tst_ping_ui.moc"
