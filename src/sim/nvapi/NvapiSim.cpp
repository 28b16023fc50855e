// The simulated NVIDIA driver: nvapi_QueryInterface and the display-configuration calls,
// answering from the rig named by LM_NVAPI_SIM_RIG.
#include "SimLayouts.h"
#include "SimRig.h"

#include <QtGlobal>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

#ifdef _WIN32
#define LMSIM_EXPORT extern "C" __declspec(dllexport)
#else
#define LMSIM_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace lmsim {
namespace {

// Opaque handle values: distinct ranges so that a display handle passed as a GPU handle
// (or the reverse) is recognised.
constexpr uintptr_t kGpuHandleBase = 0x4e560000u;
constexpr uintptr_t kDisplayHandleBase = 0x4e440000u;
constexpr uintptr_t kHandleStep = 0x10u;
constexpr uint64_t kAdapterIdBase = 0x10de0000u;

// Windows counts a source and a target mode per active path.
constexpr uint32_t kModesPerPath = 2;

// Which GPU, display id, handle or path a call is about; a failure rule with a scope
// matches only calls that carry the same value.
struct Scope
{
    int gpu = -1;
    bool hasDisplayId = false;
    uint32_t displayId = 0;
    int handle = -1;
    int path = -1;
};

struct State
{
    std::mutex mutex;
    bool rigRead = false;
    QByteArray rigFor;
    Rig rig;
    std::vector<QByteArray> pending; // per display: bytes of the last set, waiting for apply
    int initCount = 0;
    uint64_t adapterIds[kMaxGpus] = {};
};

State &state()
{
    static State s;
    return s;
}

// Re-reads the rig when LM_NVAPI_SIM_RIG names another file than last time.
void ensureRig(State &s)
{
    const QByteArray path = qgetenv("LM_NVAPI_SIM_RIG");
    if (s.rigRead && path == s.rigFor)
        return;
    s.rigRead = true;
    s.rigFor = path;
    QString error;
    if (!loadRig(QString::fromLocal8Bit(path), &s.rig, &error)) {
        std::fprintf(stderr, "lm_nvapi_sim: %s: %s; simulating a driver without GPUs\n",
            path.constData(), qPrintable(error));
    }
    s.pending.assign(s.rig.displays.size(), QByteArray());
    for (int i = 0; i < kMaxGpus; ++i)
        s.adapterIds[i] = kAdapterIdBase + uint64_t(i);
}

bool ruleMatches(const RigFailure &f, Fn fn, const Scope &scope)
{
    return f.fn == fn && (f.gpu < 0 || f.gpu == scope.gpu)
        && (!f.hasDisplayId || (scope.hasDisplayId && f.displayId == scope.displayId))
        && (f.handle < 0 || f.handle == scope.handle) && (f.path < 0 || f.path == scope.path);
}

// The status an injected failure gives this call, or 0. Every matching rule counts the use.
long injected(State &s, Fn fn, const Scope &scope)
{
    long status = 0;
    for (RigFailure &f : s.rig.failures) {
        if (!ruleMatches(f, fn, scope))
            continue;
        ++f.uses;
        if (status == 0 && f.uses >= f.from && (f.times < 0 || f.failed < f.times)) {
            ++f.failed;
            status = f.status;
        }
    }
    return status;
}

// Which of `count` handles made from `base` a handle is; -1 for any other value.
int handleIndex(const void *handle, uintptr_t base, size_t count)
{
    const uintptr_t v = reinterpret_cast<uintptr_t>(handle);
    if (v < base || (v - base) % kHandleStep != 0)
        return -1;
    const uintptr_t index = (v - base) / kHandleStep;
    return index < count ? int(index) : -1;
}

int gpuIndex(const State &s, const void *handle)
{
    return handleIndex(handle, kGpuHandleBase, s.rig.gpus.size());
}

int displayHandleIndex(const State &s, const void *handle)
{
    return handleIndex(handle, kDisplayHandleBase, s.rig.handles.size());
}

int displayIndex(const State &s, uint32_t displayId)
{
    for (size_t i = 0; i < s.rig.displays.size(); ++i) {
        if (s.rig.displays[i].id == displayId)
            return int(i);
    }
    return -1;
}

Scope displayScope(const State &s, uint32_t displayId)
{
    Scope scope;
    scope.hasDisplayId = true;
    scope.displayId = displayId;
    const int d = displayIndex(s, displayId);
    if (d >= 0)
        scope.gpu = s.rig.displays[size_t(d)].gpu;
    return scope;
}

Scope handleScope(const State &s, int handle)
{
    if (handle < 0 || size_t(handle) >= s.rig.handles.size())
        return Scope();
    Scope scope = displayScope(s, s.rig.handles[size_t(handle)].displayId);
    scope.handle = handle;
    return scope;
}

Scope pathScope(const State &s, int path)
{
    Scope scope = displayScope(s, s.rig.paths[size_t(path)].displayIds.front());
    scope.path = path;
    return scope;
}

void copyName(const std::string &name, char *out, size_t room)
{
    const size_t n = std::min(name.size(), room - 1);
    std::memcpy(out, name.data(), n);
    out[n] = '\0';
}

// The connector kind of a display-id entry, from the connector type code.
int32_t connectorKind(uint32_t code)
{
    switch (code) {
    case 0:
        return 0; // VGA
    case 19:
        return 1; // component
    case 17:
    case 25:
        return 2; // S-Video
    case 97:
    case 99:
        return 3; // HDMI
    case 32:
    case 33:
    case 48:
    case 49:
    case 56:
    case 57:
        return 4; // DVI
    case 70:
    case 71:
    case 72:
    case 100:
    case 101:
        return 6; // DisplayPort
    case 16:
    case 22:
    case 26:
        return 7; // composite
    default:
        return -1;
    }
}

// One call into the driver: holds the driver's lock for its length. Each begin...()
// answers the status the call must return at once (not initialised, missing argument,
// unknown handle or display id, injected failure), or 0 to go on.
class Call
{
public:
    Call()
        : s(state())
        , m_lock(s.mutex)
    { }

