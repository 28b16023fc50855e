// libFuzzer target: reading each record type from arbitrary bytes. Whatever decodes must
// encode and decode again to the same value.
#include "HelperRecords.h"

#include <cstdint>
#include <cstdlib>

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
    switch (data[0] % 5) {
    case 0:
        check<GpuList>(bytes);
        break;
    case 1:
        check<ConnectorList>(bytes);
        break;
    case 2:
        check<ConnectorRef>(bytes);
        break;
    case 3:
        check<EdidBlock>(bytes);
        break;
    default:
        check<GpuInfo>(bytes);
        break;
    }
    return 0;
}
