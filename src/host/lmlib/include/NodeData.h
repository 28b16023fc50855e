#pragma once

#include "SharedIdentifiers.h"
#include "lmlib_global.h"

#include <QDomElement>
#include <QString>
#include <QUuid>

class XmlWriter;

// One value of the show graph. The data type says which kind of value it is;
// `defined` says whether the value currently means anything.
class LMLIB_EXPORT ANodeData
{
public:
    explicit ANodeData(const QUuid &type)
        : dataType(type)
    { }
    virtual ~ANodeData();

    // Writes the value's attributes (and children) into the element the caller opened.
    virtual void serialize(XmlWriter &writer) const = 0;
    virtual void deserialize(const QDomElement &element) = 0;
    // Copies the value (not `defined`) from another value of the same kind.
    virtual void setValue(const ANodeData &other) = 0;
    // A new owned copy, `defined` included.
    virtual ANodeData *clone() const = 0;

    QUuid dataType;
    bool defined = false;

protected:
    ANodeData(const ANodeData &) = default;
    ANodeData &operator=(const ANodeData &) = default;
};

// setValue and clone for a kind of value whose members are all its value: a copy of the
// same kind takes everything but `defined`.
template<class Derived>
class NodeDataOf : public ANodeData
{
public:
    using ANodeData::ANodeData;

    void setValue(const ANodeData &other) override
    {
        if (const auto *o = dynamic_cast<const Derived *>(&other)) {
            const bool wasDefined = defined;
            static_cast<Derived &>(*this) = *o;
            defined = wasDefined;
        }
    }
    ANodeData *clone() const override { return new Derived(static_cast<const Derived &>(*this)); }
};

class LMLIB_EXPORT BoolData : public NodeDataOf<BoolData>
{
public:
    explicit BoolData(bool v = false);
    void serialize(XmlWriter &writer) const override;
    void deserialize(const QDomElement &element) override;

    bool value;
};

class LMLIB_EXPORT IntData : public NodeDataOf<IntData>
{
public:
    explicit IntData(qint32 v = 0);
    void serialize(XmlWriter &writer) const override;
    void deserialize(const QDomElement &element) override;

    qint32 value;
};

class LMLIB_EXPORT Vec2Data : public NodeDataOf<Vec2Data>
{
public:
    Vec2Data(float xValue = 0.0f, float yValue = 0.0f);
    void serialize(XmlWriter &writer) const override;
    void deserialize(const QDomElement &element) override;

    float x;
    float y;
};

// Designates one device of the show by type name and device number; -1 names none.
class LMLIB_EXPORT DeviceDescriptorData : public NodeDataOf<DeviceDescriptorData>
{
public:
    explicit DeviceDescriptorData(const QString &type = QString(), int number = -1);
    void serialize(XmlWriter &writer) const override;
    void deserialize(const QDomElement &element) override;

    int deviceId;
    QString deviceType;
};