    State &s;

    int begin(Fn fn, bool argumentsPresent, const Scope &scope = Scope())
    {
        return check(false, NvOk, fn, argumentsPresent, scope);
    }

    int beginGpu(Fn fn, bool argumentsPresent, const void *handle, int *gpu)
    {
        *gpu = gpuIndex(s, handle);
        Scope scope;
        scope.gpu = *gpu;
        return check(*gpu < 0, NvExpectedPhysicalGpuHandle, fn, argumentsPresent, scope);
    }

    int beginDisplay(Fn fn, bool argumentsPresent, uint32_t displayId, RigDisplay **display)
    {
        const int at = displayIndex(s, displayId);
        *display = at < 0 ? nullptr : &s.rig.displays[size_t(at)];
        return check(at < 0, NvInvalidArgument, fn, argumentsPresent, displayScope(s, displayId));
    }

    int beginHandle(Fn fn, bool argumentsPresent, const void *handle, int *index)
    {
        *index = displayHandleIndex(s, handle);
        return check(
            *index < 0, NvExpectedDisplayHandle, fn, argumentsPresent, handleScope(s, *index));
    }

private:
    // Initialisation and arguments first, then `status` when `unknown` holds, then the injected
    // failures.
    int check(bool unknown, int status, Fn fn, bool argumentsPresent, const Scope &scope)
    {
        if (s.initCount == 0)
            return NvApiNotInitialized;
        if (!argumentsPresent)
            return NvInvalidArgument;
        if (unknown)
            return status;
        return int(injected(s, fn, scope));
    }

