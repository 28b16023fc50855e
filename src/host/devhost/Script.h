#pragma once

#include "StimulusKind.h"
#include "ValueText.h"

#include <QDomElement>
#include <QMap>
#include <QString>

#include <vector>

class StimulusContext;

// The entries of a script file or of a show's <stimuli> section, in time order.
//
// Text form, one entry a line:  AT KIND FIELD=VALUE ...  (AT in seconds; a VALUE with
// spaces in double quotes, \" and \\ inside them; "#" begins a comment line).
// XML form: one element per entry in <stimuli>, the kind as its tag, AT as "at" and
// the fields as attributes. Both go through the same table of kinds (stimulusKinds()).
class Script
{
public:
    static constexpr int kMaxEntries = 10000;
    static constexpr qint64 kMaxTextSize = 1024 * 1024;
    static constexpr int kMaxLineLength = 4096;
    static constexpr double kMaxSeconds = 1e7;

    // Errors are "ORIGIN, line N: what is wrong".
    bool parseText(const QByteArray &text, const QString &origin, QString *error);
    bool loadFile(const QString &path, QString *error);
    bool parseSection(const QDomElement &section, const QString &origin, QString *error);
    // A stimulus without a time ("KIND FIELD=VALUE ..."), as a window pushes it at run time.
    static bool parseCommand(const QString &command, ScriptEntry *entry, QString *error);

    // Every entry's references against the loaded show; the first failing one in *error.
    bool check(const StimulusContext &host, QString *error) const;

    const std::vector<ScriptEntry> &entries() const { return m_entries; }
    bool isEmpty() const { return m_entries.empty(); }
    int expectationCount() const;
    QString origin() const { return m_origin; }

    // An expected value text agrees with a found one (ValueText::matches).
    static bool valueMatches(const QString &expected, const QString &actual)
    {
        return ValueText::matches(expected, actual);
    }

private:
    bool add(int line, const QString &timeText, const QString &kind,
        const QMap<QString, QString> &fields, QString *error);
    bool fail(int line, const QString &text, QString *error) const;

    QString m_origin;
    std::vector<ScriptEntry> m_entries;
};
