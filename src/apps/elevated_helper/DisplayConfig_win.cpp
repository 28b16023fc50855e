#include "DisplayConfig.h"

#include "NvApi.h"

#include <windows.h>

DisplayConfig::DisplayConfig(NvApi &)
{ }

namespace {

LUID toLuid(uint64_t id)
{
    LUID luid;
    luid.LowPart = DWORD(id & 0xFFFFFFFFu);
    luid.HighPart = LONG(id >> 32);
    return luid;
}

uint64_t fromLuid(const LUID &luid)
{
    return (uint64_t(uint32_t(luid.HighPart)) << 32) | luid.LowPart;
}

} // namespace

long DisplayConfig::bufferSizes(uint32_t flags, uint32_t &pathCount, uint32_t &modeCount)
{
    UINT32 paths = 0;
    UINT32 modes = 0;
    const LONG result = GetDisplayConfigBufferSizes(flags, &paths, &modes);
    pathCount = paths;
    modeCount = modes;
    return result;
}

long DisplayConfig::query(
    uint32_t flags, uint32_t &pathCount, std::vector<DisplayPathRef> &paths, uint32_t &modeCount)
{
    std::vector<DISPLAYCONFIG_PATH_INFO> pathInfo(pathCount);
    std::vector<DISPLAYCONFIG_MODE_INFO> modeInfo(modeCount);
    UINT32 pathsIn = pathCount;
    UINT32 modesIn = modeCount;
    const LONG result
        = QueryDisplayConfig(flags, &pathsIn, pathInfo.data(), &modesIn, modeInfo.data(), nullptr);
    pathCount = pathsIn;
    modeCount = modesIn;
    paths.clear();
    if (result != ERROR_SUCCESS)
        return result;
    for (UINT32 i = 0; i < pathsIn && i < pathInfo.size(); ++i) {
        const DISPLAYCONFIG_PATH_INFO &p = pathInfo[i];
        DisplayPathRef ref;
        ref.sourceAdapterId = fromLuid(p.sourceInfo.adapterId);
        ref.sourceId = p.sourceInfo.id;
        ref.targetAdapterId = fromLuid(p.targetInfo.adapterId);
        ref.targetId = p.targetInfo.id;
        paths.push_back(ref);
    }
    return result;
}

namespace {

// Asks DisplayConfigGetDeviceInfo for one name record; `name` is set on success.
template<typename Request, size_t N>
LONG deviceName(Request &request, DISPLAYCONFIG_DEVICE_INFO_TYPE type, uint64_t adapter,
    uint32_t id, const WCHAR (&field)[N], QString &name)
{
    request.header.type = type;
    request.header.size = sizeof(request);
    request.header.adapterId = toLuid(adapter);
    request.header.id = id;
    const LONG result = DisplayConfigGetDeviceInfo(&request.header);
    if (result == ERROR_SUCCESS)
        name = QString::fromWCharArray(field);
    return result;
}

} // namespace

long DisplayConfig::sourceGdiName(const DisplayPathRef &path, QString &name)
{
    DISPLAYCONFIG_SOURCE_DEVICE_NAME request = {};
    return deviceName(request, DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME, path.sourceAdapterId,
        path.sourceId, request.viewGdiDeviceName, name);
}

long DisplayConfig::targetFriendlyName(const DisplayPathRef &path, QString &name)
{
    DISPLAYCONFIG_TARGET_DEVICE_NAME request = {};
    return deviceName(request, DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME, path.targetAdapterId,
        path.targetId, request.monitorFriendlyDeviceName, name);
}
