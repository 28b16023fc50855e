#pragma once

#include <QString>
#include <XmlWriter.h>

#include <functional>

// The XML declaration and one element `tag` whose content `write` writes: a node's values
// or a value as a show file holds them.
inline QString elementXml(const QString &tag, const std::function<void(XmlWriter &)> &write)
{
    QString text;
    {
        XmlWriter writer(&text); // flushes on destruction
        writer.startElement(tag);
        write(writer);
        writer.endElement(tag);
    }
    return text;
}
