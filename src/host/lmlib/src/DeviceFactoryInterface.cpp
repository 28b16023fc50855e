#include "DeviceFactoryInterface.h"

DeviceFactoryInterface::~DeviceFactoryInterface() = default;

bool DeviceFactoryInterface::isTimecodeDevice() const
{
    return false;
}
