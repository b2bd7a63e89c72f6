#pragma once
// The bit reader of the LZH decoder: MSB-first, a 64-bit buffer refilled
// eight bytes at a time. After refill() at least 56 bits are buffered, which
// is enough for one whole token (C code, P code and extra bits: 16 + 16 + 15).
//
// A refill loads eight bytes and keeps whole bytes only; the bits below the
// count are the next stream bytes in their final places, so loading them
// again on the next refill changes nothing. Past the end of the data, zero
// bytes are fed and counted, so that the decoder can tell an overrun from a
// complete stream without a check per bit.

#include <cstddef>
#include <cstdint>
#include <functional>

namespace sheaf::archiver {

class LzhBitReader
{
public:
    // Called when fewer than eight bytes are left: moves the unread bytes to
    // wherever it likes and returns the new [begin, end), or begin == end
    // when the data is used up.
    using More = std::function<void(const uint8_t *&begin, const uint8_t *&end)>;

    LzhBitReader(const uint8_t *begin, const uint8_t *end, More more = {})
        : m_p(begin)
        , m_end(end)
        , m_more(std::move(more))
    {
    }

    void refill()
    {
        if (m_end - m_p >= 8) [[likely]] {
            m_buf |= loadBigEndian64(m_p) >> m_count;
            const unsigned bytes = (63 - m_count) >> 3;
            m_p += bytes;
            m_taken += bytes;
            m_count |= 56;
        } else {
            refillSlowly();
        }
    }

    // The next n bits (1 <= n <= 32) without taking them; needs a refill
    // that covers them.
    uint32_t peek(unsigned n) const { return uint32_t(m_buf >> (64 - n)); }
    void skip(unsigned n)
    {
        m_buf <<= n;
        m_count -= n;
    }
    // n bits (0 <= n <= 24), refilling first.
    uint32_t bits(unsigned n)
    {
        if (n == 0)
            return 0;
        refill();
        const uint32_t v = peek(n);
        skip(n);
        return v;
    }

    // Bits taken by the decoder so far, the zero bits fed past the end
    // included: more than 8 * the data's size means an overrun.
    uint64_t consumedBits() const { return (m_taken + m_fedZeros) * 8 - m_count; }
    // Whether the bits up to the next byte boundary are all zero.
    bool restOfByteIsZero() const
    {
        const unsigned partial = m_count % 8;
        return partial == 0 || (m_buf >> (64 - partial)) == 0;
    }
    // Far past the end: the decoder should give up at once.
    bool exhausted() const { return m_fedZeros > 16; }

private:
    static uint64_t loadBigEndian64(const uint8_t *p)
    {
        uint64_t v;
        __builtin_memcpy(&v, p, 8);
        return __builtin_bswap64(v);
    }

    void refillSlowly()
    {
        while (m_count <= 56) {
            if (m_p == m_end && !m_done) {
                if (m_more)
                    m_more(m_p, m_end);
                if (m_p == m_end)
                    m_done = true;
                else if (m_end - m_p >= 8) {
                    refill();
                    return;
                }
            }
            uint64_t byte = 0;
            if (m_p != m_end) {
                byte = *m_p++;
                ++m_taken;
            } else
                ++m_fedZeros;
            m_buf |= byte << (56 - m_count);
            m_count += 8;
        }
    }

    const uint8_t *m_p, *m_end;
    More m_more;
    uint64_t m_buf = 0;
    unsigned m_count = 0; // valid bits at the top of m_buf
    uint64_t m_taken = 0; // bytes of the data loaded into m_buf
    uint64_t m_fedZeros = 0;
    bool m_done = false;
};

} // namespace sheaf::archiver
