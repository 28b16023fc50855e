#pragma once

#include "NvApiTypes.h"

#include <QString>
#include <QtGlobal>

// The driver seam: NVIDIA's library is loaded when a command starts and released when
// it ends; every function is resolved by interface id through nvapi_QueryInterface.
// A missing library or a null function makes the call fail.
class NvApi
{
public:
    NvApi();
    ~NvApi();
    NvApi(const NvApi &) = delete;
    NvApi &operator=(const NvApi &) = delete;

    bool isLoaded() const { return m_query != nullptr; }
    // Other C entry points of the same library (used by the display configuration seam
    // off Windows); null when absent or not loaded.
    QFunctionPointer resolveSymbol(const char *name);
    // The library a command loads: "nvapi64.dll" on Windows; elsewhere
    // LM_NVAPI_LIBRARY, or the simulated driver next to the helper.
    static QString libraryPath();

    int initialize();
    int unload();
    int enumPhysicalGpus(nv::Handle handles[nv::kMaxPhysicalGpus], uint32_t *count);
    int gpuFullName(nv::Handle gpu, char name[nv::kShortStringSize]);
    int gpuWorkstationFeature(nv::Handle gpu, uint32_t feature);
    int gpuAllDisplayIds(nv::Handle gpu, nv::DisplayIdEntry *entries, uint32_t *count);
    int connectorInfo(uint32_t displayId, nv::ConnectorInfo *info);
    int readEdid(uint32_t displayId, nv::EdidData *edid, uint32_t *flag);
    int setEdid(uint32_t displayId, nv::EdidData *edid, uint32_t *flag);
    int applyEdid(uint32_t displayId, nv::EdidData *edid);
    int enumDisplayHandle(uint32_t index, nv::Handle *display);
    int associatedDisplayName(nv::Handle display, char name[nv::kShortStringSize]);
    int displayIdByName(const char *name, uint32_t *displayId);
    int displayOutputId(nv::Handle display, uint32_t *outputId);
    int displayConfig(uint32_t *pathCount, nv::PathInfo *paths);

private:
    template<typename... Args>
    int call(uint32_t id, Args... args);

    // The platform's side (NvApiLibrary_win.cpp, NvApiLibrary_unix.cpp).
    bool loadLibrary();
    void unloadLibrary();

    using QueryInterface = void *(*)(unsigned int);
    void *m_library = nullptr; // HMODULE or dlopen handle, for the length of one command
    QueryInterface m_query = nullptr;
};
