// Structures, ids and status values of the simulated NVIDIA driver, laid out byte for byte
// as the driver interface expects them on x86-64.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lmsim {

// Driver status values.
enum Status : int {
    NvOk = 0,
    NvError = -1,
    NvApiNotInitialized = -4,
    NvInvalidArgument = -5,
    NvDeviceNotFound = -6,
    NvEndEnumeration = -7,
    NvIncompatibleStructVersion = -9,
    NvExpectedPhysicalGpuHandle = -101,
    NvExpectedDisplayHandle = -102,
    NvNotSupported = -104,
    NvDataNotFound = -121,
    NvInsufficientBuffer = -174,
};

// Win32 codes of the display-configuration calls.
enum WinStatus : long {
    WinSuccess = 0,
    WinGenFailure = 31,
    WinInvalidParameter = 87,
    WinInsufficientBuffer = 122,
};

// Interface ids handed to nvapi_QueryInterface.
enum InterfaceId : uint32_t {
    IdInitialize = 0x0150E828u,
    IdUnload = 0xD22BDD7Eu,
    IdEnumPhysicalGpus = 0xE5AC921Fu,
    IdGpuGetFullName = 0xCEEE8E9Fu,
    IdWorkstationQuery = 0x80B1ABB9u,
    IdGetAllDisplayIds = 0x785210A2u,
    IdGetConnectorInfo = 0x9F473113u,
    IdGetEdid = 0x436CED76u,
    IdSetEdid = 0xE935D9D7u,
    IdApplyEdid = 0x0A1A174Au,
    IdEnumDisplayHandle = 0x9ABDD40Du,
    IdGetAssociatedDisplayName = 0x22A78B05u,
    IdGetDisplayIdByName = 0xAE457190u,
    IdGetOutputId = 0xD995937Eu,
    IdGetDisplayConfig = 0x11ABCCF8u,
};

// Structure version words: version number in the high 16 bits, size in the low 16.
constexpr uint32_t structVersion(uint32_t size, uint32_t version)
{
    return size | (version << 16);
}

constexpr int kMaxGpus = 64;
constexpr int kMaxDisplayHandles = 128;
constexpr int kShortStringMax = 64;
constexpr uint32_t kMaxEdidSize = 65536;
constexpr uint32_t kConnectedFlag = 1u << 6;

struct DisplayIdEntry
{
    uint32_t version;
    int32_t connectorKind;
    uint32_t displayId;
    uint32_t flags;
};

struct ConnectorEntry
{
    uint32_t type;
    uint32_t value;
};

struct ConnectorInfo
{
    uint32_t version;
    uint32_t reserved0;
    uint32_t count;
    uint32_t reserved1;
    ConnectorEntry *entries;
    uint32_t reserved2[4];
    uint32_t flags; // bit 0: DisplayPort dual mode
    uint32_t reserved3[3];
};

struct EdidData
{
    uint32_t version;
    uint32_t reserved0;
    uint8_t *data;
    uint32_t size;
    uint32_t reserved1[9];
};

struct SourceMode
{
    uint32_t width;
    uint32_t height;
    uint32_t colorDepth;
    uint32_t colorFormat;
    int32_t x;
    int32_t y;
    uint32_t spanning;
    uint32_t flags; // bit 0: GDI primary
};

struct AdvancedTargetInfo
{
    uint32_t version;
    uint32_t rotation;
    uint32_t scaling;
    uint32_t refreshRate1K;
    uint32_t flags;
    uint32_t reserved[27];
};

struct TargetEntry
{
    uint32_t displayId;
    uint32_t reserved0;
    AdvancedTargetInfo *details;
    uint32_t targetId;
    uint32_t reserved1;
};

struct PathEntry
{
    uint32_t version;
    uint32_t sourceId;
    uint32_t targetCount;
    uint32_t reserved0;
    TargetEntry *targets;
    SourceMode *sourceMode;
    uint32_t flags;
    uint32_t reserved1;
    void *adapter;
};

struct LmSimDisplayPath
{
    uint64_t adapterId;
    uint32_t sourceId;
    uint32_t targetId;
};

constexpr uint32_t kDisplayIdVersion = structVersion(sizeof(DisplayIdEntry), 3);
constexpr uint32_t kConnectorInfoVersion = structVersion(sizeof(ConnectorInfo), 2);
constexpr uint32_t kEdidVersion = structVersion(sizeof(EdidData), 2);
constexpr uint32_t kPathVersion = structVersion(sizeof(PathEntry), 2);
constexpr uint32_t kAdvancedTargetVersion = structVersion(sizeof(AdvancedTargetInfo), 1);

static_assert(sizeof(void *) == 8, "the driver layouts are those of x86-64");

static_assert(sizeof(DisplayIdEntry) == 16, "display-id entry");
static_assert(offsetof(DisplayIdEntry, connectorKind) == 4, "display-id entry");
static_assert(offsetof(DisplayIdEntry, displayId) == 8, "display-id entry");
static_assert(offsetof(DisplayIdEntry, flags) == 12, "display-id entry");
static_assert(kDisplayIdVersion == 0x30010, "display-id entry");

static_assert(sizeof(ConnectorEntry) == 8, "connector entry");
static_assert(offsetof(ConnectorEntry, value) == 4, "connector entry");

static_assert(sizeof(ConnectorInfo) == 56, "connector info");
static_assert(offsetof(ConnectorInfo, count) == 8, "connector info");
static_assert(offsetof(ConnectorInfo, entries) == 16, "connector info");
static_assert(offsetof(ConnectorInfo, flags) == 40, "connector info");
static_assert(kConnectorInfoVersion == 0x20038, "connector info");

static_assert(sizeof(EdidData) == 56, "EDID data");
static_assert(offsetof(EdidData, data) == 8, "EDID data");
static_assert(offsetof(EdidData, size) == 16, "EDID data");
static_assert(kEdidVersion == 0x20038, "EDID data");

static_assert(sizeof(SourceMode) == 32, "source mode");
static_assert(offsetof(SourceMode, height) == 4, "source mode");
static_assert(offsetof(SourceMode, colorDepth) == 8, "source mode");
static_assert(offsetof(SourceMode, x) == 16, "source mode");
static_assert(offsetof(SourceMode, y) == 20, "source mode");
static_assert(offsetof(SourceMode, flags) == 28, "source mode");

static_assert(sizeof(AdvancedTargetInfo) == 128, "advanced target info");
static_assert(offsetof(AdvancedTargetInfo, refreshRate1K) == 12, "advanced target info");
static_assert(kAdvancedTargetVersion == 0x10080, "advanced target info");

static_assert(sizeof(TargetEntry) == 24, "target entry");
static_assert(offsetof(TargetEntry, details) == 8, "target entry");
static_assert(offsetof(TargetEntry, targetId) == 16, "target entry");

static_assert(sizeof(PathEntry) == 48, "path entry");
static_assert(offsetof(PathEntry, sourceId) == 4, "path entry");
static_assert(offsetof(PathEntry, targetCount) == 8, "path entry");
static_assert(offsetof(PathEntry, targets) == 16, "path entry");
static_assert(offsetof(PathEntry, sourceMode) == 24, "path entry");
static_assert(offsetof(PathEntry, flags) == 32, "path entry");
static_assert(offsetof(PathEntry, adapter) == 40, "path entry");
static_assert(kPathVersion == 0x20030, "path entry");

static_assert(sizeof(LmSimDisplayPath) == 16, "display path");
static_assert(offsetof(LmSimDisplayPath, sourceId) == 8, "display path");
static_assert(offsetof(LmSimDisplayPath, targetId) == 12, "display path");

} // namespace lmsim