    std::lock_guard<std::mutex> m_lock;
};

int nvInitialize()
{
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    ensureRig(s);
    if (const long failure = injected(s, Fn::Initialize, Scope()))
        return int(failure);
    ++s.initCount;
    return NvOk;
}

int nvUnload()
{
    Call call;
    if (const int status = call.begin(Fn::Unload, true))
        return status;
    --call.s.initCount;
    return NvOk;
}

int nvEnumPhysicalGpus(void **handles, uint32_t *count)
{
    Call call;
    if (const int status = call.begin(Fn::EnumPhysicalGpus, handles && count))
        return status;
    const size_t n = call.s.rig.gpus.size();
    for (size_t i = 0; i < n; ++i)
        handles[i] = reinterpret_cast<void *>(kGpuHandleBase + i * kHandleStep);
    *count = uint32_t(n);
    return NvOk;
}

int nvGetFullName(void *handle, char *name)
{
    Call call;
    int gpu = -1;
    if (const int status = call.beginGpu(Fn::GetFullName, name != nullptr, handle, &gpu))
        return status;
    copyName(call.s.rig.gpus[size_t(gpu)].fullName, name, kShortStringMax);
    return NvOk;
}

int nvWorkstationQuery(void *handle, uint32_t feature)
{
    Call call;
    int gpu = -1;
    if (const int status = call.beginGpu(Fn::WorkstationQuery, true, handle, &gpu))
        return status;
    return call.s.rig.gpus[size_t(gpu)].workstation && feature == 2 ? NvOk : NvNotSupported;
}

uint32_t displayIdFlags(const State &s, const RigDisplay &d)
{
    uint32_t flags = d.connected ? kConnectedFlag : 0u;
    for (const RigPath &p : s.rig.paths) {
        if (std::find(p.displayIds.begin(), p.displayIds.end(), d.id) != p.displayIds.end())
            flags |= 1u << 2; // active
    }
    for (const RigHandle &h : s.rig.handles) {
        if (h.displayId == d.id)
            flags |= 1u << 4; // visible to the OS
    }
    return flags;
}

int nvGetAllDisplayIds(void *handle, DisplayIdEntry *entries, uint32_t *count)
{
    Call call;
    int gpu = -1;
    if (const int status = call.beginGpu(Fn::GetAllDisplayIds, count != nullptr, handle, &gpu))
        return status;
    const State &s = call.s;
    const std::vector<int> &ids = s.rig.gpus[size_t(gpu)].displays;
    const uint32_t n = uint32_t(ids.size());
    if (!entries) {
        *count = n;
        return NvOk;
    }
    if (*count < n) {
        *count = n;
        return NvInsufficientBuffer;
    }
    for (uint32_t i = 0; i < n; ++i) {
        if (entries[i].version != kDisplayIdVersion)
            return NvIncompatibleStructVersion;
    }
    for (uint32_t i = 0; i < n; ++i) {
        const RigDisplay &d = s.rig.displays[size_t(ids[i])];
        entries[i].connectorKind
            = d.connectors.empty() ? -1 : connectorKind(d.connectors.front().first);
        entries[i].displayId = d.id;
        entries[i].flags = displayIdFlags(s, d);
    }
    *count = n;
    return NvOk;
}

int nvGetConnectorInfo(uint32_t displayId, ConnectorInfo *info)
{
    Call call;
    RigDisplay *display = nullptr;
    if (const int status
        = call.beginDisplay(Fn::GetConnectorInfo, info != nullptr, displayId, &display))
        return status;
    if (info->version != kConnectorInfoVersion)
        return NvIncompatibleStructVersion;
    const uint32_t n = uint32_t(display->connectors.size());
    info->flags = display->dualMode ? 1u : 0u;
    if (n == 0) {
        info->count = 0;
        return NvEndEnumeration;
    }
    if (!info->entries || info->count == 0) {
        info->count = n;
        return NvOk;
    }
    const uint32_t written = std::min(n, info->count);
    for (uint32_t i = 0; i < written; ++i) {
        info->entries[i].type = display->connectors[i].first;
        info->entries[i].value = display->connectors[i].second;
    }
    info->count = written;
    return NvOk;
}

int nvGetEdid(uint32_t displayId, EdidData *edid, uint32_t *flag)
{
    Call call;
    RigDisplay *display = nullptr;
    if (const int status = call.beginDisplay(Fn::GetEdid, edid && flag, displayId, &display))
        return status;
    if (edid->version != kEdidVersion)
        return NvIncompatibleStructVersion;
    const bool overridden = !display->override.isEmpty();
    const QByteArray &bytes = overridden ? display->override : display->edid;
    if (bytes.isEmpty() || (!overridden && !display->connected))
        return NvDataNotFound;
    const uint32_t length = uint32_t(bytes.size());
    if (edid->data && edid->size != 0) {
        if (edid->size < length) {
            edid->size = length;
            return NvInsufficientBuffer;
        }
        std::memcpy(edid->data, bytes.constData(), length);
    }
    edid->size = length;
    *flag = overridden ? 3u : 1u;
    return NvOk;
}

QByteArray edidBytes(const EdidData &edid)
{
    return QByteArray(reinterpret_cast<const char *>(edid.data), int(edid.size));
}

int nvSetEdid(uint32_t displayId, EdidData *edid, uint32_t *flag)
{
    Call call;
    RigDisplay *display = nullptr;
    if (const int status = call.beginDisplay(Fn::SetEdid, edid && flag, displayId, &display))
        return status;
    if (edid->version != kEdidVersion)
        return NvIncompatibleStructVersion;
    if (!edid->data || edid->size == 0 || edid->size > kMaxEdidSize)
        return NvInvalidArgument;
    call.s.pending[size_t(display - call.s.rig.displays.data())] = edidBytes(*edid);
    *flag = display->setFlag;
    return NvOk;
}

int nvApplyEdid(uint32_t displayId, EdidData *edid)
{
    Call call;
    RigDisplay *display = nullptr;
    if (const int status = call.beginDisplay(Fn::ApplyEdid, edid != nullptr, displayId, &display))
        return status;
    if (edid->version != kEdidVersion)
        return NvIncompatibleStructVersion;
    QByteArray &pending = call.s.pending[size_t(display - call.s.rig.displays.data())];
    if (!edid->data && edid->size == 0) {
        display->override.clear();
        pending.clear();
        return NvOk;
    }
    if (!edid->data || edid->size == 0 || edid->size > kMaxEdidSize)
        return NvInvalidArgument;
    const QByteArray bytes = edidBytes(*edid);
    if (pending.isEmpty() || pending != bytes)
        return NvInvalidArgument;
    display->override = bytes;
    pending.clear();
    return NvOk;
}

int nvEnumDisplayHandle(uint32_t index, void **handle)
{
    Call call;
    const int at = index < uint32_t(kMaxDisplayHandles) ? int(index) : -1;
    Scope scope = handleScope(call.s, at);
    scope.handle = at;
    if (const int status = call.begin(Fn::EnumDisplayHandle, handle != nullptr, scope))
        return status;
    if (at < 0 || size_t(at) >= call.s.rig.handles.size())
        return NvEndEnumeration;
    *handle = reinterpret_cast<void *>(kDisplayHandleBase + size_t(at) * kHandleStep);
    return NvOk;
}

int nvGetAssociatedDisplayName(void *handle, char *name)
{
    Call call;
    int at = -1;
    if (const int status
        = call.beginHandle(Fn::GetAssociatedDisplayName, name != nullptr, handle, &at))
        return status;
    copyName(call.s.rig.handles[size_t(at)].name, name, kShortStringMax);
    return NvOk;
}

int nvGetDisplayIdByName(const char *name, uint32_t *displayId)
{
    Call call;
    const std::vector<RigHandle> &handles = call.s.rig.handles;
    int found = -1;
    for (size_t i = 0; name && i < handles.size() && found < 0; ++i) {
        if (handles[i].name == name)
            found = int(i);
    }
    if (const int status
        = call.begin(Fn::GetDisplayIdByName, name && displayId, handleScope(call.s, found)))
        return status;
    if (found < 0)
        return NvDeviceNotFound;
    *displayId = handles[size_t(found)].displayId;
    return NvOk;
}

int nvGetOutputId(void *handle, uint32_t *outputId)
{
    Call call;
    int at = -1;
    if (const int status = call.beginHandle(Fn::GetOutputId, outputId != nullptr, handle, &at))
        return status;
    *outputId = call.s.rig.handles[size_t(at)].outputId;
    return NvOk;
}

// Checks the caller's path entries before anything is written.
int checkPaths(const State &s, const PathEntry *paths)
{
    for (size_t i = 0; i < s.rig.paths.size(); ++i) {
        const PathEntry &p = paths[i];
        if (p.version != kPathVersion)
            return NvIncompatibleStructVersion;
        if (!p.targets)
            continue;
        if (p.targetCount != s.rig.paths[i].displayIds.size())
            return NvInvalidArgument;
        for (uint32_t t = 0; t < p.targetCount; ++t) {
            if (p.targets[t].details && p.targets[t].details->version != kAdvancedTargetVersion)
                return NvIncompatibleStructVersion;
        }
    }
    return NvOk;
}

void fillPath(State &s, const RigPath &rp, PathEntry &p)
{
    p.sourceId = rp.sourceId;
    p.targetCount = uint32_t(rp.displayIds.size());
    p.flags = 0;
    p.adapter = &s.adapterIds[rp.gpu];
    if (p.sourceMode) {
        *p.sourceMode = SourceMode();
        p.sourceMode->width = rp.width;
        p.sourceMode->height = rp.height;
        p.sourceMode->colorDepth = rp.colorDepth;
        p.sourceMode->x = rp.x;
        p.sourceMode->y = rp.y;
        p.sourceMode->flags = rp.gdiPrimary ? 1u : 0u;
    }
    if (!p.targets)
        return;
    for (size_t t = 0; t < rp.displayIds.size(); ++t) {
        TargetEntry &target = p.targets[t];
        target.displayId = rp.displayIds[t];
        target.targetId = rp.targetId;
        if (target.details) {
            *target.details = AdvancedTargetInfo();
            target.details->version = kAdvancedTargetVersion;
            target.details->refreshRate1K = rp.refresh1K;
        }
    }
}

int nvGetDisplayConfig(uint32_t *pathCount, PathEntry *paths)
{
    Call call;
    if (const int status = call.begin(Fn::GetDisplayConfig, pathCount != nullptr))
        return status;
    State &s = call.s;
    const uint32_t n = uint32_t(s.rig.paths.size());
    if (!paths) {
        *pathCount = n;
        return NvOk;
    }
    if (*pathCount < n) {
        *pathCount = n;
        return NvInsufficientBuffer;
    }
    if (const int status = checkPaths(s, paths))
        return status;
    for (uint32_t i = 0; i < n; ++i)
        fillPath(s, s.rig.paths[i], paths[i]);
    *pathCount = n;
    return NvOk;
}

// The display-configuration calls need no NvAPI_Initialize and answer Win32 codes.
class WindowsCall
{
public:
    WindowsCall()
        : s(state())
        , m_lock(s.mutex)
    {
        ensureRig(s);
    }

