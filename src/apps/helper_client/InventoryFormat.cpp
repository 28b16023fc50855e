#include "InventoryFormat.h"

#include <QJsonArray>
#include <QStringList>

namespace {

QJsonObject displayDeviceToJson(const DisplayDeviceInfo &d)
{
    return QJsonObject {
        {QStringLiteral("version"), 1},
        {QStringLiteral("displayName"), d.displayName},
        {QStringLiteral("monitorName"), d.monitorName},
        {QStringLiteral("outputId"), idText(d.outputId)},
        {QStringLiteral("isEdidOverriden"), d.isEdidOverriden},
        {QStringLiteral("isDisplayPortDualModeActive"), d.isDisplayPortDualModeActive},
        {QStringLiteral("isGdiPrimary"), d.isGdiPrimary},
        {QStringLiteral("resolutionWidth"), d.resolutionWidth},
        {QStringLiteral("resolutionHeight"), d.resolutionHeight},
        {QStringLiteral("colorDepth"), d.colorDepth},
        {QStringLiteral("refreshRate1K"), d.refreshRate1K},
    };
}

QJsonObject connectorToJson(const ConnectorInfo &c)
{
    return QJsonObject {
        {QStringLiteral("version"), 1},
        {QStringLiteral("mainId"), idText(c.mainId)},
        {QStringLiteral("isDualSupported"), c.isDualSupported},
        {QStringLiteral("alternativeId"), idText(c.alternativeId)},
        {QStringLiteral("type"), c.type},
        {QStringLiteral("isConnected"), c.isConnected},
        {QStringLiteral("displayDevice"), displayDeviceToJson(c.displayDevice)},
    };
}

QJsonObject gpuToJson(const GpuInfo &g)
{
    QJsonArray connectors;
    for (const ConnectorInfo &c : g.connectors)
        connectors.append(connectorToJson(c));
    return QJsonObject {
        {QStringLiteral("version"), 1},
        {QStringLiteral("id"), idText(g.id)},
        {QStringLiteral("brand"), g.brand},
        {QStringLiteral("model"), g.model},
        {QStringLiteral("isPro"), g.isPro},
        {QStringLiteral("connectors"), connectors},
    };
}

QString yesNo(bool value)
{
    return value ? QStringLiteral("yes") : QStringLiteral("no");
}

QString modeText(const DisplayDeviceInfo &d)
{
    if (d.resolutionWidth == 0 && d.resolutionHeight == 0)
        return QStringLiteral("-");
    return QStringLiteral("%1x%2 %3bit %4Hz")
        .arg(d.resolutionWidth)
        .arg(d.resolutionHeight)
        .arg(d.colorDepth)
        .arg(double(d.refreshRate1K) / 1000.0, 0, 'f', 3);
}

QString orDash(const QString &text)
{
    return text.isEmpty() ? QStringLiteral("-") : text;
}

} // namespace

QString idText(quint32 id)
{
    return QStringLiteral("0x%1").arg(id, 8, 16, QLatin1Char('0'));
}

QJsonObject gpuListToJson(const GpuList &list)
{
    QJsonArray gpus;
    for (const GpuInfo &g : list.gpus)
        gpus.append(gpuToJson(g));
    return QJsonObject {{QStringLiteral("version"), 1}, {QStringLiteral("gpus"), gpus}};
}

QJsonObject connectorListToJson(const ConnectorList &list)
{
    QJsonArray refs;
    for (const ConnectorRef &r : list.connectors) {
        refs.append(
            QJsonObject {{QStringLiteral("version"), 1}, {QStringLiteral("gpuId"), idText(r.gpuId)},
                {QStringLiteral("connectorId"), idText(r.connectorId)}});
    }
    return QJsonObject {{QStringLiteral("version"), 1}, {QStringLiteral("connectors"), refs}};
}

QString gpuListToTable(const GpuList &list)
{
    if (list.gpus.isEmpty())
        return QStringLiteral("No NVIDIA GPU found.\n");
    const QStringList header {QStringLiteral("GPU"), QStringLiteral("Model"), QStringLiteral("Pro"),
        QStringLiteral("Connector"), QStringLiteral("Alt id"), QStringLiteral("Type"),
        QStringLiteral("Connected"), QStringLiteral("Display"), QStringLiteral("Monitor"),
        QStringLiteral("Output"), QStringLiteral("Mode"), QStringLiteral("EDID"),
        QStringLiteral("Primary")};
    QList<QStringList> rows {header};
    for (const GpuInfo &g : list.gpus) {
        if (g.connectors.isEmpty()) {
            rows.append({idText(g.id), g.model, yesNo(g.isPro), QStringLiteral("-"),
                QStringLiteral("-"), QStringLiteral("-"), QStringLiteral("-"), QStringLiteral("-"),
                QStringLiteral("-"), QStringLiteral("-"), QStringLiteral("-"), QStringLiteral("-"),
                QStringLiteral("-")});
            continue;
        }
        for (const ConnectorInfo &c : g.connectors) {
            const DisplayDeviceInfo &d = c.displayDevice;
            QString connected = yesNo(c.isConnected);
            if (d.isDisplayPortDualModeActive)
                connected += QStringLiteral(" (alt)");
            rows.append({idText(g.id), g.model, yesNo(g.isPro), idText(c.mainId),
                c.isDualSupported ? idText(c.alternativeId) : QStringLiteral("-"), c.type,
                connected, orDash(d.displayName), orDash(d.monitorName),
                d.displayName.isEmpty() ? QStringLiteral("-") : idText(d.outputId), modeText(d),
                d.isEdidOverriden ? QStringLiteral("overridden") : QStringLiteral("-"),
                yesNo(d.isGdiPrimary)});
        }
    }
    QVector<int> widths(header.size(), 0);
    for (const QStringList &row : rows) {
        for (int i = 0; i < row.size(); ++i)
            widths[i] = qMax(widths[i], int(row[i].size()));
    }
    QString text;
    for (const QStringList &row : rows) {
        QString line;
        for (int i = 0; i < row.size(); ++i)
            line += row[i].leftJustified(widths[i]) + QStringLiteral("  ");
        text += line.trimmed() + QLatin1Char('\n');
    }
    return text;
}
