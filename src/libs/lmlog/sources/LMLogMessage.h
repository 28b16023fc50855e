#pragma once

#include "LMLogExport.h"

#include <QDateTime>
#include <QMetaType>
#include <QString>

namespace LOG {
enum logType : int;
}

class QDomElement;
class XmlWriter;

// One message meant for the user. Its text form is a single line: the XML
// form with "|" removed, line breaks as "|" and "*" as vertical tabs.
class LMLOG_EXPORT LMLogMessage
{
public:
    LMLogMessage();
    LMLogMessage(const QString &message, LOG::logType type, const QDateTime &datetime);
    explicit LMLogMessage(const QString &text);
    LMLogMessage(const LMLogMessage &other);
    LMLogMessage &operator=(const LMLogMessage &other);
    ~LMLogMessage();

    const QString &message() const { return m_message; }
    LOG::logType type() const { return static_cast<LOG::logType>(m_type); }
    const QDateTime &datetime() const { return m_datetime; }

    QString save() const;
    void load(const QString &text);

private:
    void createXMLNode(XmlWriter *writer) const;
    void readDom(const QDomElement &element);

    QString m_message;
    qint32 m_type = 0;
    QDateTime m_datetime;
};

Q_DECLARE_METATYPE(LMLogMessage)
