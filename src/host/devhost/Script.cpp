#include "Script.h"

#include "StimulusContext.h"
#include "StimulusFields.h"

#include <QDomNamedNodeMap>
#include <QFile>

#include <cmath>

using namespace StimulusFields;

namespace {

// Words of a text line; a word may hold double-quoted parts (\" and \\ inside them).
bool splitWords(const QString &line, QStringList *words, QString *error)
{
    QString word;
    bool inWord = false;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted) {
            if (c == QLatin1Char('\\') && i + 1 < line.size()
                && (line[i + 1] == QLatin1Char('"') || line[i + 1] == QLatin1Char('\\'))) {
                word += line[++i];
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                word += c;
            }
            continue;
        }
        if (c.isSpace()) {
            if (inWord)
                words->append(word);
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == QLatin1Char('"'))
            quoted = true;
        else
            word += c;
    }
    if (quoted)
        return failWith(error, QStringLiteral("a quoted value is not closed"));
    if (inWord)
        words->append(word);
    return true;
}

bool splitFields(const QStringList &words, Fields *fields, QString *error)
{
    for (const QString &word : words) {
        const qsizetype eq = word.indexOf(QLatin1Char('='));
        if (eq <= 0)
            return failWith(error, QStringLiteral("FIELD=VALUE expected, not \"%1\"").arg(word));
        const QString name = word.left(eq);
        if (fields->contains(name))
            return failWith(error, QStringLiteral("\"%1\" given twice").arg(name));
        fields->insert(name, word.mid(eq + 1));
    }
    return true;
}

QString kindNames()
{
    QStringList names;
    for (const StimulusKind &kind : stimulusKinds())
        names.append(kind.name);
    return names.join(QStringLiteral(", "));
}

// The kind's fields are there and no others; then its own parser.
bool parseFields(const StimulusKind &kind, const Fields &fields, ScriptEntry *entry, QString *error)
{
    for (auto it = fields.cbegin(); it != fields.cend(); ++it) {
        if (!kind.required.contains(it.key()) && !kind.optional.contains(it.key())) {
            return failWith(error,
                QStringLiteral("%1 takes no field \"%2\" (it takes %3)")
                    .arg(kind.name, it.key(),
                        (kind.required + kind.optional).join(QStringLiteral(", "))));
        }
    }
    for (const QString &name : kind.required) {
        if (!fields.contains(name))
            return failWith(
                error, QStringLiteral("%1 needs the field \"%2\"").arg(kind.name, name));
    }
    entry->kind = kind.name;
    entry->expectation = kind.expectation;
    QString reason;
    if (!kind.parse(fields, entry, &reason))
        return failWith(error, QStringLiteral("%1: %2").arg(kind.name, reason));
    return true;
}

} // namespace

bool Script::fail(int line, const QString &text, QString *error) const
{
    return failWith(error, QStringLiteral("%1, line %2: %3").arg(m_origin).arg(line).arg(text));
}

bool Script::add(int line, const QString &timeText, const QString &kindName, const Fields &fields,
    QString *error)
{
    if (m_entries.size() >= size_t(kMaxEntries))
        return fail(line, QStringLiteral("more than %1 entries").arg(kMaxEntries), error);
    const StimulusKind *kind = findStimulusKind(kindName);
    if (!kind) {
        return fail(line,
            QStringLiteral("unknown kind \"%1\" (known: %2)").arg(kindName, kindNames()), error);
    }
    bool ok = false;
    const double at = timeText.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(at) || at < 0 || at > kMaxSeconds) {
        return fail(line,
            QStringLiteral("the time \"%1\" is not a number of seconds from 0 to %2")
                .arg(timeText)
                .arg(kMaxSeconds),
            error);
    }
    ScriptEntry entry;
    entry.line = line;
    entry.atMs = std::llround(at * 1000.0);
    if (!m_entries.empty() && entry.atMs < m_entries.back().atMs) {
        return fail(line,
            QStringLiteral("%1 comes before %2 of line %3 (times must not go back)")
                .arg(secondsText(entry.atMs), secondsText(m_entries.back().atMs))
                .arg(m_entries.back().line),
            error);
    }
    QString reason;
    if (!parseFields(*kind, fields, &entry, &reason))
        return fail(line, reason, error);
    m_entries.push_back(std::move(entry));
    return true;
}

