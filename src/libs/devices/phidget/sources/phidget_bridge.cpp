#include "phidget_bridge.h"

#include "phidget_device_setup.h"
#include "phidget_runtime_p.h"

#include <Show.h>
#include <XmlWriter.h>

#include <QDomElement>
#include <QMetaType>

namespace {

const int kDomNameKey = 1;

} // namespace

const QString PhidgetDevice::s_typeName = QStringLiteral("Phidget");

PhidgetDevice::PhidgetDevice(bool param)
    : Device(param)
{
    // Moc names the position's type "int64_t"; whatever finds argument types by name (a
    // queued invokeMethod with Q_ARG, QMetaType::fromName) needs that name registered.
    qRegisterMetaType<int64_t>("int64_t");
    m_typeName = s_typeName;
    m_deviceNumber = 0;
    m_name.clear();
}

PhidgetDevice::~PhidgetDevice()
{
    m_config = PhidgetDeviceConfig();
    m_runtime.reset();
}

void PhidgetDevice::readDom(const QDomElement &element)
{
    readDomBase(element, kDomNameKey);
    m_config.readDom(element);
}

void PhidgetDevice::writeXml(XmlWriter &writer)
{
    XMLNodeBaseBegin(writer, kDomNameKey);
    m_config.writeXml(writer);
    XMLNodeBaseEnd(writer);
}

void PhidgetDevice::init()
{
    // A setup accepted without a change starts again from the same snapshot: the running
    // channels stay open, so no input reports its level anew as if the board had changed.
    if (m_runtime && m_runtime->isCurrentFor(m_config))
        return;
    // The old runtime is gone, server released, before the new one starts.
    m_runtime.reset();
    m_runtime = std::make_unique<Runtime>(this, m_config.serialNumber, m_config.mediaServerId,
        m_config.producerServerAddress, m_config.channels);
    m_runtime->start();
}

bool PhidgetDevice::showSetupDialog(QWidget *parent)
{
    // The running runtime is left alone: the new configuration applies at the next init().
    PhidgetDeviceSetup dialog(this, parent);
    // The host may delete this device while the dialog runs: past exec() only the dialog,
    // which guards its device, is touched, and a device that is gone is not reported as set up.
    return dialog.exec() == QDialog::Accepted && dialog.apply();
}

bool PhidgetDevice::isActiveOnMasterOnly() const
{
    return false;
}

bool PhidgetDevice::isHostingInstance(const Show *show, int32_t mediaServerId)
{
    if (!show)
        return false;
    if (show->appMode() == Show::ProducerMode && mediaServerId == 0)
        return true;
    // Media server 0 is the producer, never a media server this instance runs as.
    return mediaServerId != 0 && mediaServerId == show->localMediaServerId();
}
