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

// The state the decoding loop works on. It is a plain value so that the
// loop can keep it in registers: stores of decoded bytes through a uint8_t
// pointer would otherwise force it to be reloaded from memory after each one.
struct LzhBits
{
    uint64_t buf = 0; // the next bits, MSB first
    unsigned count = 0; // valid bits at the top of buf
    const uint8_t *p = nullptr, *end = nullptr; // unread bytes
    uint64_t taken = 0; // bytes of the data loaded into buf

    // Loads whole bytes up to 56..63 bits; false when fewer than eight bytes
    // are left, and then nothing was loaded.
    bool refillFast()
    {
        if (end - p < 8) [[unlikely]]
            return false;
        uint64_t v;
        __builtin_memcpy(&v, p, 8);
        buf |= __builtin_bswap64(v) >> count;
        const unsigned bytes = (63 - count) >> 3;
        p += bytes;
        taken += bytes;
        count |= 56;
        return true;
    }
    // The next n bits (1 <= n <= 32) without taking them.
    uint32_t peek(unsigned n) const { return uint32_t(buf >> (64 - n)); }
    void skip(unsigned n)
    {
        buf <<= n;
        count -= n;
    }
};

class LzhBitReader
{
public:
    // Called when the bytes are used up: returns the next [begin, end), or
    // begin == end when the data ends.
    using More = std::function<void(const uint8_t *&begin, const uint8_t *&end)>;

    LzhBitReader(const uint8_t *begin, const uint8_t *end, More more = {})
        : m_more(std::move(more))
    {
        m_s.p = begin;
        m_s.end = end;
    }

    // At least 56 bits buffered afterwards (zero bits past the end).
    void refill()
    {
        if (!m_s.refillFast())
            refillSlowly();
    }
    uint32_t peek(unsigned n) const { return m_s.peek(n); }
    void skip(unsigned n) { m_s.skip(n); }
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

    // For the decoding loop: take the state into a local, hand it back
    // before calling anything else on the reader.
    LzhBits &state() { return m_s; }

    // Bits taken by the decoder so far, the zero bits fed past the end
    // included: more than 8 * the data's size means an overrun.
    uint64_t consumedBits() const { return (m_s.taken + m_fedZeros) * 8 - m_s.count; }
    // Whether the bits up to the next byte boundary are all zero.
    bool restOfByteIsZero() const
    {
        const unsigned partial = m_s.count % 8;
        return partial == 0 || (m_s.buf >> (64 - partial)) == 0;
    }
    // Far past the end: the decoder should give up at once.
    bool exhausted() const { return m_fedZeros > 16; }

private:
    void refillSlowly()
    {
        while (m_s.count <= 56) {
            if (m_s.p == m_s.end && !m_done) {
                if (m_more)
                    m_more(m_s.p, m_s.end);
                if (m_s.p == m_s.end)
                    m_done = true;
                else if (m_s.refillFast())
                    return;
            }
            uint64_t byte = 0;
            if (m_s.p != m_s.end) {
                byte = *m_s.p++;
                ++m_s.taken;
            } else {
                ++m_fedZeros;
            }
            m_s.buf |= byte << (56 - m_s.count);
            m_s.count += 8;
        }
    }

    LzhBits m_s;
    More m_more;
    uint64_t m_fedZeros = 0;
    bool m_done = false;
};

} // namespace sheaf::archiver
