#pragma once

#include "NodeData.h"
#include "SlotDescriptors.h"
#include "lmlib_global.h"

#include <QDomElement>
#include <QObject>

#include <limits>
#include <memory>
#include <vector>

class Node;
class XmlWriter;

// The piece of a show-graph node that a plug-in supplies: its slots, one value per
// slot, the XML form of the values and the access to connected inputs and triggers.
// Its one definition lives in lmlib, beside IShowNodeController that derives from it.
class LMLIB_EXPORT INodeController : public QObject
{
    Q_OBJECT
public:
    explicit INodeController(Node &node);
    ~INodeController() override;

    virtual const InputSlotDescriptors &inputSlots() const;
    virtual const OutputSlotDescriptors &outputSlots() const;
    virtual const TriggerDescriptors &inputTriggers() const;
    virtual const TriggerDescriptors &outputTriggers() const;
    virtual const PropertySlotDescriptors &propertySlots() const;
    virtual int nodeFlags() const;
    virtual void onPropertyChanged(int index);
    virtual bool emitsTriggers() const;
    virtual void resetState();
    virtual void writeValues(XmlWriter &writer) const;
    virtual void readValues(const QDomElement &element);
    virtual void updateOutputs();
    virtual void onInputTrigger(int index);

    // Builds the value vectors from the slot descriptors; run once after construction.
    void initValues();

    // Input `index` as a T: the connected upstream output (refreshed once per tick,
    // converted to the slot's type when needed, only when defined) or, when the input
    // is not connected, the node's own value. Null when there is none.
    template<class T>
    std::shared_ptr<T> inputValue(int index)
    {
        bool connected = false;
        std::shared_ptr<T> value = std::dynamic_pointer_cast<T>(resolveInput(index, &connected));
        if (connected && value && !value->defined)
            return nullptr;
        return value;
    }

    // Advances the graph's tick and fires every input trigger connected to `trigger`.
    void fireOutputTrigger(int trigger);

    // Runs updateOutputs unless it already ran for `tick`.
    void updateOutputsForTick(quint64 tick);

    Node &node() const { return m_node; }
    const std::vector<std::shared_ptr<ANodeData>> &inputValues() const { return m_inputValues; }
    const std::vector<std::shared_ptr<ANodeData>> &outputValues() const { return m_outputValues; }
    const std::vector<std::unique_ptr<ANodeData>> &propertyValues() const
    {
        return m_propertyValues;
    }
    // Typed access to one value; null when out of range, empty or of another class.
    template<class T>
    T *outputData(int index) const
    {
        return index >= 0 && size_t(index) < m_outputValues.size()
            ? dynamic_cast<T *>(m_outputValues[size_t(index)].get())
            : nullptr;
    }
    template<class T>
    T *propertyData(int index) const
    {
        return index >= 0 && size_t(index) < m_propertyValues.size()
            ? dynamic_cast<T *>(m_propertyValues[size_t(index)].get())
            : nullptr;
    }

signals:
    void skeletonChanged();

protected:
    Node &m_node;
    std::vector<std::shared_ptr<ANodeData>> m_inputValues;
    std::vector<std::shared_ptr<ANodeData>> m_outputValues;
    std::vector<std::unique_ptr<ANodeData>> m_propertyValues;
    bool m_writeSlotDescriptors = false;
    // No tick matches it, so the first read of any tick refreshes the outputs.
    quint64 m_lastUpdateTick = std::numeric_limits<quint64>::max();

private:
    std::shared_ptr<ANodeData> resolveInput(int index, bool *connected);
    ANodeData *newValue(const QUuid &type) const;
};
