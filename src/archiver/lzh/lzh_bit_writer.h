#pragma once
// MSB-first bit writer for LZH streams: the first bit of the stream is bit 7
// of the first byte, and every field goes most significant bit first.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace sheaf::archiver {

class LzhBitWriter
{
public:
    explicit LzhBitWriter(std::vector<uint8_t> &out)
        : m_out(out)
    {
    }

    // Writes the low `bits` bits of `value` (bits <= 32). Bits go out four
    // bytes at a time; padToByte() writes the rest.
    __attribute__((always_inline)) void put(uint32_t value, int bits)
    {
        m_acc = (m_acc << bits) | (value & ((uint64_t(1) << bits) - 1));
        m_pending += bits;
        m_total += uint64_t(bits);
        if (m_pending >= 32) {
            m_pending -= 32;
            const uint32_t word = uint32_t(m_acc >> m_pending);
            if (m_out.capacity() - m_out.size() < 4) [[unlikely]]
                grow();
            m_out.push_back(uint8_t(word >> 24));
            m_out.push_back(uint8_t(word >> 16));
            m_out.push_back(uint8_t(word >> 8));
            m_out.push_back(uint8_t(word));
        }
    }

    // Appends the first `count` bits of a stream another writer wrote: the
    // bulk eight bytes at a time, each word shifted past the bits pending.
    void append(const uint8_t *data, uint64_t count)
    {
        if (const size_t words = size_t(count / 64)) {
            const size_t at = m_out.size();
            m_out.resize(at + 8 * words);
            uint8_t *to = m_out.data() + at;
            for (size_t i = 0; i < words; ++i, data += 8, to += 8) {
                uint64_t w;
                std::memcpy(&w, data, 8);
                w = __builtin_bswap64(w);
                const uint64_t out
                    = m_pending == 0 ? w : m_acc << (64 - m_pending) | w >> m_pending;
                const uint64_t be = __builtin_bswap64(out);
                std::memcpy(to, &be, 8);
                m_acc = w; // its low m_pending bits are still to go
            }
            m_total += 64 * uint64_t(words);
            count -= 64 * uint64_t(words);
        }
        for (; count >= 32; count -= 32, data += 4)
            put(uint32_t(data[0]) << 24 | uint32_t(data[1]) << 16 | uint32_t(data[2]) << 8
                    | data[3],
                32);
        for (; count >= 8; count -= 8)
            put(*data++, 8);
        if (count > 0)
            put(uint32_t(*data) >> (8 - count), int(count));
    }

    // Zero bits up to the next byte boundary; every bit written so far is
    // then in the vector.
    void padToByte()
    {
        if (m_pending % 8 != 0)
            put(0, 8 - m_pending % 8);
        while (m_pending >= 8) {
            m_pending -= 8;
            m_out.push_back(uint8_t(m_acc >> m_pending));
        }
    }

    uint64_t bitCount() const { return m_total; }

    // Starts a new stream (the bytes already written stay in the vector).
    void reset()
    {
        m_acc = 0;
        m_pending = 0;
        m_total = 0;
    }

private:
    // Out of line: put() stays small enough to inline everywhere.
    __attribute__((noinline)) void grow() { m_out.reserve(2 * m_out.capacity() + 4096); }

    std::vector<uint8_t> &m_out;
    uint64_t m_acc = 0;
    int m_pending = 0;
    uint64_t m_total = 0;
};

} // namespace sheaf::archiver
