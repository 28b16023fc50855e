// libFuzzer target: arbitrary text as the text form of a log message (UTF-8 or, after a
// first byte 0x01, UTF-16). Loading must not crash; a message read from a text must save
// to one line without "*", and a message read back from its saved text must save to the
// same text again (a first save may still lose what the text form cannot carry: "|", and
// line breaks that the parser turns into spaces).
#include "LMLog.h"
#include "LMLogMessage.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void discardMessage(QtMsgType, const QMessageLogContext &, const QString &)
{ }

[[noreturn]] void fail(const char *what, const QString &detail)
{
    std::fprintf(stderr, "%s\n%s\n", what, qPrintable(detail));
    std::abort();
}

bool sameRecord(const LMLogMessage &a, const LMLogMessage &b)
{
    return a.message() == b.message() && a.type() == b.type() && a.datetime() == b.datetime()
        && a.datetime().isValid() == b.datetime().isValid();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    // The parse-error line is still produced, only not printed.
    LMLog::s_lmLogCat.setEnabled(QtInfoMsg, true);
    qInstallMessageHandler(discardMessage);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QString text;
    if (size > 0 && data[0] == 0x01) {
        text = QString::fromUtf16(
            reinterpret_cast<const char16_t *>(data + 1), qsizetype((size - 1) / 2));
    } else {
        text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    }

    const LMLogMessage first(text);
    const QString saved = first.save();
    if (saved.contains(QLatin1Char('\n')) || saved.contains(QLatin1Char('*')))
        fail("a saved message is not one line without \"*\":", saved);

    const LMLogMessage second(saved);
    const QString again = second.save();
    const LMLogMessage third(again);
    if (third.save() != again || !sameRecord(second, third))
        fail("a message read back from its saved text saves differently:", again);

    // A copy keeps all three fields.
    LMLogMessage copy;
    copy = third;
    if (!sameRecord(copy, third))
        fail("a copied message differs:", again);
    return 0;
}