bool Script::parseText(const QByteArray &text, const QString &origin, QString *error)
{
    m_origin = origin;
    m_entries.clear();
    if (text.size() > kMaxTextSize) {
        return failWith(
            error, QStringLiteral("%1 is larger than %2 bytes").arg(origin).arg(kMaxTextSize));
    }
    const QStringList lines = QString::fromUtf8(text).split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const int line = i + 1;
        QString content = lines[i];
        if (content.endsWith(QLatin1Char('\r')))
            content.chop(1);
        if (content.size() > kMaxLineLength) {
            return fail(
                line, QStringLiteral("longer than %1 characters").arg(kMaxLineLength), error);
        }
        const QString trimmed = content.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#')))
            continue;
        QStringList words;
        Fields fields;
        QString reason;
        if (!splitWords(trimmed, &words, &reason))
            return fail(line, reason, error);
        if (words.size() < 2)
            return fail(line, QStringLiteral("TIME KIND FIELD=VALUE... expected"), error);
        if (!splitFields(words.mid(2), &fields, &reason))
            return fail(line, reason, error);
        if (!add(line, words[0], words[1], fields, error))
            return false;
    }
    return true;
}

bool Script::loadFile(const QString &path, QString *error)
{
    m_origin = QStringLiteral("script %1").arg(path);
    m_entries.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return failWith(
            error, QStringLiteral("cannot read script %1: %2").arg(path, file.errorString()));
    }
    if (file.size() > kMaxTextSize) {
        return failWith(
            error, QStringLiteral("script %1 is larger than %2 bytes").arg(path).arg(kMaxTextSize));
    }
    return parseText(file.read(kMaxTextSize + 1), m_origin, error);
}

bool Script::parseSection(const QDomElement &section, const QString &origin, QString *error)
{
    m_origin = origin;
    m_entries.clear();
    for (QDomElement e = section.firstChildElement(); !e.isNull(); e = e.nextSiblingElement()) {
        const int line = e.lineNumber();
        Fields fields;
        const QDomNamedNodeMap attributes = e.attributes();
        for (int i = 0; i < attributes.count(); ++i) {
            const QDomAttr a = attributes.item(i).toAttr();
            if (a.value().size() > kMaxLineLength) {
                return fail(line,
                    QStringLiteral("\"%1\" is longer than %2 characters")
                        .arg(a.name())
                        .arg(kMaxLineLength),
                    error);
            }
            if (a.name() != QLatin1String("at"))
                fields.insert(a.name(), a.value());
        }
        if (!e.hasAttribute(QStringLiteral("at"))) {
            return fail(
                line, QStringLiteral("<%1> needs the attribute \"at\"").arg(e.tagName()), error);
        }
        if (!add(line, e.attribute(QStringLiteral("at")), e.tagName(), fields, error))
            return false;
    }
    return true;
}

bool Script::parseCommand(const QString &command, ScriptEntry *entry, QString *error)
{
    if (command.size() > kMaxLineLength)
        return failWith(error, QStringLiteral("longer than %1 characters").arg(kMaxLineLength));
    QStringList words;
    Fields fields;
    if (!splitWords(command, &words, error))
        return false;
    if (words.isEmpty())
        return failWith(error, QStringLiteral("KIND FIELD=VALUE... expected"));
    const StimulusKind *kind = findStimulusKind(words[0]);
    if (!kind) {
        return failWith(
            error, QStringLiteral("unknown kind \"%1\" (known: %2)").arg(words[0], kindNames()));
    }
    if (kind->expectation)
        return failWith(
            error, QStringLiteral("%1 is checked in a script, not pushed").arg(kind->name));
    return splitFields(words.mid(1), &fields, error) && parseFields(*kind, fields, entry, error);
}

bool Script::check(const StimulusContext &host, QString *error) const
{
    for (const ScriptEntry &entry : m_entries) {
        if (!entry.check)
            continue;
        const QString problem = entry.check(host);
        if (!problem.isEmpty())
            return fail(entry.line, QStringLiteral("%1: %2").arg(entry.kind, problem), error);
    }
    return true;
}

int Script::expectationCount() const
{
    int count = 0;
    for (const ScriptEntry &entry : m_entries)
        count += entry.expectation ? 1 : 0;
    return count;
}
