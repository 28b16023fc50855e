// libFuzzer target: arbitrary bytes as a rig file of the simulated NVIDIA driver. A refused
// rig must say why and leave the caller's rig as it was; an accepted one must hold only
// references that the simulator can follow (display indexes, GPU numbers, display ids).
#include "SimRig.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>

namespace {

[[noreturn]] void fail(const char *what, const QByteArray &rig)
{
    std::fprintf(stderr, "%s\n%s\n", what, rig.constData());
    std::abort();
}

void checkReferences(const lmsim::Rig &rig, const QByteArray &json)
{
    std::set<uint32_t> ids;
    for (const lmsim::RigDisplay &d : rig.displays) {
        if (d.gpu < 0 || size_t(d.gpu) >= rig.gpus.size())
            fail("a display on a GPU that does not exist:", json);
        if (!ids.insert(d.id).second)
            fail("a display id used twice:", json);
        if (d.connectors.empty())
            fail("a display without a connector:", json);
    }
    size_t listed = 0;
    for (size_t g = 0; g < rig.gpus.size(); ++g) {
        for (const int index : rig.gpus[g].displays) {
            if (index < 0 || size_t(index) >= rig.displays.size()
                || size_t(rig.displays[size_t(index)].gpu) != g)
                fail("a GPU lists a display that is not its own:", json);
            ++listed;
        }
    }
    if (listed != rig.displays.size())
        fail("a display that no GPU lists:", json);
    for (const lmsim::RigPath &p : rig.paths) {
        if (p.displayIds.empty() || p.gpu < 0 || size_t(p.gpu) >= rig.gpus.size())
            fail("a path without displays or GPU:", json);
        for (const uint32_t id : p.displayIds) {
            if (!ids.count(id))
                fail("a path to a display that does not exist:", json);
        }
    }
    for (const lmsim::RigHandle &h : rig.handles) {
        if (h.name.empty())
            fail("a display handle without a name:", json);
    }
    for (const lmsim::RigFailure &f : rig.failures) {
        if (int(f.fn) < 0 || f.fn >= lmsim::Fn::Count || f.status == 0 || f.from < 1)
            fail("a failure rule out of range:", json);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray json(reinterpret_cast<const char *>(data), qsizetype(size));
    lmsim::Rig rig;
    rig.gpus.resize(1); // a refusal must leave it so
    QString error;
    if (!lmsim::parseRig(json, &rig, &error)) {
        if (error.isEmpty())
            fail("a rig refused without a reason:", json);
        if (rig.gpus.size() != 1 || !rig.displays.empty())
            fail("a refused rig changed the caller's rig:", json);
        return 0;
    }
    checkReferences(rig, json);
    return 0;
}
