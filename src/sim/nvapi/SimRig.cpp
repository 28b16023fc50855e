#include "SimRig.h"

#include "SimEdid.h"
#include "SimLayouts.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cctype>
#include <cmath>
#include <set>

namespace lmsim {

namespace {

constexpr qint64 kMaxRigFileSize = 4 * 1024 * 1024;

struct FunctionName
{
    Fn fn;
    const char *name;
    uint32_t id; // 0 for the display-configuration calls
};

const FunctionName kFunctionNames[] = {
    {Fn::Initialize, "NvAPI_Initialize", IdInitialize},
    {Fn::Unload, "NvAPI_Unload", IdUnload},
    {Fn::EnumPhysicalGpus, "NvAPI_EnumPhysicalGPUs", IdEnumPhysicalGpus},
    {Fn::GetFullName, "NvAPI_GPU_GetFullName", IdGpuGetFullName},
    {Fn::WorkstationQuery, "NvAPI_GPU_WorkstationFeatureQuery", IdWorkstationQuery},
    {Fn::GetAllDisplayIds, "NvAPI_GPU_GetAllDisplayIds", IdGetAllDisplayIds},
    {Fn::GetConnectorInfo, "NvAPI_GPU_GetConnectorInfo", IdGetConnectorInfo},
    {Fn::GetEdid, "NvAPI_DISP_GetEdidData", IdGetEdid},
    {Fn::SetEdid, "NvAPI_DISP_SetEdidData", IdSetEdid},
    {Fn::ApplyEdid, "NvAPI_DISP_ApplyEdid", IdApplyEdid},
    {Fn::EnumDisplayHandle, "NvAPI_EnumNvidiaDisplayHandle", IdEnumDisplayHandle},
    {Fn::GetAssociatedDisplayName, "NvAPI_GetAssociatedNvidiaDisplayName",
        IdGetAssociatedDisplayName},
    {Fn::GetDisplayIdByName, "NvAPI_DISP_GetDisplayIdByDisplayName", IdGetDisplayIdByName},
    {Fn::GetOutputId, "NvAPI_GetDisplayOutputId", IdGetOutputId},
    {Fn::GetDisplayConfig, "NvAPI_DISP_GetDisplayConfig", IdGetDisplayConfig},
    {Fn::WinGetBufferSizes, "GetDisplayConfigBufferSizes", 0},
    {Fn::WinQueryDisplayConfig, "QueryDisplayConfig", 0},
    {Fn::WinGetSourceName, "GetSourceDeviceName", 0},
    {Fn::WinGetTargetName, "GetTargetDeviceName", 0},
};

bool parseUInt(const QString &text, uint32_t *out)
{
    bool ok = false;
    qulonglong v = 0;
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        v = text.mid(2).toULongLong(&ok, 16);
    else
        v = text.toULongLong(&ok, 10);
    if (!ok || v > 0xffffffffull)
        return false;
    *out = uint32_t(v);
    return true;
}

// Reads typed values out of JSON objects and names the offending key on error.
class Reader
{
public:
    QString error;

    bool fail(const QString &where, const QString &what)
    {
        error = where.isEmpty() ? what : where + QLatin1String(": ") + what;
        return false;
    }

    bool object(const QJsonValue &v, const QString &where, QJsonObject *out)
    {
        if (!v.isObject())
            return fail(where, QStringLiteral("must be an object"));
        *out = v.toObject();
        return true;
    }

    bool array(const QJsonObject &o, const char *key, const QString &where, QJsonArray *out)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined() || v.isNull()) {
            *out = {};
            return true;
        }
        if (!v.isArray())
            return fail(sub(where, key), QStringLiteral("must be an array"));
        *out = v.toArray();
        return true;
    }

    // Reads the rig's top-level array `key` (at most maxItems, else tooMany) item by item:
    // every item must be an object.
    template<typename ReadItem>
    bool objects(const QJsonObject &root, const char *key, int maxItems, const char *tooMany,
        ReadItem readItem)
    {
        QJsonArray items;
        if (!array(root, key, QString(), &items))
            return false;
        if (items.size() > maxItems)
            return fail(QLatin1String(key), QLatin1String(tooMany));
        for (int i = 0; i < items.size(); ++i) {
            const QString where = item(QString(), key, i);
            QJsonObject o;
            if (!object(items.at(i), where, &o) || !readItem(o, where, i))
                return false;
        }
        return true;
    }

