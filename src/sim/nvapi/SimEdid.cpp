#include "SimEdid.h"

#include <algorithm>
#include <cmath>

namespace lmsim {

namespace {

constexpr int kBlockSize = 128;
constexpr int kDescriptorSize = 18;
constexpr int kTextLength = 13;

// Reduced-blanking timing of the preferred mode.
constexpr int kHorizontalBlank = 160;
constexpr int kHorizontalFront = 48;
constexpr int kHorizontalSync = 32;
constexpr int kVerticalFront = 3;
constexpr int kVerticalSync = 5;
constexpr int kMinVerticalBlank = 14;
constexpr double kMinVerticalBlankSeconds = 460e-6;

struct Timing
{
    int clock10kHz = 0;
    int htotal = 0;
    int vblank = 0;
    double hfreqKHz = 0.0;
    double vfreqHz = 0.0;
};

void setChecksum(QByteArray &edid, int block)
{
    int sum = 0;
    for (int i = 0; i < kBlockSize - 1; ++i)
        sum += quint8(edid[block * kBlockSize + i]);
    edid[block * kBlockSize + kBlockSize - 1] = char((256 - sum % 256) % 256);
}

QByteArray textDescriptor(quint8 tag, const QByteArray &text)
{
    QByteArray d(kDescriptorSize, '\0');
    d[3] = char(tag);
    QByteArray body = text.left(kTextLength);
    if (body.size() < kTextLength)
        body.append('\n');
    while (body.size() < kTextLength)
        body.append(' ');
    d.replace(5, kTextLength, body);
    return d;
}

bool computeTiming(const EdidDescription &desc, Timing *t, QString *error)
{
    const int vtotalMin
        = int(std::ceil(desc.height / (1.0 - kMinVerticalBlankSeconds * desc.refresh)));
    t->vblank = std::max(vtotalMin - desc.height, kMinVerticalBlank);
    t->htotal = desc.width + kHorizontalBlank;
    const double vtotal = desc.height + t->vblank;
    const double pixelClock = double(t->htotal) * vtotal * desc.refresh;
    t->clock10kHz = int(std::ceil(pixelClock / 10000.0));
    if (t->clock10kHz > 65535) {
        *error = QStringLiteral("the preferred mode needs a pixel clock above 655.35 MHz");
        return false;
    }
    if (t->vblank > 4095) {
        *error = QStringLiteral("the preferred mode cannot be described");
        return false;
    }
    t->hfreqKHz = t->clock10kHz * 10.0 / t->htotal;
    t->vfreqHz = t->hfreqKHz * 1000.0 / vtotal;
    return true;
}

QByteArray detailedTiming(const EdidDescription &desc, const Timing &t, int heightMm)
{
    QByteArray d(kDescriptorSize, '\0');
    const int hblank = kHorizontalBlank;
    d[0] = char(t.clock10kHz & 0xff);
    d[1] = char(t.clock10kHz >> 8);
    d[2] = char(desc.width & 0xff);
    d[3] = char(hblank & 0xff);
    d[4] = char(((desc.width >> 8) << 4) | (hblank >> 8));
    d[5] = char(desc.height & 0xff);
    d[6] = char(t.vblank & 0xff);
    d[7] = char(((desc.height >> 8) << 4) | (t.vblank >> 8));
    d[8] = char(kHorizontalFront);
    d[9] = char(kHorizontalSync);
    d[10] = char((kVerticalFront << 4) | kVerticalSync);
    d[11] = 0;
    d[12] = char(desc.widthMm & 0xff);
    d[13] = char(heightMm & 0xff);
    d[14] = char(((desc.widthMm >> 8) << 4) | (heightMm >> 8));
    d[17] = char(0x1e); // digital separate sync, both polarities positive
    return d;
}

QByteArray rangeLimits(const Timing &t)
{
    // Wide enough for the preferred mode and for 640x480 at 60 Hz, which every
    // monitor with a CTA extension must offer.
    const int minV = 23;
    const int maxV = std::max(int(std::ceil(t.vfreqHz)), 60) + 1;
    const int minH = std::min(int(std::floor(t.hfreqKHz)), 31) - 1;
    int maxH = std::max(int(std::ceil(t.hfreqKHz)), 32) + 1;
    const int maxClock = t.clock10kHz / 1000 + 2;
    QByteArray d(kDescriptorSize, '\0');
    d[3] = char(0xfd);
    if (maxH > 255) {
        d[4] = char(0x08);
        maxH -= 255;
    }
    d[5] = char(minV);
    d[6] = char(maxV);
    d[7] = char(minH);
    d[8] = char(maxH);
    d[9] = char(maxClock);
    d[10] = char(0x01); // range limits only
    d[11] = char(0x0a);
    for (int i = 12; i < kDescriptorSize; ++i)
        d[i] = ' ';
    return d;
}

QByteArray ctaExtension()
{
    QByteArray block(kBlockSize, '\0');
    block[0] = char(0x02);
    block[1] = char(0x03);
    block[3] = char(0x80); // IT formats underscanned
    // Video capability block: RGB quantization selectable, IT and CE underscanned.
    const char capabilityBlock[] = {char((7 << 5) | 2), char(0x00), char(0x4a)};
    block.replace(4, 3, QByteArray(capabilityBlock, 3));
    block[2] = char(4 + 3);
    return block;
}

bool validate(const EdidDescription &desc, QString *error)
{
    const QByteArray name = desc.name.toLatin1();
    if (desc.name.isEmpty() || desc.name.size() > kTextLength) {
        *error = QStringLiteral("EDID name must have 1 to 13 characters");
        return false;
    }
    for (const char c : name) {
        if (c < 0x20 || c > 0x7e) {
            *error = QStringLiteral("EDID name must be printable ASCII");
            return false;
        }
    }
    if (desc.manufacturer.size() != 3) {
        *error = QStringLiteral("EDID manufacturer must be three letters A-Z");
        return false;
    }
    for (const QChar c : desc.manufacturer) {
        if (c < QLatin1Char('A') || c > QLatin1Char('Z')) {
            *error = QStringLiteral("EDID manufacturer must be three letters A-Z");
            return false;
        }
    }
    struct Range
    {
        int value, min, max;
        const char *what;
    };
    const Range ranges[] = {
        {desc.productCode, 0, 65535, "productCode"},
        {desc.week, 0, 54, "week"},
        {desc.year, 1990, 2245, "year"},
        {desc.width, 64, 4095, "width"},
        {desc.height, 64, 4095, "height"},
        {desc.refresh, 24, 240, "refresh"},
        {desc.widthMm, 1, 2550, "widthMm"},
        {desc.heightMm, 0, 2550, "heightMm"},
    };
    for (const Range &r : ranges) {
        if (r.value < r.min || r.value > r.max) {
            *error = QStringLiteral("EDID %1 must be within %2..%3")
                         .arg(QLatin1String(r.what))
                         .arg(r.min)
                         .arg(r.max);
            return false;
        }
    }
    return true;
}

} // namespace

QByteArray buildEdid(const EdidDescription &desc, QString *error)
{
    Timing timing;
    if (!validate(desc, error) || !computeTiming(desc, &timing, error))
        return {};
    const int heightMm = desc.heightMm > 0
        ? desc.heightMm
        : std::max(1, int(std::lround(double(desc.widthMm) * desc.height / desc.width)));

    QByteArray edid(kBlockSize, '\0');
    const char header[]
        = {0, char(0xff), char(0xff), char(0xff), char(0xff), char(0xff), char(0xff), 0};
    edid.replace(0, 8, QByteArray(header, 8));
    const QByteArray m = desc.manufacturer.toLatin1();
    const int vendor = ((m[0] - '@') << 10) | ((m[1] - '@') << 5) | (m[2] - '@');
    edid[8] = char(vendor >> 8);
    edid[9] = char(vendor & 0xff);
    edid[10] = char(desc.productCode & 0xff);
    edid[11] = char(desc.productCode >> 8);
    for (int i = 0; i < 4; ++i)
        edid[12 + i] = char((desc.serial >> (8 * i)) & 0xff);
    edid[16] = char(desc.week);
    edid[17] = char(desc.year - 1990);
    edid[18] = 1;
    edid[19] = 4;
    const quint8 interfaceBits = desc.digital == EdidInterface::DisplayPort ? 0x05
        : desc.digital == EdidInterface::Hdmi                               ? 0x02
                                                                            : 0x01;
    edid[20] = char(0xa0 | interfaceBits); // digital, 8 bits per colour
    edid[21] = char(std::clamp(int(std::lround(desc.widthMm / 10.0)), 1, 255));
    edid[22] = char(std::clamp(int(std::lround(heightMm / 10.0)), 1, 255));
    edid[23] = char(120); // gamma 2.2
    edid[24] = char(0x06); // sRGB default, preferred timing is native

    // sRGB primaries and white point, 10-bit fractions.
    const int chroma[8] = {655, 338, 307, 614, 154, 61, 320, 337};
    edid[25] = char(
        ((chroma[0] & 3) << 6) | ((chroma[1] & 3) << 4) | ((chroma[2] & 3) << 2) | (chroma[3] & 3));
    edid[26] = char(
        ((chroma[4] & 3) << 6) | ((chroma[5] & 3) << 4) | ((chroma[6] & 3) << 2) | (chroma[7] & 3));
    for (int i = 0; i < 8; ++i)
        edid[27 + i] = char(chroma[i] >> 2);
    edid[35] = char(0x20); // 640x480 at 60 Hz
    for (int i = 38; i < 54; ++i)
        edid[i] = 1; // no standard timings

    QByteArray descriptors = detailedTiming(desc, timing, heightMm);
    descriptors += rangeLimits(timing);
    descriptors += textDescriptor(0xfc, desc.name.toLatin1());
    QByteArray dummy(kDescriptorSize, '\0');
    dummy[3] = char(0x10);
    descriptors += dummy;
    edid.replace(54, descriptors.size(), descriptors);

    if (desc.extension) {
        edid[126] = 1;
        edid += ctaExtension();
        setChecksum(edid, 1);
    }
    setChecksum(edid, 0);
    return edid;
}

bool edidChecksumsValid(const QByteArray &edid)
{
    if (edid.isEmpty() || edid.size() % kBlockSize != 0)
        return false;
    for (int block = 0; block < edid.size() / kBlockSize; ++block) {
        int sum = 0;
        for (int i = 0; i < kBlockSize; ++i)
            sum += quint8(edid[block * kBlockSize + i]);
        if (sum % 256 != 0)
            return false;
    }
    return true;
}

} // namespace lmsim
