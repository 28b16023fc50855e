#include <lmlog/XmlWriter.h>

int main()
{
    QString out;
    {
        XmlWriter writer(&out);
        writer.startElement(QStringLiteral("a"));
        writer.endElement(QStringLiteral("a"));
    }
    return out.endsWith(QStringLiteral("<a/>")) ? 0 : 1;
}
