#pragma once

#include "phidget_channel_data.h"
#include "ui_PhidgetChannelInspector.h"

#include <INodeDataWidget.h>

#include <functional>

class Show;

// Shows a node's "Channel" property as "device/channel"; "..." picks another channel of
// the accepted type, "X" clears the choice. Lives on the host's GUI thread.
class PhidgetChannelInspector : public INodeDataWidget
{
    Q_OBJECT
public:
    // currentShow: the show in which device descriptors are resolved.
    explicit PhidgetChannelInspector(
        std::function<Show *()> currentShow, QWidget *parent = nullptr);

    // Also announces the value through valueChanged(value, false). A value of another
    // kind is ignored.
    void setNodeData(const ANodeData &value) override;
    void getNodeData(ANodeData &out) const override;

private slots:
    void onChangeClicked();
    void onClearClicked();

private:
    void refreshLabel();

    Ui::PhidgetChannelInspector m_ui;
    std::function<Show *()> m_currentShow;
    PhidgetChannelData m_value;
};
