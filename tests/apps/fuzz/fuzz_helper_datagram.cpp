// libFuzzer target: whole request datagrams through the command handler, no driver.
#include "HelperCommands.h"

#include <QByteArray>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    setenv("LM_NVAPI_LIBRARY", "/nonexistent/liblm_nvapi_fuzz.so", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray datagram(reinterpret_cast<const char *>(data), qsizetype(size));
    const HelperResponse response = respondToDatagram(datagram, [](const QString &) {});
    if (response.action == HelperResponse::Action::Reply
        && !response.datagram.startsWith("[FORWARDTO="))
        abort();
    return 0;
}
