#pragma once

#include <QString>

// The platform side of the log file's "-last.log" link (LMLogLink_unix.cpp,
// LMLogLink_win.cpp).
namespace lmlogfs {

// Replaces whatever is at linkPath (the entry itself, never what it points to)
// by a symbolic link to target, which is taken relative to the link's folder.
// The log works without its link, so every failure is left alone.
void replaceLink(const QString &linkPath, const QString &target);

} // namespace lmlogfs
