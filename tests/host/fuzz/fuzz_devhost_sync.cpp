// libFuzzer target: arbitrary bytes as runtime sync messages between the ping device's
// copies. The first byte picks the sending instance and whether the bytes carry their own
// type or get the full-state or change type put in front; the rest is one message per line.
// A copy that decoded anything must encode a full state that another copy reads back as
// the same state.
#include "fuzz_support.h"

#include "Show.h"
#include "SyncBus.h"
#include "ping_bridge.h"

#include <cstdint>

namespace {

const QByteArray kPingShow = R"(<lumoraShow>
  <instances>
    <producer name="Producer" master="1"/>
    <mediaServer id="1" name="Stage"/>
    <mediaServer id="2" name="Side"/>
  </instances>
  <devices><device type="Ping" id="1" name="Loopback" host="127.0.0.1" intervalSec="1"/></devices>
  <nodes>
    <node id="1" type="a7f3c142-8b2e-4d16-9f5a-3e0c7d1a8b4f">
      <propertyValues><propertyValue deviceType="Ping" deviceId="1"/></propertyValues>
    </node>
  </nodes>
</lumoraShow>)";

PingDevice *pingOf(const Show &show)
{
    return dynamic_cast<PingDevice *>(show.findDevice(PingDevice::s_typeName, 1));
}

// The full state of `from`, read by a fresh copy, must give the same state.
void checkFullState(PingDevice &from)
{
    const QByteArray state = from.encodeSyncRuntimeMessage();
    const QByteArray header = from.encodeRuntimeMessageHeader() + '*';
    LiveUpdateMessageType type;
    QByteArray payload;
    if (!state.startsWith(header)
        || !SyncBus::splitMessage(state.mid(header.size()), &type, &payload))
        fuzz::fail("a full state that the bus cannot split:", QString::fromLatin1(state));
    PingDevice copy(false);
    copy.decodeRuntimeMessage(type, payload);
    if (copy.hasStatus != from.hasStatus || copy.reachable != from.reachable)
        fuzz::fail("a full state that reads back differently:", QString::fromLatin1(state));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    fuzz::setUp(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    // Built once: loading it for every input would take most of the time.
    static fuzz::Host h;
    static const bool loaded = [] {
        QString error;
        if (!h.host.loadShowText(kPingShow, &error))
            fuzz::fail("the fuzzer's show does not load:", error);
        return true;
    }();
    Q_UNUSED(loaded)
    const auto &shows = h.host.instances();
    // Every input starts from "no result yet".
    for (const std::unique_ptr<Show> &show : shows) {
        pingOf(*show)->hasStatus = false;
        pingOf(*show)->reachable = false;
    }
    const unsigned mode = data[0];
    Show &sender = *shows[(mode & 3) % shows.size()];
    PingDevice *device = pingOf(sender);
    if (!device)
        fuzz::fail("no ping device in", sender.instanceName());

    QByteArray prefix;
    if ((mode >> 2) % 3 == 1)
        prefix = PingDevice::s_fullStateMessageType.toByteArray() + '*';
    else if ((mode >> 2) % 3 == 2)
        prefix = PingDevice::s_changeMessageType.toByteArray() + '*';

    const QByteArray bytes(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    for (const QByteArray &message : bytes.split('\n')) {
        h.host.bus().send(*device, prefix + message);
        // The copies' decoding directly too, as a host with its own transport calls it.
        LiveUpdateMessageType type;
        QByteArray payload;
        if (SyncBus::splitMessage(prefix + message, &type, &payload))
            pingOf(*shows.back())->decodeRuntimeMessage(type, payload);
    }
    fuzz::deliverQueued();
    h.host.evaluateAll();
    for (const std::unique_ptr<Show> &show : shows)
        checkFullState(*pingOf(*show));
    return 0;
}
