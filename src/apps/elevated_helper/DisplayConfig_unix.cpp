#include "DisplayConfig.h"

#include "NvApi.h"

#include <cstring>

DisplayConfig::DisplayConfig(NvApi &driver)
    : m_bufferSizes(
        reinterpret_cast<BufferSizesFn>(driver.resolveSymbol("lmsim_GetDisplayConfigBufferSizes")))
    , m_query(reinterpret_cast<QueryFn>(driver.resolveSymbol("lmsim_QueryDisplayConfig")))
    , m_sourceName(reinterpret_cast<NameFn>(driver.resolveSymbol("lmsim_GetSourceDeviceName")))
    , m_targetName(reinterpret_cast<NameFn>(driver.resolveSymbol("lmsim_GetTargetDeviceName")))
{ }

long DisplayConfig::bufferSizes(uint32_t flags, uint32_t &pathCount, uint32_t &modeCount)
{
    return m_bufferSizes ? m_bufferSizes(flags, &pathCount, &modeCount) : kNotSupported;
}

long DisplayConfig::query(
    uint32_t flags, uint32_t &pathCount, std::vector<DisplayPathRef> &paths, uint32_t &modeCount)
{
    if (!m_query)
        return kNotSupported;
    std::vector<SimDisplayPath> simPaths(pathCount, SimDisplayPath());
    // Room for Windows-sized mode entries, in case the library fills them.
    std::vector<unsigned char> modes(size_t(modeCount) * 64u);
    const uint32_t room = pathCount;
    const long result = m_query(flags, &pathCount, simPaths.data(), &modeCount, modes.data());
    paths.clear();
    if (result != kSuccess)
        return result;
    simPaths.resize(qMin(room, pathCount));
    for (const SimDisplayPath &p : simPaths) {
        // The library's paths carry one adapter for source and target.
        DisplayPathRef ref;
        ref.sourceAdapterId = p.adapterId;
        ref.sourceId = p.sourceId;
        ref.targetAdapterId = p.adapterId;
        ref.targetId = p.targetId;
        paths.push_back(ref);
    }
    return result;
}

namespace {

long fetchName(
    long (*fn)(uint64_t, uint32_t, char *, uint32_t), uint64_t adapter, uint32_t id, QString &name)
{
    if (!fn)
        return DisplayConfig::kNotSupported;
    char buffer[256] = {};
    const long result = fn(adapter, id, buffer, sizeof(buffer));
    if (result == DisplayConfig::kSuccess)
        name = QString::fromUtf8(buffer, qsizetype(strnlen(buffer, sizeof(buffer))));
    return result;
}

} // namespace

long DisplayConfig::sourceGdiName(const DisplayPathRef &path, QString &name)
{
    return fetchName(m_sourceName, path.sourceAdapterId, path.sourceId, name);
}

long DisplayConfig::targetFriendlyName(const DisplayPathRef &path, QString &name)
{
    return fetchName(m_targetName, path.targetAdapterId, path.targetId, name);
}
