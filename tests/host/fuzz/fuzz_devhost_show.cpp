// libFuzzer target: arbitrary bytes as a show file, loaded as lm_devhost loads one (parse,
// then one Show per instance with the ping plug-in's types). A show that loads is evaluated,
// its master sends the full state, and it is saved: the saved text must load again and save
// to the same text.
#include "fuzz_support.h"

#include "Show.h"

#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    fuzz::setUp(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray xml(reinterpret_cast<const char *>(data), qsizetype(size));
    QString saved;
    {
        fuzz::Host first;
        QString error;
        if (!first.host.loadShowText(xml, &error)) {
            if (error.isEmpty())
                fuzz::fail("a show was refused without a reason", QString::fromUtf8(xml));
            return 0;
        }
        first.host.evaluateAll();
        for (const std::unique_ptr<Show> &show : first.host.instances()) {
            if (show->isMaster())
                first.host.bus().sendFullState(show.get());
        }
        fuzz::deliverQueued();
        first.host.evaluateAll();
        saved = first.host.showText();
    }

    fuzz::Host second;
    QString error;
    if (!second.host.loadShowText(saved.toUtf8(), &error))
        fuzz::fail("a saved show does not load again:", error + QLatin1Char('\n') + saved);
    const QString again = second.host.showText();
    if (again != saved)
        fuzz::fail("a saved show saves differently after loading:", saved + again);
    return 0;
}
