#pragma once

#include <QIODevice>
#include <QString>
#include <QTextStream>

#include <algorithm>

// Streaming XML writer: writes straight into its target, keeps no document and
// checks nothing; callers issue the operations in a well-formed order.
// Header-only so that every component compiles the same writer in.
class XmlWriter
{
public:
    explicit XmlWriter(QString *target)
        : m_stream(new QTextStream(target, QIODevice::WriteOnly))
    {
        *m_stream << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" << Qt::endl;
    }

    ~XmlWriter()
    {
        if (m_autoLineBreaks && !m_atLineStart)
            lineBreak();
        delete m_stream;
    }

    XmlWriter(const XmlWriter &) = delete;
    XmlWriter &operator=(const XmlWriter &) = delete;

    // Off for writers built on a QString; with it on, every tag gets a line of
    // its own, indented per open element.
    void setAutoLineBreaks(bool on) { m_autoLineBreaks = on; }
    bool autoLineBreaks() const { return m_autoLineBreaks; }

    void startElement(const QString &name)
    {
        if (m_tagOpen) {
            *m_stream << '>';
            breakIfAutomatic();
        }
        writeIndentIfAtLineStart();
        m_lastStartLine = m_lineCount;
        *m_stream << '<' << name;
        m_indent.append(QString(m_indentStep, QLatin1Char(' ')));
        m_tagOpen = true;
    }

    void endElement(const QString &name)
    {
        m_indent.remove(0, m_indentStep);
        if (m_tagOpen) {
            *m_stream << "/>";
            m_tagOpen = false;
            breakIfAutomatic();
            return;
        }
        m_lastStartLine = m_lineCount;
        writeIndentIfAtLineStart();
        *m_stream << "</" << name << '>';
        breakIfAutomatic();
    }

    void attribute(const QString &name, const QString &value)
    {
        *m_stream << ' ' << name << "=\"" << escapeText(value) << '"';
    }

    void attribute(const QString &name, int value)
    {
        *m_stream << ' ' << name << "=\"" << QString::number(value) << '"';
    }

    void attribute(const QString &name, quint64 value)
    {
        *m_stream << ' ' << name << "=\"" << QString::number(value) << '"';
    }

private:
    QString escapeText(const QString &text) const
    {
        QString escaped = text;
        // XML cannot hold the other C0 controls at all, not even as character
        // references: one of them would make the whole document unreadable.
        // U+FFFD keeps the document loadable and shows where one was, so two
        // names that differ only there stay different.
        const auto forbidden = [](QChar c) {
            return c.unicode() < 0x20 && c != QLatin1Char('\t') && c != QLatin1Char('\n')
                && c != QLatin1Char('\r');
        };
        if (std::any_of(text.cbegin(), text.cend(), forbidden))
            std::replace_if(escaped.begin(), escaped.end(), forbidden, QChar::ReplacementCharacter);
        escaped.replace(QLatin1Char('&'), QLatin1String("&amp;"));
        escaped.replace(QLatin1Char('>'), QLatin1String("&gt;"));
        escaped.replace(QLatin1Char('<'), QLatin1String("&lt;"));
        escaped.replace(QLatin1Char('"'), QLatin1String("&quot;"));
        escaped.replace(QLatin1Char('\''), QLatin1String("&apos;"));
        return escaped;
    }

    void lineBreak()
    {
        *m_stream << Qt::endl;
        ++m_lineCount;
        m_atLineStart = true;
    }

    void breakIfAutomatic()
    {
        if (m_autoLineBreaks)
            lineBreak();
    }

    void writeIndentIfAtLineStart()
    {
        if (m_atLineStart) {
            *m_stream << m_indent;
            m_atLineStart = false;
        }
    }

    QTextStream *m_stream;
    QString m_indent;
    int m_indentStep = 4;
    int m_lineCount = 0;
    int m_lastStartLine = 0;
    bool m_autoLineBreaks = false;
    bool m_atLineStart = true;
    bool m_tagOpen = false;
};