    bool boolean(const QJsonObject &o, const char *key, const QString &where, bool *out)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined())
            return true;
        if (!v.isBool())
            return fail(sub(where, key), QStringLiteral("must be true or false"));
        *out = v.toBool();
        return true;
    }

    bool integer(const QJsonValue &v, const QString &where, qint64 min, qint64 max, qint64 *out)
    {
        const double d = v.toDouble();
        if (!v.isDouble() || std::floor(d) != d || d < double(min) || d > double(max))
            return fail(
                where, QStringLiteral("must be an integer within %1..%2").arg(min).arg(max));
        *out = qint64(d);
        return true;
    }

    template<typename T>
    bool integer(
        const QJsonObject &o, const char *key, const QString &where, qint64 min, qint64 max, T *out)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined())
            return true;
        qint64 value = 0;
        if (!integer(v, sub(where, key), min, max, &value))
            return false;
        *out = T(value);
        return true;
    }

    bool id(const QJsonValue &v, const QString &where, uint32_t *out)
    {
        if (v.isString()) {
            if (!parseUInt(v.toString(), out))
                return fail(where, QStringLiteral("must be a 32-bit number (decimal or 0x hex)"));
            return true;
        }
        qint64 value = 0;
        if (!integer(v, where, 0, 0xffffffffll, &value))
            return false;
        *out = uint32_t(value);
        return true;
    }

    bool id(const QJsonObject &o, const char *key, const QString &where, bool required,
        uint32_t *out, bool *present = nullptr)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (present)
            *present = !v.isUndefined() && !v.isNull();
        if (v.isUndefined() || v.isNull())
            return !required || fail(sub(where, key), QStringLiteral("is required"));
        return id(v, sub(where, key), out);
    }

    bool string(const QJsonObject &o, const char *key, const QString &where, int maxBytes,
        std::string *out, bool *present = nullptr)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (present)
            *present = !v.isUndefined() && !v.isNull();
        if (v.isUndefined() || v.isNull())
            return true;
        if (!v.isString())
            return fail(sub(where, key), QStringLiteral("must be a string"));
        const QByteArray utf8 = v.toString().toUtf8();
        if (maxBytes > 0 && utf8.size() > maxBytes)
            return fail(sub(where, key), QStringLiteral("must be at most %1 bytes").arg(maxBytes));
        *out = utf8.toStdString();
        return true;
    }

    bool edid(const QJsonValue &v, const QString &where, QByteArray *out);

    static QString sub(const QString &where, const char *key)
    {
        return where.isEmpty() ? QLatin1String(key) : where + QLatin1Char('.') + QLatin1String(key);
    }
    static QString item(const QString &where, const char *key, int index)
    {
        return sub(where, key) + QStringLiteral("[%1]").arg(index);
    }

private:
    bool edidDescription(const QJsonObject &o, const QString &where, QByteArray *out);
};

bool Reader::edid(const QJsonValue &v, const QString &where, QByteArray *out)
{
    QByteArray bytes;
    if (v.isString()) {
        QByteArray hex;
        for (const QChar c : v.toString()) {
            if (c.isSpace() || c == QLatin1Char(':'))
                continue;
            if (!std::isxdigit(static_cast<unsigned char>(c.toLatin1())))
                return fail(
                    where, QStringLiteral("hex EDID holds a character that is not a hex digit"));
            hex.append(c.toLatin1());
        }
        if (hex.size() % 2 != 0)
            return fail(where, QStringLiteral("hex EDID has an odd number of digits"));
        bytes = QByteArray::fromHex(hex);
    } else if (v.isArray()) {
        const QJsonArray a = v.toArray();
        for (int i = 0; i < a.size(); ++i) {
            qint64 b = 0;
            if (!integer(a.at(i), where + QStringLiteral("[%1]").arg(i), 0, 255, &b))
                return false;
            bytes.append(char(b));
        }
    } else if (v.isObject()) {
        return edidDescription(v.toObject(), where, out);
    } else {
        return fail(where, QStringLiteral("must be a hex string, a byte array or a description"));
    }
    if (bytes.isEmpty() || bytes.size() > int(kMaxEdidSize))
        return fail(where, QStringLiteral("EDID must have 1 to 65536 bytes"));
    *out = bytes;
    return true;
}

