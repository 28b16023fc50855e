#pragma once

#include "LMLogExport.h"

#include <QString>

class LMLOG_EXPORT LMFile
{
public:
    // Deletes every log of the family prefix*suffix (all generations) except
    // the keep newest by modification time. A link to one of them (the
    // "-last.log" link) counts with its target and goes with it.
    static void removeOldLogs(
        const QString &directory, const QString &prefix, const QString &suffix, quint32 keep);
};
