// Reads the bit fields of one RTCM 3 payload, most significant bit first, never past its end.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace Rtcm3
{

class BitReader
{
public:
    BitReader(const unsigned char* payload, int length) : m_payload(payload), m_length(length) {}

    // Up to 56 bits; bits past the payload read as zero, since a short payload may still carry a good CRC.
    std::uint64_t readUnsigned(int bits)
    {
        if (bits <= 0)
            return 0;
        const int byte = m_bit >> 3;
        std::uint64_t value = 0;
        if (byte + 8 <= m_length)
        {
            // Eight bytes at once hold the field wherever it starts in the first of them.
            std::uint64_t word = 0;
            std::memcpy(&word, m_payload + byte, sizeof word);
            value = (bigEndian(word) << (m_bit & 7)) >> (64 - bits);
        }
        else
        {
            for (int bit = m_bit; bit < m_bit + bits; ++bit)
            {
                const int at = bit >> 3;
                const unsigned next = at < m_length ? (m_payload[at] >> (7 - (bit & 7))) & 1u : 0u;
                value = (value << 1) | next;
            }
        }
        m_bit += bits;
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
        if (bits > 0)
            m_bit += bits;
    }

private:
    static std::uint64_t bigEndian(std::uint64_t word)
    {
        if constexpr (std::endian::native == std::endian::little)
            return __builtin_bswap64(word);
        return word;
    }

    const unsigned char* m_payload;
    int m_length;
    int m_bit = 0; // of the next field, from the payload's first bit
};

} // namespace Rtcm3