bool Reader::edidDescription(const QJsonObject &o, const QString &where, QByteArray *out)
{
    EdidDescription d;
    std::string name;
    std::string manufacturer;
    std::string digital = "DisplayPort";
    bool hasName = false;
    bool hasManufacturer = false;
    if (!string(o, "name", where, 0, &name, &hasName)
        || !string(o, "manufacturer", where, 0, &manufacturer, &hasManufacturer)
        || !string(o, "digital", where, 0, &digital)
        || !integer(o, "productCode", where, 0, 65535, &d.productCode)
        || !integer(o, "serial", where, 0, 0xffffffffll, &d.serial)
        || !integer(o, "week", where, 0, 54, &d.week)
        || !integer(o, "year", where, 1990, 2245, &d.year)
        || !integer(o, "width", where, 64, 4095, &d.width)
        || !integer(o, "height", where, 64, 4095, &d.height)
        || !integer(o, "refresh", where, 24, 240, &d.refresh)
        || !integer(o, "widthMm", where, 1, 2550, &d.widthMm)
        || !integer(o, "heightMm", where, 1, 2550, &d.heightMm)
        || !boolean(o, "extension", where, &d.extension))
        return false;
    if (!hasName)
        return fail(sub(where, "name"), QStringLiteral("is required"));
    d.name = QString::fromStdString(name);
    if (hasManufacturer)
        d.manufacturer = QString::fromStdString(manufacturer);
    if (digital == "DisplayPort")
        d.digital = EdidInterface::DisplayPort;
    else if (digital == "HDMI")
        d.digital = EdidInterface::Hdmi;
    else if (digital == "DVI")
        d.digital = EdidInterface::Dvi;
    else
        return fail(sub(where, "digital"), QStringLiteral("must be DisplayPort, HDMI or DVI"));
    QString why;
    *out = buildEdid(d, &why);
    return !out->isEmpty() || fail(where, why);
}

bool readDisplay(Reader &r, const QJsonValue &v, const QString &where, RigDisplay *d)
{
    QJsonObject o;
    if (!r.object(v, where, &o) || !r.id(o, "id", where, true, &d->id))
        return false;
    uint32_t type = 0;
    uint32_t value = 0;
    if (!r.integer(o, "connectorType", where, 0, 0xffffffffll, &type)
        || !r.integer(o, "connectorValue", where, 0, 0xffffffffll, &value)
        || !r.boolean(o, "dualMode", where, &d->dualMode)
        || !r.boolean(o, "connected", where, &d->connected)
        || !r.integer(o, "setFlag", where, 0, 0xffffffffll, &d->setFlag))
        return false;
    const QJsonValue connectors = o.value(QLatin1String("connectors"));
    if (connectors.isUndefined() || connectors.isNull()) {
        d->connectors.emplace_back(type, value);
    } else if (!connectors.isArray()) {
        return r.fail(Reader::sub(where, "connectors"), QStringLiteral("must be an array"));
    } else {
        const QJsonArray list = connectors.toArray();
        for (int i = 0; i < list.size(); ++i) {
            const QString at = Reader::item(where, "connectors", i);
            const QJsonArray pair = list.at(i).toArray();
            if (!list.at(i).isArray() || pair.size() != 2)
                return r.fail(at, QStringLiteral("must be [type, value]"));
            uint32_t t = 0;
            uint32_t s = 0;
            if (!r.id(pair.at(0), at, &t) || !r.id(pair.at(1), at, &s))
                return false;
            d->connectors.emplace_back(t, s);
        }
    }
    for (const char *key : {"edid", "override"}) {
        const QJsonValue e = o.value(QLatin1String(key));
        if (e.isUndefined() || e.isNull())
            continue;
        if (!r.edid(e, Reader::sub(where, key), key[0] == 'e' ? &d->edid : &d->override))
            return false;
    }
    if (d->connected && !o.contains(QLatin1String("edid"))) {
        // A connected monitor always has an EDID; `"edid": null` leaves it without one.
        EdidDescription monitor;
        monitor.name = QStringLiteral("Monitor %1").arg(d->id & 0xffffu, 4, 16, QLatin1Char('0'));
        monitor.productCode = int(d->id & 0xffffu);
        monitor.serial = d->id;
        QString error;
        d->edid = buildEdid(monitor, &error);
    }
    return true;
}

