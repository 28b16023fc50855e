#pragma once

#include <QString>
#include <QtGlobal>

#include <string>

// Two-way tagged serialisation: the same routine writes a record or reads it back,
// depending on the node's mode. Every value carries a tag so that other encodings can
// label it; the binary encoding ignores tags.
class TaggedRWnode
{
public:
    explicit TaggedRWnode(bool reading)
        : m_reading(reading)
    { }

    virtual void rw(qint32 &value, const QString &tag) = 0;
    virtual void rw(quint32 &value, const QString &tag) = 0;
    virtual void rw(float &value, const QString &tag) = 0;
    virtual void rw(char &value, const QString &tag) = 0;
    virtual void rw(std::string &value, const QString &tag) = 0;
    virtual void rw(QString &value, const QString &tag) = 0;
    virtual void rw(double &value, const QString &tag) = 0;
    virtual void rw(bool &value, const QString &tag) = 0;
    virtual ~TaggedRWnode() = default;
    // The returned node belongs to the caller, who closes and then deletes it.
    virtual TaggedRWnode *child(const QString &tag) = 0;
    virtual void closeChild(TaggedRWnode *child, const QString &tag) = 0;

    // Asked before a list of `count` elements is allocated while reading; an encoding
    // that knows how much input is left refuses counts that cannot possibly fit.
    virtual bool admitsCount(quint32 count, quint32 minElementBytes)
    {
        Q_UNUSED(count)
        Q_UNUSED(minElementBytes)
        return true;
    }

    bool isReading() const { return m_reading; }

protected:
    bool m_reading;
};
