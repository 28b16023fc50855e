#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTest>

// The logger's own platform link code, compiled into the test.
#include "LMLogLink.h"

// Makes linkPath a symbolic link to target (relative to the link's folder),
// the way the logger makes its "-last.log" link on this platform.
inline bool makeSymLink(const QString &target, const QString &linkPath)
{
    lmlogfs::replaceLink(linkPath, target);
    return QFileInfo(linkPath).isSymLink();
}

// Windows makes symbolic links only in developer mode or with administrator
// rights, and wine before 10.20 answers CreateSymbolicLinkW with success
// without making anything; there the cases about links cannot run. Elsewhere
// links always work and nothing is skipped.
#ifdef Q_OS_WIN
#define LM_SKIP_WITHOUT_SYMLINKS(dir)                                                              \
    do {                                                                                           \
        const QString probe = QDir(dir).filePath(QStringLiteral("symlink-probe"));                 \
        const bool made = makeSymLink(QStringLiteral("nothing"), probe);                           \
        QFile::remove(probe);                                                                      \
        if (!made)                                                                                 \
            QSKIP("this Windows makes no symbolic links (no developer mode or administrator "      \
                  "rights, or wine before 10.20, whose CreateSymbolicLinkW is a stub)");           \
    } while (false)
#else
#define LM_SKIP_WITHOUT_SYMLINKS(dir)                                                              \
    do {                                                                                           \
    } while (false)
#endif
