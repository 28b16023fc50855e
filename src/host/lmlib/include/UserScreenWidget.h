#pragma once

#include "lmlib_global.h"

#include <QJsonObject>
#include <QWidget>

// A widget that the host places on a user screen. It keeps its layout on the
// screen (position, size, z-order, visibility) and announces every change.
class LMLIB_EXPORT UserScreenWidget : public QWidget
{
    Q_OBJECT
public:
    explicit UserScreenWidget(QWidget *parent = nullptr);
    ~UserScreenWidget() override;

    int zOrder() const { return m_zOrder; }
    void setZOrder(int zOrder);
    void setX(int x);
    void setY(int y);
    // The size on the user screen; while the user resizes, the size before the resize.
    int width() const { return m_resizing ? m_width : QWidget::width(); }
    int height() const { return m_resizing ? m_height : QWidget::height(); }
    void setWidth(int width);
    void setHeight(int height);
    bool visible() const { return m_visible; }
    void setVisible(bool visible) override;

    // An event sent to the widget from a user-screen client.
    virtual void onJsonEvent(const QJsonObject &event);
    // The widget's readable properties, by name, for user-screen clients.
    virtual QJsonObject getSerializedProperties() const;
    virtual void startResize();
    virtual void resizeDone();

signals:
    void onWidgetChanged();

protected:
    void changeEvent(QEvent *event) override;

private:
    int m_zOrder = 0;
    int m_width = 0;
    int m_height = 0;
    bool m_visible = true;
    bool m_resizing = false;
};
