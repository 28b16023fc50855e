#include "ValueWidget.h"

#include "NodeData.h"
#include "SharedIdentifiers.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QSpinBox>

#include <limits>
#include <memory>

namespace {

// Wide enough for any output's pixels and their negatives, within a float's whole numbers.
constexpr double kVectorRange = 1e7;

QDoubleSpinBox *coordinateBox(const QString &name, const QString &prefix, QWidget *parent)
{
    auto *box = new QDoubleSpinBox(parent);
    box->setObjectName(name);
    box->setPrefix(prefix);
    box->setRange(-kVectorRange, kVectorRange);
    // Hundredths of a pixel, finer than a touch screen reports; an edit stores both
    // coordinates as shown.
    box->setDecimals(2);
    box->setKeyboardTracking(false);
    return box;
}

} // namespace

ValueWidget *ValueWidget::create(const QUuid &dataType, QWidget *parent)
{
    if (dataType != kBoolDataTypeId && dataType != kIntDataTypeId && dataType != kVec2DataTypeId)
        return nullptr;
    return new ValueWidget(dataType, parent);
}

ValueWidget::ValueWidget(const QUuid &dataType, QWidget *parent)
    : INodeDataWidget(parent)
    , m_dataType(dataType)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    if (dataType == kBoolDataTypeId) {
        m_bool = new QCheckBox(this);
        m_bool->setObjectName(QStringLiteral("boolBox"));
        layout->addWidget(m_bool);
        connect(m_bool, &QCheckBox::toggled, this, &ValueWidget::announce);
    } else if (dataType == kIntDataTypeId) {
        m_int = new QSpinBox(this);
        m_int->setObjectName(QStringLiteral("intBox"));
        m_int->setRange(std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max());
        m_int->setKeyboardTracking(false);
        layout->addWidget(m_int);
        connect(m_int, &QSpinBox::valueChanged, this, &ValueWidget::announce);
    } else {
        m_x = coordinateBox(QStringLiteral("xBox"), QStringLiteral("x "), this);
        m_y = coordinateBox(QStringLiteral("yBox"), QStringLiteral("y "), this);
        layout->addWidget(m_x, 1);
        layout->addWidget(m_y, 1);
        connect(m_x, &QDoubleSpinBox::valueChanged, this, &ValueWidget::announce);
        connect(m_y, &QDoubleSpinBox::valueChanged, this, &ValueWidget::announce);
    }
}

void ValueWidget::setNodeData(const ANodeData &value)
{
    if (value.dataType != m_dataType)
        return;
    // What the node holds is not an edit.
    const QSignalBlocker blockSelf(this);
    if (m_bool) {
        const QSignalBlocker block(m_bool);
        m_bool->setChecked(static_cast<const BoolData &>(value).value);
    } else if (m_int) {
        const QSignalBlocker block(m_int);
        m_int->setValue(static_cast<const IntData &>(value).value);
    } else {
        const QSignalBlocker blockX(m_x);
        const QSignalBlocker blockY(m_y);
        m_x->setValue(double(static_cast<const Vec2Data &>(value).x));
        m_y->setValue(double(static_cast<const Vec2Data &>(value).y));
    }
}

void ValueWidget::getNodeData(ANodeData &out) const
{
    if (out.dataType != m_dataType)
        return;
    if (m_bool)
        static_cast<BoolData &>(out).value = m_bool->isChecked();
    else if (m_int)
        static_cast<IntData &>(out).value = m_int->value();
    else {
        static_cast<Vec2Data &>(out).x = float(m_x->value());
        static_cast<Vec2Data &>(out).y = float(m_y->value());
    }
}

void ValueWidget::announce()
{
    std::unique_ptr<ANodeData> value;
    if (m_bool)
        value = std::make_unique<BoolData>();
    else if (m_int)
        value = std::make_unique<IntData>();
    else
        value = std::make_unique<Vec2Data>();
    getNodeData(*value);
    value->defined = true;
    emit valueChanged(*value, false);
}
