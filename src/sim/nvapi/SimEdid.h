// Builds real EDID blocks from a short monitor description, so that simulated monitors
// look like real ones to every EDID tool.
#pragma once

#include <QByteArray>
#include <QString>

namespace lmsim {

enum class EdidInterface { DisplayPort, Hdmi, Dvi };

struct EdidDescription
{
    QString name; // at most 13 printable ASCII characters
    QString manufacturer = QStringLiteral("LMS");
    int productCode = 1;
    quint32 serial = 0;
    int week = 1;
    int year = 2020;
    int width = 1920;
    int height = 1080;
    int refresh = 60;
    int widthMm = 600;
    int heightMm = 0; // 0: from the aspect ratio
    EdidInterface digital = EdidInterface::DisplayPort;
    bool extension = false;
};

// The EDID (128 bytes, 256 with the CTA extension); empty with *error set when the
// description cannot be encoded.
QByteArray buildEdid(const EdidDescription &description, QString *error);

// True when every 128-byte block of edid sums to 0 modulo 256.
bool edidChecksumsValid(const QByteArray &edid);

} // namespace lmsim
