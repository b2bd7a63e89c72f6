// Table-driven CRC-16/ARC, one byte per step; the data rate of the LZH
// writer is bounded by the match finder, not by this.
#include "archiver/crc16.h"

#include <array>

namespace sheaf::archiver {

namespace {

constexpr std::array<uint16_t, 256> makeTable()
{
    std::array<uint16_t, 256> t {};
    for (unsigned i = 0; i < 256; ++i) {
        uint16_t c = uint16_t(i);
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? uint16_t((c >> 1) ^ 0xA001) : uint16_t(c >> 1);
        t[i] = c;
    }
    return t;
}

constexpr auto kTable = makeTable();

} // namespace

void Crc16::update(const void *data, size_t size)
{
    const auto *p = static_cast<const uint8_t *>(data);
    uint16_t c = m_crc;
    for (size_t i = 0; i < size; ++i)
        c = uint16_t((c >> 8) ^ kTable[(c ^ p[i]) & 0xFF]);
    m_crc = c;
}

} // namespace sheaf::archiver
