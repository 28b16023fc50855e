#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class StimulusContext;

// One scripted entry: a stimulus the host applies, or an expectation it checks, at a
// time of the run. The kind's parser turns the written fields into the closures, which
// reach the host through StimulusContext only.
struct ScriptEntry
{
    // Where it was written (1-based line of the script or of the show file).
    int line = 0;
    // Milliseconds after the start of the run.
    qint64 atMs = 0;
    QString kind;
    bool expectation = false;
    // The references the entry makes into the show; an empty text when they hold.
    std::function<QString(const StimulusContext &)> check;
    // A stimulus: what it does to the running host.
    std::function<void(StimulusContext &)> apply;
    // An expectation: nullopt when met, otherwise "expected ..., found ...".
    std::function<std::optional<QString>(const StimulusContext &)> verify;
};

// A kind of entry: what it takes besides the time and how it is turned into an entry.
struct StimulusKind
{
    QString name;
    bool expectation = false;
    QStringList required;
    QStringList optional;
    // Reads the fields (all present, none unknown) into the entry's closures.
    bool (*parse)(const QMap<QString, QString> &fields, ScriptEntry *entry, QString *error);
};

// The table of every kind, in the order messages list them (StimulusKinds.cpp).
const QList<StimulusKind> &stimulusKinds();
// The kind named `name`, or null.
const StimulusKind *findStimulusKind(const QString &name);

// Each file's kinds, as the table takes them.
QList<StimulusKind> touchStimulusKinds(); // TouchStimulus.cpp
QList<StimulusKind> expectationStimulusKinds(); // ExpectationStimuli.cpp
QList<StimulusKind> boardStimulusKinds(); // BoardStimuli.cpp
