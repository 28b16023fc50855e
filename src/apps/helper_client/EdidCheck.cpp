#include "EdidCheck.h"

namespace {

constexpr int kBlockBytes = 128;
constexpr int kExtensionCountOffset = 126;
const QByteArray kHeader = QByteArray::fromHex("00ffffffffffff00");

} // namespace

QString edidProblem(const QByteArray &edid)
{
    if (edid.size() < kBlockBytes || edid.size() % kBlockBytes != 0)
        return QStringLiteral("%1 bytes are not whole 128-byte blocks").arg(edid.size());
    if (!edid.startsWith(kHeader))
        return QStringLiteral("it does not start with the 8-byte EDID header");
    const qsizetype blocks = edid.size() / kBlockBytes;
    for (qsizetype block = 0; block < blocks; ++block) {
        quint8 sum = 0;
        for (int i = 0; i < kBlockBytes; ++i)
            sum += quint8(edid.at(block * kBlockBytes + i));
        if (sum != 0)
            return QStringLiteral("block %1 has a wrong checksum (its bytes add up to 0x%2, "
                                  "not 0x00)")
                .arg(block)
                .arg(sum, 2, 16, QLatin1Char('0'));
    }
    const int extensions = quint8(edid.at(kExtensionCountOffset));
    if (extensions != blocks - 1)
        return QStringLiteral("the base block announces %1 extension blocks, the file holds %2")
            .arg(extensions)
            .arg(blocks - 1);
    return QString();
}
