#include "LMLogLink.h"

#include <QFile>

#include <unistd.h>

void lmlogfs::replaceLink(const QString &linkPath, const QString &target)
{
    const QByteArray link = QFile::encodeName(linkPath);
    // unlink removes a link itself, never its target.
    ::unlink(link.constData());
    const int failed = ::symlink(QFile::encodeName(target).constData(), link.constData());
    Q_UNUSED(failed);
}
