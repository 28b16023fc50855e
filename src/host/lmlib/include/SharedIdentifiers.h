#pragma once

#include <QUuid>

// Well-known node data types, shared by the host and every plug-in. Each library
// that includes this header builds its own copy of the constants when it is loaded.
inline const QUuid kBoolDataTypeId = QUuid::fromString(u"870466bf-0eb8-4f11-a8cf-6e052dc6b439");
inline const QUuid kDeviceDescriptorDataTypeId
    = QUuid::fromString(u"da701c09-5933-4829-832b-e15f43016c54");
inline const QUuid kVec2DataTypeId = QUuid::fromString(u"49f24d4f-195b-4e42-ae06-0bc0bf18150d");
// 32-bit signed integer values.
inline const QUuid kIntDataTypeId = QUuid::fromString(u"118b0847-9ed4-4a1e-885b-dc9a927efa03");
