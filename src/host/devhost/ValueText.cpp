#include "ValueText.h"

#include "NodeData.h"

#include <QDomDocument>
#include <QDomNamedNodeMap>
#include <QRegularExpression>
#include <QStringList>
#include <XmlWriter.h>

namespace {

// As many digits as tell the float apart, and never fewer than 6 ("%g").
QString floatText(float value)
{
    for (int digits = 6; digits < 9; ++digits) {
        const QString text = QString::number(double(value), 'g', digits);
        if (text.toFloat() == value)
            return text;
    }
    return QString::number(double(value), 'g', 9);
}

} // namespace

QString ValueText::describe(const ANodeData *value)
{
    if (!value)
        return QStringLiteral("(none)");
    if (!value->defined)
        return QStringLiteral("(undefined)");
    if (const auto *b = dynamic_cast<const BoolData *>(value))
        return b->value ? QStringLiteral("true") : QStringLiteral("false");
    if (const auto *i = dynamic_cast<const IntData *>(value))
        return QString::number(i->value);
    if (const auto *v = dynamic_cast<const Vec2Data *>(value))
        return QStringLiteral("(%1, %2)").arg(floatText(v->x), floatText(v->y));
    if (const auto *d = dynamic_cast<const DeviceDescriptorData *>(value))
        return QStringLiteral("%1 #%2").arg(d->deviceType, QString::number(d->deviceId));
    // Any other kind: its stored attributes.
    QDomDocument doc;
    if (!doc.setContent(storedXml(*value)))
        return QStringLiteral("(unreadable)");
    const QDomNamedNodeMap attributes = doc.documentElement().attributes();
    QStringList parts;
    for (int i = 0; i < attributes.count(); ++i) {
        const QDomAttr a = attributes.item(i).toAttr();
        parts.append(QStringLiteral("%1=%2").arg(a.name(), a.value()));
    }
    parts.sort();
    return parts.join(QLatin1Char(' '));
}

bool ValueText::matches(const QString &expected, const QString &actual)
{
    static const QRegularExpression number(
        QStringLiteral("[-+]?(?:\\d+(?:\\.\\d*)?|\\.\\d+)(?:[eE][-+]?\\d+)?"));
    const auto split = [](const QString &text, QStringList *pieces, QStringList *numbers) {
        qsizetype from = 0;
        QRegularExpressionMatchIterator it = number.globalMatch(text);
        while (it.hasNext()) {
            const QRegularExpressionMatch m = it.next();
            pieces->append(text.mid(from, m.capturedStart() - from));
            numbers->append(m.captured());
            from = m.capturedEnd();
        }
        pieces->append(text.mid(from));
    };
    QStringList expectedPieces, expectedNumbers, actualPieces, actualNumbers;
    split(expected.trimmed(), &expectedPieces, &expectedNumbers);
    split(actual.trimmed(), &actualPieces, &actualNumbers);
    if (expectedPieces != actualPieces || expectedNumbers.size() != actualNumbers.size())
        return false;
    for (qsizetype i = 0; i < expectedNumbers.size(); ++i) {
        // As precise as the expected number is written, and at least "%g" (6 digits).
        QString mantissa
            = expectedNumbers[i].section(QRegularExpression(QStringLiteral("[eE]")), 0, 0);
        mantissa.remove(QRegularExpression(QStringLiteral("[^0-9]")));
        while (mantissa.startsWith(QLatin1Char('0')))
            mantissa.remove(0, 1);
        const int digits = int(qBound(qsizetype(6), mantissa.size(), qsizetype(17)));
        if (QString::number(expectedNumbers[i].toDouble(), 'g', digits)
            != QString::number(actualNumbers[i].toDouble(), 'g', digits)) {
            return false;
        }
    }
    return true;
}

QString ValueText::storedXml(const ANodeData &value)
{
    QString xml;
    {
        // Its stream writes the text out when it goes.
        XmlWriter writer(&xml);
        writer.startElement(QStringLiteral("v"));
        value.serialize(writer);
        writer.endElement(QStringLiteral("v"));
    }
    return xml;
}
