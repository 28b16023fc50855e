#include "StimulusKind.h"

const QList<StimulusKind> &stimulusKinds()
{
    // A new device's stimuli: one file with its kinds, and one line here.
    static const QList<StimulusKind> table
        = touchStimulusKinds() + expectationStimulusKinds() + boardStimulusKinds();
    return table;
}

const StimulusKind *findStimulusKind(const QString &name)
{
    for (const StimulusKind &kind : stimulusKinds()) {
        if (kind.name == name)
            return &kind;
    }
    return nullptr;
}