    State &s;

private:
    std::lock_guard<std::mutex> m_lock;
};

bool validQueryFlags(uint32_t flags)
{
    const uint32_t kind = flags & 0x7u;
    return (flags & ~0x17u) == 0 && (kind == 0x1u || kind == 0x2u || kind == 0x4u);
}

uint32_t windowsPathCount(const State &s)
{
    uint32_t n = 0;
    for (const RigPath &p : s.rig.paths)
        n += p.inWindows ? 1u : 0u;
    return n;
}

uint64_t adapterOf(const State &s, const RigPath &p)
{
    return s.adapterIds[p.gpu];
}

long copyWindowsName(const std::string &name, char *out, uint32_t size)
{
    if (size < name.size() + 1)
        return WinInsufficientBuffer;
    copyName(name, out, size);
    return WinSuccess;
}

// The Windows path with this adapter and source (or target) id, or -1.
int findWindowsPath(const State &s, uint64_t adapterId, uint32_t id, bool bySource)
{
    for (size_t i = 0; i < s.rig.paths.size(); ++i) {
        const RigPath &p = s.rig.paths[i];
        if (p.inWindows && adapterOf(s, p) == adapterId
            && (bySource ? p.sourceId : p.targetId) == id)
            return int(i);
    }
    return -1;
}

// The GDI name of a path's source or the friendly name of its target.
long deviceName(uint64_t adapterId, uint32_t id, bool source, char *out, uint32_t size)
{
    WindowsCall call;
    State &s = call.s;
    const int at = findWindowsPath(s, adapterId, id, source);
    if (!out || size == 0 || at < 0)
        return WinInvalidParameter;
    const Fn fn = source ? Fn::WinGetSourceName : Fn::WinGetTargetName;
    if (const long failure = injected(s, fn, pathScope(s, at)))
        return failure;
    const RigPath &path = s.rig.paths[size_t(at)];
    return copyWindowsName(source ? path.gdiName : path.monitorName, out, size);
}

} // namespace
} // namespace lmsim

