#pragma once

#include <QByteArray>
#include <QString>

// What makes `edid` unfit to load as an EDID (header, 128-byte blocks, their checksums,
// the extension count of the base block); empty when it looks sound.
QString edidProblem(const QByteArray &edid);
