#pragma once
// MSB-first bit writer for LZH streams: the first bit of the stream is bit 7
// of the first byte, and every field goes most significant bit first.

#include <cstdint>
#include <vector>

namespace sheaf::archiver {

class LzhBitWriter
{
public:
    explicit LzhBitWriter(std::vector<uint8_t> &out)
        : m_out(out)
    {
    }

    // Writes the low `bits` bits of `value` (bits <= 32).
    void put(uint32_t value, int bits)
    {
        if (bits == 0)
            return;
        m_acc = (m_acc << bits) | (value & (uint64_t(0xFFFFFFFFu) >> (32 - bits)));
        m_pending += bits;
        m_total += uint64_t(bits);
        while (m_pending >= 8) {
            m_pending -= 8;
            m_out.push_back(uint8_t(m_acc >> m_pending));
        }
    }

    // Zero bits up to the next byte boundary.
    void padToByte()
    {
        if (m_pending > 0)
            put(0, 8 - m_pending);
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
    std::vector<uint8_t> &m_out;
    uint64_t m_acc = 0;
    int m_pending = 0;
    uint64_t m_total = 0;
};

} // namespace sheaf::archiver