using namespace lmsim;

LMSIM_EXPORT void *nvapi_QueryInterface(unsigned int id)
{
    switch (id) {
    case IdInitialize:
        return reinterpret_cast<void *>(&nvInitialize);
    case IdUnload:
        return reinterpret_cast<void *>(&nvUnload);
    case IdEnumPhysicalGpus:
        return reinterpret_cast<void *>(&nvEnumPhysicalGpus);
    case IdGpuGetFullName:
        return reinterpret_cast<void *>(&nvGetFullName);
    case IdWorkstationQuery:
        return reinterpret_cast<void *>(&nvWorkstationQuery);
    case IdGetAllDisplayIds:
        return reinterpret_cast<void *>(&nvGetAllDisplayIds);
    case IdGetConnectorInfo:
        return reinterpret_cast<void *>(&nvGetConnectorInfo);
    case IdGetEdid:
        return reinterpret_cast<void *>(&nvGetEdid);
    case IdSetEdid:
        return reinterpret_cast<void *>(&nvSetEdid);
    case IdApplyEdid:
        return reinterpret_cast<void *>(&nvApplyEdid);
    case IdEnumDisplayHandle:
        return reinterpret_cast<void *>(&nvEnumDisplayHandle);
    case IdGetAssociatedDisplayName:
        return reinterpret_cast<void *>(&nvGetAssociatedDisplayName);
    case IdGetDisplayIdByName:
        return reinterpret_cast<void *>(&nvGetDisplayIdByName);
    case IdGetOutputId:
        return reinterpret_cast<void *>(&nvGetOutputId);
    case IdGetDisplayConfig:
        return reinterpret_cast<void *>(&nvGetDisplayConfig);
    default:
        return nullptr;
    }
}

