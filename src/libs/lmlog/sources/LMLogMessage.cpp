#include "LMLogMessage.h"

#include "LMLog.h"
#include "XmlWriter.h"

#include <QDomDocument>
#include <QDomElement>

namespace {
const QString kElementName = QStringLiteral("LMLogMessage");
// Stable source name for the parse-error line, whatever the build directory.
constexpr char kSourceFile[] = "src/libs/lmlog/sources/LMLog";
} // namespace

LMLogMessage::LMLogMessage() = default;

LMLogMessage::LMLogMessage(const QString &message, LOG::logType type, const QDateTime &datetime)
    : m_message(message)
    , m_type(qint32(type))
    , m_datetime(datetime)
{ }

LMLogMessage::LMLogMessage(const QString &text)
{
    load(text);
}

LMLogMessage::LMLogMessage(const LMLogMessage &other) = default;
LMLogMessage &LMLogMessage::operator=(const LMLogMessage &other) = default;
LMLogMessage::~LMLogMessage() = default;

QString LMLogMessage::save() const
{
    QString result;
    XmlWriter writer(&result);
    createXMLNode(&writer);
    result.remove(QLatin1Char('|'));
    result.replace(QLatin1Char('\n'), QLatin1Char('|'));
    result.replace(QLatin1Char('*'), QChar(0x0B));
    return result;
}

void LMLogMessage::load(const QString &text)
{
    QString copy = text;
    copy.replace(QChar(0x0B), QLatin1Char('*'));
    copy.replace(QLatin1Char('|'), QLatin1Char('\n'));

    QDomDocument document;
    QString error;
    int line = 0;
    int column = 0;
    if (document.setContent(copy, true, &error, &line, &column)) {
        readDom(document.documentElement());
        return;
    }
    if (LMLog::modeContains(LOG::INFO) && LMLog::s_lmLogCat.isInfoEnabled()) {
        QMessageLogger(
            kSourceFile, __LINE__, "LMLogMessage::load", LMLog::s_lmLogCat.categoryName())
                .info()
                .noquote()
            << QStringLiteral("[LMLOG] Parsing error: Line %1 column %2: %3")
                   .arg(line)
                   .arg(column)
                   .arg(error);
    }
}

void LMLogMessage::createXMLNode(XmlWriter *writer) const
{
    writer->startElement(kElementName);
    writer->attribute(QStringLiteral("message"), m_message);
    writer->attribute(QStringLiteral("type"), int(m_type));
    writer->attribute(QStringLiteral("datetime"), m_datetime.toString(Qt::ISODateWithMs));
    writer->endElement(kElementName);
}

void LMLogMessage::readDom(const QDomElement &element)
{
    if (element.nodeName() != kElementName)
        return;
    m_message = element.attribute(QStringLiteral("message"));
    bool ok = false;
    const int type = element.attribute(QStringLiteral("type")).toInt(&ok, 10);
    m_type = ok ? type : 0;
    m_datetime
        = QDateTime::fromString(element.attribute(QStringLiteral("datetime")), Qt::ISODateWithMs);
}
