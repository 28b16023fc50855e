#pragma once

#include <QString>
#include <QtGlobal>

#include <cstdint>
#include <vector>

class NvApi;

// One active display path: the adapters and ids of its source and of its target.
struct DisplayPathRef
{
    uint64_t sourceAdapterId = 0;
    uint32_t sourceId = 0;
    uint64_t targetAdapterId = 0;
    uint32_t targetId = 0;
};

// Seam over the Windows display configuration (GetDisplayConfigBufferSizes,
// QueryDisplayConfig, DisplayConfigGetDeviceInfo). Off Windows the same calls come from
// the loaded driver library, when it has them. Results are Win32 error codes.
class DisplayConfig
{
public:
    static constexpr uint32_t kActiveVirtualModeAware = 0x12;
    static constexpr long kSuccess = 0;
    static constexpr long kInsufficientBuffer = 122;
    static constexpr long kNotSupported = 50;

    explicit DisplayConfig(NvApi &driver);

    long bufferSizes(uint32_t flags, uint32_t &pathCount, uint32_t &modeCount);
    // Fills `paths` (resized to the count returned).
    long query(uint32_t flags, uint32_t &pathCount, std::vector<DisplayPathRef> &paths,
        uint32_t &modeCount);
    long sourceGdiName(const DisplayPathRef &path, QString &name);
    long targetFriendlyName(const DisplayPathRef &path, QString &name);

private:
#ifndef Q_OS_WIN
    // A path as the driver library reports it.
    struct SimDisplayPath
    {
        uint64_t adapterId = 0;
        uint32_t sourceId = 0;
        uint32_t targetId = 0;
    };
    static_assert(sizeof(SimDisplayPath) == 16);

    using BufferSizesFn = long (*)(uint32_t, uint32_t *, uint32_t *);
    using QueryFn = long (*)(uint32_t, uint32_t *, SimDisplayPath *, uint32_t *, void *);
    using NameFn = long (*)(uint64_t, uint32_t, char *, uint32_t);
    BufferSizesFn m_bufferSizes = nullptr;
    QueryFn m_query = nullptr;
    NameFn m_sourceName = nullptr;
    NameFn m_targetName = nullptr;
#endif
};
