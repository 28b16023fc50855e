#include "LMFile.h"

#include <QDir>
#include <QFileInfo>

void LMFile::removeOldLogs(
    const QString &directory, const QString &prefix, const QString &suffix, quint32 keep)
{
    QDir dir(directory);
    const QString stem = prefix + QLatin1Char('*') + suffix;
    QStringList patterns {stem, stem + QLatin1String(".old")};
    for (int generation = 1; generation <= 5; ++generation)
        patterns << stem + QLatin1String(".old") + QString::number(generation);
    dir.setNameFilters(patterns);
    dir.setSorting(QDir::Time);

    const QFileInfoList entries = dir.entryInfoList();
    for (qsizetype i = qsizetype(keep); i < entries.size(); ++i) {
        // A file that cannot go (locked, or a directory) stays; the rest still do.
        dir.remove(entries.at(i).filePath());
    }
}
