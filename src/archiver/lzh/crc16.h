#pragma once
// CRC-16/ARC (polynomial 0x8005 reflected, initial 0, no final XOR): the
// checksum of LZH member data and of level-2 headers.

#include <cstddef>
#include <cstdint>

namespace sheaf::archiver {

class Crc16
{
public:
    void update(const void *data, size_t size);
    uint16_t value() const { return m_crc; }

    static uint16_t of(const void *data, size_t size)
    {
        Crc16 c;
        c.update(data, size);
        return c.value();
    }

    // The CRC of A followed by B, from the CRCs of A and B and B's length.
    static uint16_t combine(uint16_t crcA, uint16_t crcB, uint64_t lengthB);

private:
    uint16_t m_crc = 0;
};

} // namespace sheaf::archiver
