#pragma once

#include "ui_PingDeviceWidget.h"

#include <UserScreenWidget.h>

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QPointer>
#include <QString>

class PingDevice;

// The ping device on a user screen: its name and a lamp that follows its result.
class PingDeviceWidget : public UserScreenWidget, public Ui::PingDeviceWidgetClass
{
    Q_OBJECT
    Q_PROPERTY(QString objectName READ objectName WRITE setObjectName)
    Q_PROPERTY(bool visible READ visible WRITE setVisible)
    Q_PROPERTY(bool enable READ isEnabled WRITE setEnabled)
    Q_PROPERTY(QString toolTip READ toolTip WRITE setToolTip)
    Q_PROPERTY(int zOrder READ zOrder WRITE setZOrder)
    Q_PROPERTY(int x READ x WRITE setX)
    Q_PROPERTY(int y READ y WRITE setY)
    Q_PROPERTY(int width READ width WRITE setWidth)
    Q_PROPERTY(int height READ height WRITE setHeight)
    Q_PROPERTY(QColor textColor READ textColor WRITE setTextColor)
    Q_PROPERTY(QColor backgroundColor READ backgroundColor WRITE setBackgroundColor)
    Q_PROPERTY(QFont font READ font WRITE setFont)
    Q_PROPERTY(QString deviceName READ deviceName)
    Q_PROPERTY(int status READ status WRITE setStatus)

public:
    static const QString s_onStyleSheet;
    static const QString s_warningStyleSheet;

    PingDeviceWidget(PingDevice *device, QWidget *parent = nullptr);
    ~PingDeviceWidget() override;

    QColor textColor() const;
    void setTextColor(const QColor &color);
    QColor backgroundColor() const;
    void setBackgroundColor(const QColor &color);
    QString deviceName() const;
    int status() const { return m_status; }
    void setStatus(int status);

private:
    void updateName();
    void updateLamp(bool reachable);
    void setPaletteColor(QPalette::ColorRole role, const QColor &color);

    QPointer<PingDevice> m_device;
    int m_status = -1;
};
