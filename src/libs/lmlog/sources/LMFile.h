#pragma once

#include "LMLogExport.h"

#include <QString>

class LMLOG_EXPORT LMFile
{
public:
    // Deletes every log of the family prefix*suffix (all generations) except
    // the keep newest by modification time.
    static void removeOldLogs(
        const QString &directory, const QString &prefix, const QString &suffix, quint32 keep);
};
