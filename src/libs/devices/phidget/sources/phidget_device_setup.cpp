#include "phidget_device_setup.h"

PhidgetDeviceSetup::PhidgetDeviceSetup(PhidgetDevice *device, QWidget *parent)
    : QDialog(parent)
    , m_device(device)
{
    setupUi(this);
}

void PhidgetDeviceSetup::apply()
{ }

void PhidgetDeviceSetup::onAddChannel()
{ }

void PhidgetDeviceSetup::onDeleteChannel()
{ }

void PhidgetDeviceSetup::onServerIndexChanged(int index)
{
    producerAddressWidget->setEnabled(index == 0);
}
