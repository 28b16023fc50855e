#include "BinaryRWnode.h"

#include <cstring>
#include <type_traits>

BinaryRWnode::BinaryRWnode(bool reading, QByteArray *buffer, qint64 *position, bool *failed)
    : TaggedRWnode(reading)
    , m_buffer(buffer)
    , m_position(position)
    , m_failed(failed)
{ }

qint64 BinaryRWnode::bytesLeft() const
{
    const qint64 left = m_buffer->size() - *m_position;
    return left > 0 ? left : 0;
}

void BinaryRWnode::fail()
{
    *m_failed = true;
    *m_position = m_buffer->size();
}

bool BinaryRWnode::take(void *target, qint64 size)
{
    if (*m_failed || size > bytesLeft()) {
        fail();
        std::memset(target, 0, size_t(size));
        return false;
    }
    std::memcpy(target, m_buffer->constData() + *m_position, size_t(size));
    *m_position += size;
    return true;
}

// Values are copied as they lie in memory; the wire format is little-endian and so are
// the machines the helper and its host run on.
static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN);

template<typename T>
void BinaryRWnode::rwPlain(T &value)
{
    static_assert(std::is_trivially_copyable_v<T>);
    if (m_reading) {
        take(&value, qint64(sizeof(T)));
    } else {
        m_buffer->append(reinterpret_cast<const char *>(&value), qsizetype(sizeof(T)));
        *m_position += qint64(sizeof(T));
    }
}

void BinaryRWnode::rw(qint32 &value, const QString &)
{
    rwPlain(value);
}

void BinaryRWnode::rw(quint32 &value, const QString &)
{
    rwPlain(value);
}

void BinaryRWnode::rw(float &value, const QString &)
{
    rwPlain(value);
}

void BinaryRWnode::rw(char &value, const QString &)
{
    rwPlain(value);
}

void BinaryRWnode::rw(double &value, const QString &)
{
    rwPlain(value);
}

void BinaryRWnode::rw(QString &value, const QString &tag)
{
    if (m_reading) {
        quint32 length = 0;
        rw(length, tag);
        if (qint64(length) > bytesLeft()) {
            fail();
            value.clear();
            return;
        }
        value = QString::fromUtf8(m_buffer->constData() + *m_position, qsizetype(length));
        *m_position += length;
    } else {
        const QByteArray utf8 = value.toUtf8();
        quint32 length = quint32(utf8.size());
        rw(length, tag);
        m_buffer->append(utf8);
        *m_position += utf8.size();
    }
}

void BinaryRWnode::rw(std::string &value, const QString &tag)
{
    QString text = m_reading ? QString() : QString::fromStdString(value);
    rw(text, tag);
    if (m_reading)
        value = text.toStdString();
}

void BinaryRWnode::rw(bool &value, const QString &tag)
{
    qint32 word = value ? 1 : 0;
    rw(word, tag);
    if (m_reading)
        value = word != 0;
}

TaggedRWnode *BinaryRWnode::child(const QString &)
{
    return new BinaryRWnode(m_reading, m_buffer, m_position, m_failed);
}

void BinaryRWnode::closeChild(TaggedRWnode *, const QString &)
{ }

bool BinaryRWnode::admitsCount(quint32 count, quint32 minElementBytes)
{
    if (!m_reading)
        return true;
    if (*m_failed || quint64(count) * quint64(minElementBytes) > quint64(bytesLeft())) {
        fail();
        return false;
    }
    return true;
}

BinaryRWroot::BinaryRWroot(QByteArray *buffer)
    : m_root(true, buffer, &m_position, &m_failed)
    , m_buffer(buffer)
{ }
