#pragma once

// Our own layouts of the NVAPI calls and structures the helper uses (x86-64, natural
// alignment). Structure versions encode the version number and the byte size.

#include <cstddef>
#include <cstdint>

namespace nv {

using Handle = void *;

constexpr int kOk = 0;
constexpr int kEndEnumeration = -7;
// Returned by the seam itself when the driver library or the function is missing.
constexpr int kLibraryNotFound = -2;
constexpr int kNoImplementation = -3;

enum InterfaceId : uint32_t {
    kInitialize = 0x0150E828,
    kUnload = 0xD22BDD7E,
    kEnumPhysicalGpus = 0xE5AC921F,
    kGpuGetFullName = 0xCEEE8E9F,
    kGpuWorkstationFeature = 0x80B1ABB9,
    kGpuGetAllDisplayIds = 0x785210A2,
    kConnectorInfo = 0x9F473113,
    kReadEdid = 0x436CED76,
    kSetEdid = 0xE935D9D7,
    kApplyEdid = 0x0A1A174A,
    kEnumNvidiaDisplayHandle = 0x9ABDD40D,
    kGetAssociatedNvidiaDisplayName = 0x22A78B05,
    kGetDisplayIdByDisplayName = 0xAE457190,
    kDisplayOutputId = 0xD995937E,
    kGetDisplayConfig = 0x11ABCCF8,
};

constexpr int kMaxPhysicalGpus = 64;
constexpr int kShortStringSize = 64;
constexpr uint32_t kWorkstationFeature = 2;

struct DisplayIdEntry
{
    uint32_t version;
    uint32_t connectorType;
    uint32_t displayId;
    uint32_t flags;
};
constexpr uint32_t kDisplayIdEntryVersion = 0x30010;
constexpr uint32_t kDisplayIdConnected = 1u << 6;
static_assert(sizeof(DisplayIdEntry) == 16);
static_assert(offsetof(DisplayIdEntry, displayId) == 8);
static_assert(offsetof(DisplayIdEntry, flags) == 12);

struct ConnectorEntry
{
    uint32_t typeCode;
    uint32_t secondValue;
};
static_assert(sizeof(ConnectorEntry) == 8);

struct ConnectorInfo
{
    uint32_t version;
    uint32_t reserved0;
    uint32_t entryCount;
    uint32_t reserved1;
    ConnectorEntry *entries;
    uint32_t reserved2[4];
    uint32_t flags; // bit 0: first id of a DisplayPort dual-mode pair
    uint32_t reserved3[3];
};
constexpr uint32_t kConnectorInfoVersion = 0x20038;
constexpr uint32_t kConnectorEntriesAsked = 4;
static_assert(sizeof(ConnectorInfo) == 56);
static_assert(sizeof(ConnectorInfo) == (kConnectorInfoVersion & 0xFFFF));
static_assert(offsetof(ConnectorInfo, entryCount) == 8);
static_assert(offsetof(ConnectorInfo, entries) == 16);
static_assert(offsetof(ConnectorInfo, flags) == 40);

struct EdidData
{
    uint32_t version;
    uint32_t reserved0;
    uint8_t *edid;
    uint32_t size;
    uint32_t reserved1[9];
};
constexpr uint32_t kEdidDataVersion = 0x20038;
constexpr uint32_t kEdidOverriddenFlag = 3;
static_assert(sizeof(EdidData) == 56);
static_assert(sizeof(EdidData) == (kEdidDataVersion & 0xFFFF));
static_assert(offsetof(EdidData, edid) == 8);
static_assert(offsetof(EdidData, size) == 16);

struct SourceMode
{
    uint32_t width;
    uint32_t height;
    uint32_t colorDepth;
    uint32_t reserved[4];
    uint32_t flags; // bit 0: the Windows primary display
};
static_assert(sizeof(SourceMode) == 32);
static_assert(offsetof(SourceMode, height) == 4);
static_assert(offsetof(SourceMode, colorDepth) == 8);
static_assert(offsetof(SourceMode, flags) == 28);

struct AdvancedTargetInfo
{
    uint32_t version;
    uint32_t reserved0[2];
    uint32_t refreshRate1K;
    uint32_t reserved1[28];
};
constexpr uint32_t kAdvancedTargetInfoVersion = 0x10080;
static_assert(sizeof(AdvancedTargetInfo) == 128);
static_assert(sizeof(AdvancedTargetInfo) == (kAdvancedTargetInfoVersion & 0xFFFF));
static_assert(offsetof(AdvancedTargetInfo, refreshRate1K) == 12);

struct PathTarget
{
    uint32_t displayId;
    uint32_t reserved0;
    AdvancedTargetInfo *details;
    uint32_t targetId;
    uint32_t reserved1;
};
static_assert(sizeof(PathTarget) == 24);
static_assert(offsetof(PathTarget, details) == 8);
static_assert(offsetof(PathTarget, targetId) == 16);

struct PathInfo
{
    uint32_t version;
    uint32_t sourceId;
    uint32_t targetCount;
    uint32_t reserved0;
    PathTarget *targets;
    SourceMode *sourceMode;
    uint32_t flags;
    uint32_t reserved1;
    void *adapter;
};
constexpr uint32_t kPathInfoVersion = 0x20030;
static_assert(sizeof(PathInfo) == 48);
static_assert(sizeof(PathInfo) == (kPathInfoVersion & 0xFFFF));
static_assert(offsetof(PathInfo, sourceId) == 4);
static_assert(offsetof(PathInfo, targetCount) == 8);
static_assert(offsetof(PathInfo, targets) == 16);
static_assert(offsetof(PathInfo, sourceMode) == 24);
static_assert(offsetof(PathInfo, flags) == 32);
static_assert(offsetof(PathInfo, adapter) == 40);

} // namespace nv
