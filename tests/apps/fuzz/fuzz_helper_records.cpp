// libFuzzer target: reading each record type from arbitrary bytes. Whatever decodes must
// encode and decode again to the same value.
#include "HelperRecords.h"

#include <cstdint>
#include <cstdlib>
#include <iterator>

namespace {

template<typename T>
void check(const QByteArray &bytes)
{
    T value;
    if (!decodeBlock(bytes, value))
        return;
    T again;
    if (!decodeWholeBlock(encodeBlock(value), again) || !(again == value))
        abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    static void (*const checks[])(const QByteArray &) = {check<GpuList>, check<ConnectorList>,
        check<ConnectorRef>, check<EdidBlock>, check<GpuInfo>};
    checks[data[0] % std::size(checks)](bytes);
    return 0;
}
