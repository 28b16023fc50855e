#pragma once

#include <QDomElement>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

class DevHost;

// One scripted entry: a stimulus the host applies, or an expectation it checks, at a
// time of the run. The kind's parser turns the written fields into the closures.
struct ScriptEntry
{
    // Where it was written (1-based line of the script or of the show file).
    int line = 0;
    // Milliseconds after the start of the run.
    qint64 atMs = 0;
    QString kind;
    bool expectation = false;
    // The references the entry makes into the show; an empty text when they hold.
    std::function<QString(const DevHost &)> check;
    // A stimulus: what it does to the running host.
    std::function<void(DevHost &)> apply;
    // An expectation: nullopt when met, otherwise "expected ..., found ...".
    std::function<std::optional<QString>(const DevHost &)> verify;
};

// The entries of a script file or of a show's <stimuli> section, in time order.
//
// Text form, one entry a line:  AT KIND FIELD=VALUE ...  (AT in seconds; a VALUE with
// spaces in double quotes, \" and \\ inside them; "#" begins a comment line).
// XML form: one element per entry in <stimuli>, the kind as its tag, AT as "at" and
// the fields as attributes. Both go through the same table of kinds.
class Script
{
public:
    static constexpr int MaxEntries = 10000;
    static constexpr qint64 MaxTextSize = 1024 * 1024;
    static constexpr int MaxLineLength = 4096;
    static constexpr double MaxSeconds = 1e7;

    // What a kind takes besides the time and how it is turned into an entry.
    struct Kind
    {
        QString name;
        bool expectation = false;
        QStringList required;
        QStringList optional;
        // Reads the fields (all present, none unknown) into the entry's closures.
        bool (*parse)(const QMap<QString, QString> &fields, ScriptEntry *entry, QString *error);
    };
    static const QList<Kind> &kinds();
    static const Kind *findKind(const QString &name);

    // Errors are "ORIGIN, line N: what is wrong".
    bool parseText(const QByteArray &text, const QString &origin, QString *error);
    bool loadFile(const QString &path, QString *error);
    bool parseSection(const QDomElement &section, const QString &origin, QString *error);
    // A stimulus without a time ("KIND FIELD=VALUE ..."), as a window pushes it at run time.
    static bool parseCommand(const QString &command, ScriptEntry *entry, QString *error);

    // Every entry's references against the loaded show; the first failing one in *error.
    bool check(const DevHost &host, QString *error) const;

    const std::vector<ScriptEntry> &entries() const { return m_entries; }
    bool isEmpty() const { return m_entries.empty(); }
    int expectationCount() const;
    QString origin() const { return m_origin; }

    // Expected and found value texts (as DevHost::describe prints them) agree: the text
    // between the numbers is equal, and each number is equal at as many significant
    // digits as the expected one is written with, and at least 6.
    static bool valueMatches(const QString &expected, const QString &actual);

private:
    bool add(int line, const QString &timeText, const QString &kind,
        const QMap<QString, QString> &fields, QString *error);
    bool fail(int line, const QString &text, QString *error) const;

    QString m_origin;
    std::vector<ScriptEntry> m_entries;
};
