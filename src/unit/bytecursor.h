#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>

namespace vork {

// Bounded little-endian reader over a byte view. Reads past the end yield
// zeros and set a sticky flag, so a decoder can check once at the end.
class ByteReader
{
public:
    explicit ByteReader(QByteArrayView data, qsizetype pos = 0) : m_data(data), m_pos(pos) {}

    std::uint8_t u8()
    {
        if (m_pos < 0 || m_pos >= m_data.size()) {
            m_overrun = true;
            ++m_pos;
            return 0;
        }
        return static_cast<std::uint8_t>(m_data[m_pos++]);
    }
    std::uint16_t u16()
    {
        const std::uint16_t lo = u8();
        const std::uint16_t hi = u8();
        return static_cast<std::uint16_t>(lo | (hi << 8));
    }
    std::uint32_t u32()
    {
        const std::uint32_t lo = u16();
        const std::uint32_t hi = u16();
        return lo | (hi << 16);
    }
    // Every byte of the field as one character (8-bit, Latin-1).
    QString chars(qsizetype n)
    {
        QString s;
        s.reserve(n);
        for (qsizetype i = 0; i < n; ++i)
            s.append(QChar(static_cast<char16_t>(u8())));
        return s;
    }
    // Every non-zero byte of the field, in order; zero bytes are skipped, not an end.
    QString nonZeroChars(qsizetype n)
    {
        QString s;
        for (qsizetype i = 0; i < n; ++i) {
            const std::uint8_t b = u8();
            if (b != 0)
                s.append(QChar(static_cast<char16_t>(b)));
        }
        return s;
    }
    void skip(qsizetype n) { m_pos += n; if (m_pos > m_data.size()) m_overrun = true; }
    void seek(qsizetype pos) { m_pos = pos; }
    qsizetype pos() const { return m_pos; }
    bool overrun() const { return m_overrun; }

private:
    QByteArrayView m_data;
    qsizetype m_pos = 0;
    bool m_overrun = false;
};

// Little-endian writer appending to a byte array.
class ByteWriter
{
public:
    explicit ByteWriter(QByteArray &out) : m_out(out) {}

    void u8(std::uint8_t v) { m_out.append(static_cast<char>(v)); }
    void u16(std::uint16_t v) { u8(static_cast<std::uint8_t>(v)); u8(static_cast<std::uint8_t>(v >> 8)); }
    void u32(std::uint32_t v) { u16(static_cast<std::uint16_t>(v)); u16(static_cast<std::uint16_t>(v >> 16)); }
    // A fixed-width text field: Latin-1 bytes, cut or zero-padded to width.
    void text(const QString &s, qsizetype width)
    {
        const QByteArray b = s.toLatin1();
        for (qsizetype i = 0; i < width; ++i)
            u8(i < b.size() ? static_cast<std::uint8_t>(b[i]) : 0);
    }
    void zeros(qsizetype n) { for (qsizetype i = 0; i < n; ++i) u8(0); }

private:
    QByteArray &m_out;
};

} // namespace vork
