#include "LMFile.h"

#include <QDir>
#include <QFileInfo>
#include <QMultiHash>
#include <QSet>

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
    // A link to a listed log (the "-last.log" link) counts with its target and
    // goes with it: kept on its own it would take a slot and then dangle.
    QSet<QString> logs;
    for (const QFileInfo &entry : entries) {
        if (!entry.isSymLink())
            logs.insert(entry.canonicalFilePath());
    }
    QMultiHash<QString, QString> linksByTarget;
    for (const QFileInfo &entry : entries) {
        if (entry.isSymLink() && logs.contains(entry.canonicalFilePath()))
            linksByTarget.insert(entry.canonicalFilePath(), entry.filePath());
    }

    quint32 kept = 0;
    for (const QFileInfo &entry : entries) {
        const QString target = entry.canonicalFilePath();
        if (entry.isSymLink() && logs.contains(target))
            continue;
        if (kept < keep) {
            ++kept;
            continue;
        }
        // A file that cannot go (locked, or a directory) stays, and so do its
        // links; the rest still go.
        if (!dir.remove(entry.filePath()))
            continue;
        for (const QString &link : linksByTarget.values(target))
            dir.remove(link);
    }
}