bool readGpus(Reader &r, const QJsonObject &root, Rig *rig)
{
    std::set<uint32_t> seen;
    return r.objects(root, "gpus", kMaxGpus, "at most 64 GPUs",
        [&](const QJsonObject &o, const QString &where, int g) {
            RigGpu gpu;
            QJsonArray ids;
            if (!r.string(o, "fullName", where, 0, &gpu.fullName)
                || !r.boolean(o, "workstation", where, &gpu.workstation)
                || !r.array(o, "displayIds", where, &ids))
                return false;
            for (int i = 0; i < ids.size(); ++i) {
                RigDisplay d;
                d.gpu = g;
                const QString at = Reader::item(where, "displayIds", i);
                if (!readDisplay(r, ids.at(i), at, &d))
                    return false;
                if (!seen.insert(d.id).second)
                    return r.fail(at,
                        QStringLiteral("display id 0x%1 is used twice")
                            .arg(d.id, 8, 16, QLatin1Char('0')));
                gpu.displays.push_back(int(rig->displays.size()));
                rig->displays.push_back(std::move(d));
            }
            rig->gpus.push_back(std::move(gpu));
            return true;
        });
}

const RigDisplay *findDisplay(const Rig &rig, uint32_t id)
{
    for (const RigDisplay &d : rig.displays) {
        if (d.id == id)
            return &d;
    }
    return nullptr;
}

bool readHandles(Reader &r, const QJsonObject &root, Rig *rig)
{
    return r.objects(root, "displayHandles", kMaxDisplayHandles, "at most 128 handles",
        [&](const QJsonObject &o, const QString &where, int i) {
            RigHandle h;
            h.outputId = i < 32 ? 1u << i : 0u;
            bool hasName = false;
            if (!r.string(o, "name", where, kShortStringMax - 1, &h.name, &hasName)
                || !r.id(o, "displayId", where, true, &h.displayId)
                || !r.id(o, "outputId", where, false, &h.outputId))
                return false;
            if (!hasName || h.name.empty())
                return r.fail(Reader::sub(where, "name"), QStringLiteral("is required"));
            rig->handles.push_back(std::move(h));
            return true;
        });
}

bool readPaths(Reader &r, const QJsonObject &root, Rig *rig)
{
    return r.objects(
        root, "paths", INT32_MAX, "", [&](const QJsonObject &o, const QString &where, int i) {
            RigPath p;
            p.sourceId = uint32_t(i);
            uint32_t single = 0;
            bool hasSingle = false;
            QJsonArray many;
            if (!r.id(o, "displayId", where, false, &single, &hasSingle)
                || !r.array(o, "displayIds", where, &many))
                return false;
            if (hasSingle)
                p.displayIds.push_back(single);
            for (int t = 0; t < many.size(); ++t) {
                uint32_t id = 0;
                if (!r.id(many.at(t), Reader::item(where, "displayIds", t), &id))
                    return false;
                p.displayIds.push_back(id);
            }
            if (p.displayIds.empty())
                return r.fail(where, QStringLiteral("needs displayId or displayIds"));
            for (const uint32_t id : p.displayIds) {
                if (!findDisplay(*rig, id))
                    return r.fail(where,
                        QStringLiteral("display id 0x%1 belongs to no GPU")
                            .arg(id, 8, 16, QLatin1Char('0')));
            }
            p.gpu = findDisplay(*rig, p.displayIds.front())->gpu;
            p.targetId = p.displayIds.front() & 0xffffu;
            if (!r.integer(o, "sourceId", where, 0, 0xffffffffll, &p.sourceId)
                || !r.id(o, "targetId", where, false, &p.targetId)
                || !r.string(o, "gdiName", where, 0, &p.gdiName, &p.inWindows)
                || !r.string(o, "monitorName", where, 0, &p.monitorName)
                || !r.integer(o, "width", where, 0, 0xffffffffll, &p.width)
                || !r.integer(o, "height", where, 0, 0xffffffffll, &p.height)
                || !r.integer(o, "colorDepth", where, 0, 0xffffffffll, &p.colorDepth)
                || !r.integer(o, "refresh1K", where, 0, 0xffffffffll, &p.refresh1K)
                || !r.boolean(o, "gdiPrimary", where, &p.gdiPrimary)
                || !r.integer(o, "x", where, INT32_MIN, INT32_MAX, &p.x)
                || !r.integer(o, "y", where, INT32_MIN, INT32_MAX, &p.y))
                return false;
            rig->paths.push_back(std::move(p));
            return true;
        });
}