LMSIM_EXPORT long lmsim_GetDisplayConfigBufferSizes(
    uint32_t flags, uint32_t *pathCount, uint32_t *modeCount)
{
    WindowsCall call;
    State &s = call.s;
    if (!pathCount || !modeCount || !validQueryFlags(flags))
        return WinInvalidParameter;
    if (const long failure = injected(s, Fn::WinGetBufferSizes, Scope()))
        return failure;
    *pathCount = windowsPathCount(s);
    *modeCount = *pathCount * kModesPerPath;
    return WinSuccess;
}

LMSIM_EXPORT long lmsim_QueryDisplayConfig(uint32_t flags, uint32_t *pathCount,
    LmSimDisplayPath *paths, uint32_t *modeCount, void * /*modes*/)
{
    WindowsCall call;
    State &s = call.s;
    if (!pathCount || !modeCount || !validQueryFlags(flags))
        return WinInvalidParameter;
    const uint32_t n = windowsPathCount(s);
    if (const long failure = injected(s, Fn::WinQueryDisplayConfig, Scope())) {
        if (failure == WinInsufficientBuffer) {
            // A path appeared since the sizes were asked.
            *pathCount = n + 1;
            *modeCount = (n + 1) * kModesPerPath;
        }
        return failure;
    }
    if (*pathCount < n || *modeCount < n * kModesPerPath) {
        *pathCount = n;
        *modeCount = n * kModesPerPath;
        return WinInsufficientBuffer;
    }
    if (n > 0 && !paths)
        return WinInvalidParameter;
    uint32_t written = 0;
    for (const RigPath &p : s.rig.paths) {
        if (!p.inWindows)
            continue;
        paths[written].adapterId = adapterOf(s, p);
        paths[written].sourceId = p.sourceId;
        paths[written].targetId = p.targetId;
        ++written;
    }
    *pathCount = n;
    *modeCount = n * kModesPerPath;
    return WinSuccess;
}

LMSIM_EXPORT long lmsim_GetSourceDeviceName(
    uint64_t adapterId, uint32_t sourceId, char *gdiName, uint32_t size)
{
    return deviceName(adapterId, sourceId, true, gdiName, size);
}

LMSIM_EXPORT long lmsim_GetTargetDeviceName(
    uint64_t adapterId, uint32_t targetId, char *friendlyName, uint32_t size)
{
    return deviceName(adapterId, targetId, false, friendlyName, size);
}
