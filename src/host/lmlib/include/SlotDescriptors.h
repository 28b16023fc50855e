#pragma once

#include <QUuid>

#include <memory>
#include <string>
#include <vector>

class ANodeData;

struct InputSlotDescriptor
{
    std::string name;
    QUuid type;
    int index = 0;
    std::shared_ptr<ANodeData> defaultValue;
    bool isOptional = false;
    int flags = 0;
};

struct OutputSlotDescriptor
{
    std::string name;
    QUuid type;
    int index = 0;
};

struct PropertySlotDescriptor
{
    std::string name;
    QUuid type;
    int index = 0;
    std::shared_ptr<ANodeData> defaultValue;
    int flags = 0;
};

// Triggers carry no value.
struct TriggerDescriptor
{
    int index = 0;
    std::string name;
};

using InputSlotDescriptors = std::vector<InputSlotDescriptor>;
using OutputSlotDescriptors = std::vector<OutputSlotDescriptor>;
using PropertySlotDescriptors = std::vector<PropertySlotDescriptor>;
using TriggerDescriptors = std::vector<TriggerDescriptor>;
