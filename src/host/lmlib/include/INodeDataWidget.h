#pragma once

#include "lmlib_global.h"

#include <QWidget>

class ANodeData;

// Edits one node value in the host's property editor.
class LMLIB_EXPORT INodeDataWidget : public QWidget
{
    Q_OBJECT
public:
    explicit INodeDataWidget(QWidget *parent = nullptr);
    ~INodeDataWidget() override;

    virtual void setNodeData(const ANodeData &value) = 0;
    virtual void getNodeData(ANodeData &out) const = 0;

signals:
    // isDragging: the user is still dragging; a final value follows.
    void valueChanged(const ANodeData &data, bool isDragging);
};
