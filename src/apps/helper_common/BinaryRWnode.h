#pragma once

#include "TaggedRWnode.h"

#include <QByteArray>

// Wire encoding: tags are dropped, values follow each other as raw little-endian bytes.
// All nodes of one tree share the buffer, the byte position and the failure flag.
// Reads never go past the end of the buffer: a short read marks the tree as failed
// and yields zero values from then on.
class BinaryRWnode : public TaggedRWnode
{
public:
    BinaryRWnode(bool reading, QByteArray *buffer, qint64 *position, bool *failed);

    void rw(qint32 &value, const QString &tag) override;
    void rw(quint32 &value, const QString &tag) override;
    void rw(float &value, const QString &tag) override;
    void rw(char &value, const QString &tag) override;
    void rw(std::string &value, const QString &tag) override;
    void rw(QString &value, const QString &tag) override;
    void rw(double &value, const QString &tag) override;
    void rw(bool &value, const QString &tag) override;
    TaggedRWnode *child(const QString &tag) override;
    void closeChild(TaggedRWnode *child, const QString &tag) override;
    bool admitsCount(quint32 count, quint32 minElementBytes) override;

protected:
    void setReading(bool reading) { m_reading = reading; }

private:
    template<typename T>
    void rwPlain(T &value);
    qint64 bytesLeft() const;
    bool take(void *target, qint64 size);
    void fail();

    QByteArray *m_buffer;
    qint64 *m_position;
    bool *m_failed;
};

// Owns the position of one tree. Starts in reading mode; writers call setWriting()
// before the first value.
class BinaryRWroot
{
public:
    explicit BinaryRWroot(QByteArray *buffer);
    BinaryRWroot(const BinaryRWroot &) = delete;
    BinaryRWroot &operator=(const BinaryRWroot &) = delete;

    TaggedRWnode &node() { return m_root; }
    void setWriting() { m_root.setWritingMode(); }
    // False once any read ran short or a list count could not fit.
    bool ok() const { return !m_failed; }
    qint64 position() const { return m_position; }
    bool atEnd() const { return m_position == m_buffer->size(); }

private:
    class RootNode : public BinaryRWnode
    {
    public:
        using BinaryRWnode::BinaryRWnode;
        void setWritingMode() { setReading(false); }
    };

    RootNode m_root;
    qint64 m_position = 0;
    QByteArray *m_buffer;
    bool m_failed = false;
};