bool functionByName(const QString &text, Fn *fn)
{
    uint32_t id = 0;
    const bool isId
        = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) && parseUInt(text, &id);
    for (const FunctionName &f : kFunctionNames) {
        if ((isId && f.id != 0 && f.id == id) || text == QLatin1String(f.name)
            || text == QLatin1String("lmsim_") + QLatin1String(f.name)) {
            *fn = f.fn;
            return true;
        }
    }
    return false;
}

bool readFailures(Reader &r, const QJsonObject &root, Rig *rig)
{
    return r.objects(
        root, "failures", INT32_MAX, "", [&](const QJsonObject &o, const QString &where, int) {
            RigFailure f;
            std::string name;
            if (!r.string(o, "function", where, 0, &name))
                return false;
            if (!functionByName(QString::fromStdString(name), &f.fn))
                return r.fail(Reader::sub(where, "function"),
                    QStringLiteral("unknown function \"%1\"").arg(QString::fromStdString(name)));
            f.status = isWindowsFunction(f.fn) ? long(WinGenFailure) : long(NvError);
            if (!r.integer(o, "gpu", where, 0, kMaxGpus - 1, &f.gpu)
                || !r.id(o, "displayId", where, false, &f.displayId, &f.hasDisplayId)
                || !r.integer(o, "handle", where, 0, kMaxDisplayHandles - 1, &f.handle)
                || !r.integer(o, "path", where, 0, INT32_MAX, &f.path)
                || !r.integer(o, "from", where, 1, INT32_MAX, &f.from)
                || !r.integer(o, "times", where, 1, INT32_MAX, &f.times)
                || !r.integer(o, "status", where, INT32_MIN, INT32_MAX, &f.status))
                return false;
            if (f.status == 0)
                return r.fail(Reader::sub(where, "status"), QStringLiteral("0 is not a failure"));
            rig->failures.push_back(f);
            return true;
        });
}

} // namespace

bool isWindowsFunction(Fn fn)
{
    return fn == Fn::WinGetBufferSizes || fn == Fn::WinQueryDisplayConfig
        || fn == Fn::WinGetSourceName || fn == Fn::WinGetTargetName;
}

bool parseRig(const QByteArray &json, Rig *rig, QString *error)
{
    if (json.trimmed().isEmpty()) {
        *rig = Rig();
        return true;
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (doc.isNull()) {
        *error = QStringLiteral("not valid JSON at offset %1: %2")
                     .arg(parseError.offset)
                     .arg(parseError.errorString());
        return false;
    }
    if (!doc.isObject()) {
        *error = QStringLiteral("the rig must be a JSON object");
        return false;
    }
    Reader r;
    Rig parsed;
    const QJsonObject root = doc.object();
    if (!readGpus(r, root, &parsed) || !readHandles(r, root, &parsed)
        || !readPaths(r, root, &parsed) || !readFailures(r, root, &parsed)) {
        *error = r.error;
        return false;
    }
    *rig = std::move(parsed);
    return true;
}

bool loadRig(const QString &path, Rig *rig, QString *error)
{
    *rig = Rig();
    if (path.isEmpty())
        return true;
    QFile file(path);
    // A mistyped rig name must not pass for a machine without GPUs.
    if (!file.exists()) {
        *error = QStringLiteral("does not exist");
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot be read: %1").arg(file.errorString());
        return false;
    }
    if (file.size() > kMaxRigFileSize) {
        *error = QStringLiteral("larger than 4 MiB");
        return false;
    }
    return parseRig(file.read(kMaxRigFileSize + 1), rig, error);
}

} // namespace lmsim
