#include "NvApi.h"

NvApi::NvApi()
{
    if (loadLibrary())
        m_query = reinterpret_cast<QueryInterface>(resolveSymbol("nvapi_QueryInterface"));
}

NvApi::~NvApi()
{
    m_query = nullptr;
    unloadLibrary();
}

template<typename... Args>
int NvApi::call(uint32_t id, Args... args)
{
    if (!m_query)
        return nv::kLibraryNotFound;
    using Function = int (*)(Args...);
    const auto function = reinterpret_cast<Function>(m_query(id));
    return function ? function(args...) : nv::kNoImplementation;
}

int NvApi::initialize()
{
    return call(nv::kInitialize);
}

int NvApi::unload()
{
    return call(nv::kUnload);
}

int NvApi::enumPhysicalGpus(nv::Handle handles[nv::kMaxPhysicalGpus], uint32_t *count)
{
    return call<nv::Handle *, uint32_t *>(nv::kEnumPhysicalGpus, handles, count);
}

int NvApi::gpuFullName(nv::Handle gpu, char name[nv::kShortStringSize])
{
    return call<nv::Handle, char *>(nv::kGpuGetFullName, gpu, name);
}

int NvApi::gpuWorkstationFeature(nv::Handle gpu, uint32_t feature)
{
    return call<nv::Handle, uint32_t>(nv::kGpuWorkstationFeature, gpu, feature);
}

int NvApi::gpuAllDisplayIds(nv::Handle gpu, nv::DisplayIdEntry *entries, uint32_t *count)
{
    return call<nv::Handle, nv::DisplayIdEntry *, uint32_t *>(
        nv::kGpuGetAllDisplayIds, gpu, entries, count);
}

int NvApi::connectorInfo(uint32_t displayId, nv::ConnectorInfo *info)
{
    return call<uint32_t, nv::ConnectorInfo *>(nv::kConnectorInfo, displayId, info);
}

int NvApi::readEdid(uint32_t displayId, nv::EdidData *edid, uint32_t *flag)
{
    return call<uint32_t, nv::EdidData *, uint32_t *>(nv::kReadEdid, displayId, edid, flag);
}

int NvApi::setEdid(uint32_t displayId, nv::EdidData *edid, uint32_t *flag)
{
    return call<uint32_t, nv::EdidData *, uint32_t *>(nv::kSetEdid, displayId, edid, flag);
}

int NvApi::applyEdid(uint32_t displayId, nv::EdidData *edid)
{
    return call<uint32_t, nv::EdidData *>(nv::kApplyEdid, displayId, edid);
}

int NvApi::enumDisplayHandle(uint32_t index, nv::Handle *display)
{
    return call<uint32_t, nv::Handle *>(nv::kEnumNvidiaDisplayHandle, index, display);
}

int NvApi::associatedDisplayName(nv::Handle display, char name[nv::kShortStringSize])
{
    return call<nv::Handle, char *>(nv::kGetAssociatedNvidiaDisplayName, display, name);
}

int NvApi::displayIdByName(const char *name, uint32_t *displayId)
{
    return call<const char *, uint32_t *>(nv::kGetDisplayIdByDisplayName, name, displayId);
}

int NvApi::displayOutputId(nv::Handle display, uint32_t *outputId)
{
    return call<nv::Handle, uint32_t *>(nv::kDisplayOutputId, display, outputId);
}

int NvApi::displayConfig(uint32_t *pathCount, nv::PathInfo *paths)
{
    return call<uint32_t *, nv::PathInfo *>(nv::kGetDisplayConfig, pathCount, paths);
}
