#include "EdidOperations.h"

#include "NvApi.h"

namespace {

constexpr uint32_t kEdidBufferSize = 65536;

} // namespace

bool readEdid(NvApi &driver, uint32_t displayId, QByteArray &bytes)
{
    QByteArray buffer(kEdidBufferSize, '\0');
    nv::EdidData edid = {};
    edid.version = nv::kEdidDataVersion;
    edid.edid = reinterpret_cast<uint8_t *>(buffer.data());
    edid.size = kEdidBufferSize;
    uint32_t flag = 1;
    if (driver.readEdid(displayId, &edid, &flag) != nv::kOk)
        return false;
    // A size beyond our buffer cannot be real data.
    if (edid.size > kEdidBufferSize)
        return false;
    bytes = buffer.left(edid.size);
    return true;
}

bool setAndApplyEdid(NvApi &driver, uint32_t displayId, const QByteArray &bytes)
{
    QByteArray copy = bytes;
    nv::EdidData edid = {};
    edid.version = nv::kEdidDataVersion;
    edid.edid = reinterpret_cast<uint8_t *>(copy.data());
    edid.size = uint32_t(copy.size());
    uint32_t flag = 1;
    driver.setEdid(displayId, &edid, &flag);
    if (flag != 0 && flag != 4)
        return false;
    return driver.applyEdid(displayId, &edid) == nv::kOk;
}

bool lockEdid(NvApi &driver, uint32_t displayId)
{
    QByteArray bytes;
    return readEdid(driver, displayId, bytes) && setAndApplyEdid(driver, displayId, bytes);
}

bool unloadEdid(NvApi &driver, uint32_t displayId)
{
    nv::EdidData edid = {};
    edid.version = nv::kEdidDataVersion;
    return driver.applyEdid(displayId, &edid) == nv::kOk;
}
