// The simulated machine as a rig file describes it.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace lmsim {

// Every call that a failure rule can name.
enum class Fn {
    Initialize,
    Unload,
    EnumPhysicalGpus,
    GetFullName,
    WorkstationQuery,
    GetAllDisplayIds,
    GetConnectorInfo,
    GetEdid,
    SetEdid,
    ApplyEdid,
    EnumDisplayHandle,
    GetAssociatedDisplayName,
    GetDisplayIdByName,
    GetOutputId,
    GetDisplayConfig,
    WinGetBufferSizes,
    WinQueryDisplayConfig,
    WinGetSourceName,
    WinGetTargetName,
    Count
};

bool isWindowsFunction(Fn fn);

struct RigDisplay
{
    uint32_t id = 0;
    int gpu = 0;
    std::vector<std::pair<uint32_t, uint32_t>> connectors; // type code, second value
    bool dualMode = false;
    bool connected = false;
    QByteArray edid; // the monitor's own; empty: none
    QByteArray override; // loaded override; empty: none
    uint32_t setFlag = 0;
};

struct RigGpu
{
    std::string fullName = "NVIDIA GPU";
    bool workstation = false;
    std::vector<int> displays; // indexes into Rig::displays
};

struct RigHandle
{
    std::string name;
    uint32_t displayId = 0;
    uint32_t outputId = 0;
};

struct RigPath
{
    std::vector<uint32_t> displayIds;
    int gpu = 0;
    uint32_t sourceId = 0;
    uint32_t targetId = 0;
    bool inWindows = false;
    std::string gdiName;
    std::string monitorName;
    uint32_t width = 1920;
    uint32_t height = 1080;
    uint32_t colorDepth = 32;
    uint32_t refresh1K = 60000;
    bool gdiPrimary = false;
    int32_t x = 0;
    int32_t y = 0;
};

// A failure rule; -1 / false scopes mean "any".
struct RigFailure
{
    Fn fn = Fn::Initialize;
    int gpu = -1;
    bool hasDisplayId = false;
    uint32_t displayId = 0;
    int handle = -1;
    int path = -1;
    int from = 1;
    int times = -1;
    long status = -1;
    // Use counters, kept with the rule so that they survive library reloads.
    int uses = 0;
    int failed = 0;
};

struct Rig
{
    std::vector<RigGpu> gpus;
    std::vector<RigDisplay> displays;
    std::vector<RigHandle> handles;
    std::vector<RigPath> paths;
    std::vector<RigFailure> failures;
};

// Parses a rig document; on error returns false with *error set and *rig untouched.
bool parseRig(const QByteArray &json, Rig *rig, QString *error);

// Reads the rig file at path; an empty path or an empty file is an empty rig. On error
// (a missing file too) returns false with *error set and *rig empty.
bool loadRig(const QString &path, Rig *rig, QString *error);

} // namespace lmsim
