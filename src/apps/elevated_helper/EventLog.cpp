#include "EventLog.h"

QByteArray eventLogText(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    const QByteArray suffix = " [cut, " + QByteArray::number(utf8.size()) + " bytes in all]";
    QByteArray out;
    out.reserve(utf8.size() + 16);
    // The last place, between two characters, where a cut leaves room for the suffix.
    qsizetype cutAt = 0;
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte & 0xC0) != 0x80 && out.size() <= kEventTextLimit - suffix.size())
            cutAt = out.size();
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (byte < 0x20 || byte == 0x7F)
            out += "\\x" + QByteArray::number(byte, 16).rightJustified(2, '0');
        else
            out += c;
    }
    if (out.size() <= kEventTextLimit)
        return out;
    out.truncate(cutAt);
    return out + suffix;
}

QByteArray eventLogLine(const QString &text)
{
    return eventLogText(text) + '\n';
}

void reportEvent(const QString &text)
{
    const QByteArray entry = eventLogText(text);
    reportToSystemLog(entry);
    appendToEventLogFile(entry + '\n');
}
