// Reads the bit fields of one RTCM 3 payload, most significant bit first, never past its end.
#pragma once

#include <cstdint>

namespace Rtcm3
{

class BitReader
{
public:
    BitReader(const unsigned char* payload, int length) : m_payload(payload), m_length(length) {}

    // Up to 56 bits; bits past the payload read as zero, since a short payload may still carry a good CRC.
    std::uint64_t readUnsigned(int bits)
    {
        while (m_accBits < bits)
        {
            const std::uint64_t next = m_pos < m_length ? m_payload[m_pos] : 0;
            ++m_pos;
            m_acc = (m_acc << 8) | next;
            m_accBits += 8;
        }
        m_accBits -= bits;
        const std::uint64_t value = (m_acc >> m_accBits) & ((std::uint64_t{1} << bits) - 1);
        m_acc &= (std::uint64_t{1} << m_accBits) - 1;
        return value;
    }

    // Two's complement of the given width.
    std::int64_t readSigned(int bits)
    {
        const std::uint64_t raw = readUnsigned(bits);
        const std::uint64_t sign = std::uint64_t{1} << (bits - 1);
        return static_cast<std::int64_t>(raw ^ sign) - static_cast<std::int64_t>(sign);
    }

    int readInt(int bits) { return static_cast<int>(readUnsigned(bits)); }

    void skip(int bits)
    {
        while (bits > 32)
        {
            readUnsigned(32);
            bits -= 32;
        }
        readUnsigned(bits);
    }

private:
    const unsigned char* m_payload;
    int m_length;
    int m_pos = 0;
    std::uint64_t m_acc = 0;
    int m_accBits = 0;
};

} // namespace Rtcm3
