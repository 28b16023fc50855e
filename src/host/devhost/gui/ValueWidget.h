#pragma once

#include "INodeDataWidget.h"

#include <QUuid>

class QCheckBox;
class QDoubleSpinBox;
class QSpinBox;

// The editor of the host's own value kinds (bool, integer, 2D vector) for kinds that no
// plug-in gives a data widget. Announces a value when an edit is finished (Enter, focus
// out, a step of the arrows), not on each key. GUI thread only.
class ValueWidget : public INodeDataWidget
{
    Q_OBJECT
public:
    // Null for any other kind.
    static ValueWidget *create(const QUuid &dataType, QWidget *parent = nullptr);

    void setNodeData(const ANodeData &value) override;
    void getNodeData(ANodeData &out) const override;

private:
    ValueWidget(const QUuid &dataType, QWidget *parent);
    void announce();

    QUuid m_dataType;
    QCheckBox *m_bool = nullptr;
    QSpinBox *m_int = nullptr;
    QDoubleSpinBox *m_x = nullptr;
    QDoubleSpinBox *m_y = nullptr;
};
