// libFuzzer target for the LZH decoder: any bytes give either the members
// (each with or without a fault) or ArchiveError(NotAnArchive), never a read
// or write outside the buffers (AddressSanitizer watches) nor another
// exception. A member without a fault handed out exactly its original size,
// with the CRCs reported. The file path (pread in pieces) must agree with the
// bytes in memory.
//
// Inputs starting with "RAW" skip the headers, whose CRCs mutations rarely
// get right: byte 3 picks -lh5-/-lh6-/-lh7-, bytes 4..6 the original size,
// and the rest is the compressed stream, wrapped in a level-0 header here.

#include "fuzz_checks.h"

#include "archiver/archive_error.h"
#include "archiver/lzh/crc16.h"
#include "archiver/lzh/lzh_decoder.h"

#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

using namespace sheaf::archiver;
using sheaf::fuzz::check;
using sheaf::fuzz::memoryFileWith;

namespace {

struct Outcome
{
    bool refused = false;
    std::vector<LzhMemberReport> members;
    std::vector<uint64_t> handedOut; // bytes per member
    std::vector<uint16_t> crc16;
    std::vector<uint32_t> crc32;
};

template<typename Decode>
Outcome outcome(Decode decode)
{
    Outcome o;
    uint64_t current = ~uint64_t(0);
    Crc16 crc;
    auto sink = [&](const LzhMemberReport &m, const uint8_t *data, size_t size) {
        check(size > 0);
        if (m.headerOffset != current) {
            current = m.headerOffset;
            o.handedOut.push_back(0);
            o.crc16.push_back(0);
            o.crc32.push_back(uint32_t(::crc32(0, nullptr, 0)));
            crc = Crc16();
        }
        o.handedOut.back() += size;
        crc.update(data, size);
        o.crc16.back() = crc.value();
        o.crc32.back() = uint32_t(::crc32(o.crc32.back(), data, uInt(size)));
    };
    try {
        o.members = decode(sink);
    } catch (const ArchiveError &e) {
        check(e.code() == ErrorCode::NotAnArchive);
        o.refused = true;
    }
    return o;
}

void checkSound(const Outcome &o)
{
    size_t withBytes = 0;
    for (const LzhMemberReport &m : o.members) {
        const bool handed = m.originalSize > 0 && !m.isDirectory && withBytes < o.handedOut.size();
        if (!m.fault.empty())
            return; // a fault may stop the bytes anywhere; later members are not matched up
        if (!handed) {
            check(m.originalSize == 0 || m.isDirectory);
            continue;
        }
        check(o.handedOut[withBytes] == m.originalSize);
        check(o.crc16[withBytes] == m.crc16);
        check(o.crc32[withBytes] == m.crc32);
        ++withBytes;
    }
}

std::vector<uint8_t> wrapRaw(const uint8_t *data, size_t size)
{
    static const char *const methods[] = {"-lh5-", "-lh6-", "-lh7-"};
    const uint32_t original = uint32_t(data[4]) | uint32_t(data[5]) << 8 | uint32_t(data[6]) << 16;
    const size_t packed = size - 7;
    std::vector<uint8_t> a(24 + 1); // level 0, name "x"
    std::memcpy(&a[2], methods[data[3] % 3], 5);
    for (int i = 0; i < 4; ++i) {
        a[7 + size_t(i)] = uint8_t(packed >> (8 * i));
        a[11 + size_t(i)] = uint8_t(original >> (8 * i));
    }
    a[15] = 0x00, a[16] = 0x00, a[17] = 0x21, a[18] = 0x00; // 1980-01-01
    a[19] = 0x20;
    a[20] = 0;
    a[21] = 1;
    a[22] = 'x';
    // a[23], a[24]: data CRC 0; most streams then end in a CRC fault.
    a[0] = uint8_t(a.size() - 2);
    uint8_t sum = 0;
    for (size_t i = 2; i < a.size(); ++i)
        sum = uint8_t(sum + a[i]);
    a[1] = sum;
    a.insert(a.end(), data + 7, data + size);
    a.push_back(0);
    return a;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<uint8_t> wrapped;
    if (size >= 7 && std::memcmp(data, "RAW", 3) == 0) {
        wrapped = wrapRaw(data, size);
        data = wrapped.data();
        size = wrapped.size();
    }
    const Outcome inMemory = outcome(
        [&](const LzhDataSink &sink) { return decodeLzhBytes(data, size, "fuzz.lzh", sink); });
    checkSound(inMemory);

    const std::string path = memoryFileWith(data, size);
    const Outcome fromFile
        = outcome([&](const LzhDataSink &sink) { return decodeLzhArchive(path, sink); });
    check(fromFile.refused == inMemory.refused);
    check(fromFile.members.size() == inMemory.members.size());
    for (size_t i = 0; i < inMemory.members.size(); ++i) {
        const LzhMemberReport &a = inMemory.members[i], &b = fromFile.members[i];
        check(a.fault == b.fault && a.crc32 == b.crc32 && a.storedPath == b.storedPath);
    }
    check(fromFile.handedOut == inMemory.handedOut);
    return 0;
}
