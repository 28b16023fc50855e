#include "UserScreenWidget.h"

#include <QEvent>
#include <QMetaProperty>

UserScreenWidget::UserScreenWidget(QWidget *parent)
    : QWidget(parent)
{ }

UserScreenWidget::~UserScreenWidget() = default;

void UserScreenWidget::setZOrder(int zOrder)
{
    if (zOrder == m_zOrder)
        return;
    m_zOrder = zOrder;
    emit onWidgetChanged();
}

void UserScreenWidget::setX(int x)
{
    move(x, QWidget::y());
    emit onWidgetChanged();
}

void UserScreenWidget::setY(int y)
{
    move(QWidget::x(), y);
    emit onWidgetChanged();
}

void UserScreenWidget::setWidth(int width)
{
    m_width = width;
    resize(width, QWidget::height());
    emit onWidgetChanged();
}

void UserScreenWidget::setHeight(int height)
{
    m_height = height;
    resize(QWidget::width(), height);
    emit onWidgetChanged();
}

void UserScreenWidget::setVisible(bool visible)
{
    m_visible = visible;
    QWidget::setVisible(visible);
    emit onWidgetChanged();
}

void UserScreenWidget::onJsonEvent(const QJsonObject &)
{ }

QJsonObject UserScreenWidget::getSerializedProperties() const
{
    QJsonObject properties;
    const QMetaObject *meta = metaObject();
    for (int i = 0; i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        const QJsonValue value = QJsonValue::fromVariant(property.read(this));
        if (!value.isNull() && !value.isUndefined())
            properties.insert(QString::fromLatin1(property.name()), value);
    }
    return properties;
}

void UserScreenWidget::startResize()
{
    m_width = QWidget::width();
    m_height = QWidget::height();
    m_resizing = true;
}

void UserScreenWidget::resizeDone()
{
    m_resizing = false;
    emit onWidgetChanged();
}

void UserScreenWidget::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::EnabledChange || event->type() == QEvent::FontChange
        || event->type() == QEvent::PaletteChange) {
        emit onWidgetChanged();
    }
}
