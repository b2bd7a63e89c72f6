// The LZH decoder. The headers are walked by the archive reader (every
// bound and header CRC checked there); this file decodes the member data.
//
// Speed: Huffman codes are looked up in a table indexed by the next 12 bits
// (8 for the small T and P alphabets); the few longer codes fall back to the
// canonical first-code search. One refill per token covers the C code, the
// P code and the extra bits. Matches of distance 8 or more are copied eight
// bytes at a time, at least sixteen, which may write up to thirteen bytes
// past the match; the output buffer keeps more than that much slack.
//
// Strictness: the decoder is what our own archives are verified with, so it
// refuses what the strictest readers refuse: incomplete or oversubscribed
// code tables (also unused ones with no code), runs past a table's count,
// references before the start of the file, output past the original size,
// tokens left over in the last block, bytes after the stream and padding
// bits that are not zero.
#include "archiver/lzh/lzh_decoder.h"

#include "archiver/archive_error.h"
#include "archiver/lzh/crc16.h"
#include "archiver/lzh/lzh_archive_reader.h"
#include "archiver/lzh/lzh_bit_reader.h"
#include "archiver/lzh/lzh_format.h"
#include "base/thread_count.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <system_error>
#include <thread>

// The token loop is also built for x86-64-v3 and picked at start-up where
// the processor has it: BMI2's shifts by a register count take one cycle
// instead of two, and shifts are half of the loop's critical path.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define SHEAF_DECODER_CLONES __attribute__((target_clones("default", "arch=x86-64-v3")))
#else
#define SHEAF_DECODER_CLONES
#endif

namespace sheaf::archiver {

namespace {

constexpr unsigned kMaxCodeLength = kLzhMaxCodeLength;
constexpr unsigned kNC = kLzhCodeSymbols; // literal and length symbols
constexpr unsigned kNT = kLzhCodeLengthSymbols; // code-length symbols
constexpr unsigned kCBits = 9, kTBits = 5;
constexpr size_t kHistory = 65536; // the largest window (-lh7-)
constexpr size_t kOutputChunk = size_t(1) << 18;
constexpr size_t kInputChunk = size_t(1) << 20;

const char *const kBadTable = "圧縮データが壊れています (符号表が不正です)";
const char *const kBadCode = "圧縮データが壊れています (不正な符号があります)";
const char *const kBeforeStart = "圧縮データが壊れています (ファイルの先頭より前を参照しています)";
const char *const kPastSize = "圧縮データが壊れています (元の大きさを超えて展開されます)";
const char *const kEmptyBlock = "圧縮データが壊れています (符号数 0 のブロックがあります)";
const char *const kTokensLeft = "圧縮データが壊れています (最後のブロックに余分な符号があります)";
const char *const kTruncated = "圧縮データが途中で終わっています";
const char *const kTrailing = "圧縮データの後ろに余分なデータがあります";
const char *const kPadding = "圧縮データの末尾の詰め物が 0 ではありません";
const char *const kStoredSize = "無圧縮メンバーの格納サイズと元のサイズが違います";
const char *const kPieceEdge
    = "圧縮データが壊れています (ブロックの区切りが書き手の記録と違います)";
const char *const kPieceHistory
    = "圧縮データが壊れています (区切りまでの内容が書き手の記録と違います)";

// A canonical Huffman code: a lookup table for codes up to `bits` long and
// the first-code search for the rest. Entries hold symbol << 6 | length, the
// length in the low bits so that the shift by it needs no extraction (the
// critical path of the decoding loop is load, shift, load); length kLong
// sends the search on.
template<unsigned Bits>
class HuffmanTable
{
public:
    static constexpr uint16_t kLong = 63;

    // Only `symbol`, with a code of 0 bits.
    void single(unsigned symbol)
    {
        std::fill(m_lookup.begin(), m_lookup.end(), uint16_t(symbol << 6));
        m_count.fill(0);
    }

    // From code lengths (0 = unused). False when the lengths do not form a
    // complete prefix code, also when they hold no code at all: a table
    // that lists lengths has codes (a writer with one symbol or none uses
    // the single-symbol form), and 7-Zip refuses an empty one even where
    // the block never reads it (libarchive too).
    bool build(const uint8_t *lengths, unsigned n)
    {
        // Four counts in turn: runs of one length (zeros above all) would
        // otherwise wait on one counter's increment after another.
        std::array<std::array<uint16_t, kMaxCodeLength + 1>, 4> counts {};
        unsigned s = 0;
        for (; s + 4 <= n; s += 4) {
            ++counts[0][lengths[s]];
            ++counts[1][lengths[s + 1]];
            ++counts[2][lengths[s + 2]];
            ++counts[3][lengths[s + 3]];
        }
        for (; s < n; ++s)
            ++counts[0][lengths[s]];
        for (unsigned l = 0; l <= kMaxCodeLength; ++l)
            m_count[l] = uint16_t(counts[0][l] + counts[1][l] + counts[2][l] + counts[3][l]);
        m_count[0] = 0;
        uint32_t space = 0;
        for (unsigned l = 1; l <= kMaxCodeLength; ++l)
            space += uint32_t(m_count[l]) << (kMaxCodeLength - l);
        if (space != (uint32_t(1) << kMaxCodeLength))
            return false;
        std::array<uint32_t, kMaxCodeLength + 2> next {};
        uint16_t offset = 0;
        for (unsigned l = 1; l <= kMaxCodeLength; ++l) {
            m_first[l] = next[l];
            m_offset[l] = offset;
            offset = uint16_t(offset + m_count[l]);
            next[l + 1] = (next[l] + m_count[l]) << 1;
        }
        for (unsigned s = 0; s < n; ++s) {
            const unsigned l = lengths[s];
            if (l == 0)
                continue;
            const uint32_t code = next[l]++;
            m_sorted[m_offset[l] + (code - m_first[l])] = uint16_t(s);
            if (l <= Bits) {
                fillEntries(m_lookup.data() + (size_t(code) << (Bits - l)), size_t(1) << (Bits - l),
                    uint16_t(s << 6 | l));
            } else {
                m_lookup[code >> (l - Bits)] = uint16_t(kLong);
            }
        }
        return true;
    }

    // The next symbol, or -1 when the bits are no code. Needs 16 bits
    // buffered.
    int decode(LzhBits &in) const
    {
        const uint16_t e = m_lookup[in.peek(Bits)];
        const unsigned l = e & 63;
        if (l <= kMaxCodeLength) [[likely]] {
            in.skip(l);
            return e >> 6;
        }
        unsigned length = 0;
        const int symbol = decodeLong(in.buf, length);
        in.skip(length);
        return symbol;
    }
    int decode(LzhBitReader &in) const { return decode(in.state()); }

private:
    // `count` (a power of two) entries from `at`: four at a time where they
    // can, since building the tables is most of what decoding a small
    // member costs.
    static void fillEntries(uint16_t *at, size_t count, uint16_t entry)
    {
        if (count < 4) {
            for (size_t i = 0; i < count; ++i)
                at[i] = entry;
            return;
        }
        const uint64_t four = entry * 0x0001000100010001ull;
        for (size_t i = 0; i < count; i += 4)
            std::memcpy(at + i, &four, 8);
    }

    // Codes longer than the table: the canonical first-code search on the
    // next 16 bits. Takes the bits by value so that the caller's state can
    // stay in registers.
    int decodeLong(uint64_t bits, unsigned &length) const
    {
        for (unsigned l = Bits + 1; l <= kMaxCodeLength; ++l) {
            const uint32_t index = uint32_t(bits >> (64 - l)) - m_first[l];
            if (index < m_count[l]) {
                length = l;
                return m_sorted[m_offset[l] + index];
            }
        }
        return -1;
    }

    std::array<uint16_t, size_t(1) << Bits> m_lookup {};
    std::array<uint16_t, kMaxCodeLength + 1> m_count {};
    std::array<uint32_t, kMaxCodeLength + 1> m_first {};
    std::array<uint16_t, kMaxCodeLength + 1> m_offset {};
    std::array<uint16_t, kNC> m_sorted {};
};

// A buffer per thread, left uninitialised: the batch verifies one small
// archive after another, and clearing a fresh megabyte for each of them
// would cost more than decoding it.
template<int Which, size_t Size>
uint8_t *scratch()
{
    thread_local std::unique_ptr<uint8_t[]> buffer(new uint8_t[Size]);
    return buffer.get();
}

struct Fault
{
    const char *why;
};

// Where decoded bytes go: both checksums, the caller's sink, and the
// history that matches copy from.
class Output
{
public:
    Output(LzhMemberReport &report, const LzhDataSink &sink, const std::atomic<bool> *cancel)
        : m_report(report)
        , m_sink(sink)
        , m_cancel(cancel)
    {
    }

    void emit(const uint8_t *data, size_t size)
    {
        if (size == 0)
            return;
        m_crc16.update(data, size);
        // zlib's crc32 takes a 32-bit length.
        for (size_t done = 0; done < size;) {
            const size_t n = std::min<size_t>(size - done, 1u << 30);
            m_crc32 = uint32_t(::crc32(uLong(m_crc32), data + done, uInt(n)));
            done += n;
        }
        if (m_sink)
            m_sink(m_report, data, size);
        checkCancel(m_cancel);
    }

    uint16_t crc16() const { return m_crc16.value(); }
    uint32_t crc32() const { return m_crc32; }

private:
    LzhMemberReport &m_report;
    const LzhDataSink &m_sink;
    const std::atomic<bool> *m_cancel;
    Crc16 m_crc16;
    uint32_t m_crc32 = uint32_t(::crc32(0, nullptr, 0));
};

// Decodes one -lh5-/-lh6-/-lh7- stream of `original` bytes.
class StreamDecoder
{
public:
    StreamDecoder(LzhBitReader &in, Output &out, unsigned np, unsigned pBits)
        : m_in(in)
        , m_out(out)
        , m_np(np)
        , m_pBits(pBits)
        , m_buffer(scratch<0, kHistory + kOutputChunk + 512>())
    {
    }

    // Decoding starts after `size` bytes of data (at most one window) that
    // matches may reach back into; they are not emitted.
    void primeHistory(const uint8_t *data, size_t size)
    {
        std::memcpy(m_buffer, data, size);
        m_pos = m_emitted = size;
    }
    void run(uint64_t original);
    // After run(): the last `size` bytes of the history and the data.
    std::vector<uint8_t> tail(size_t size) const
    {
        if (size > m_pos)
            throw Fault {kPieceHistory};
        return std::vector<uint8_t>(m_buffer + m_pos - size, m_buffer + m_pos);
    }

private:
    template<unsigned Bits>
    void readLengths(uint8_t *lengths, unsigned alphabet, unsigned countBits, bool special,
        HuffmanTable<Bits> &table);
    void decodeTokens(unsigned &tokensLeft, uint64_t &left);
    void readCLengths();
    void flush();

    LzhBitReader &m_in;
    Output &m_out;
    unsigned m_np, m_pBits;
    uint8_t *m_buffer;
    size_t m_pos = 0, m_emitted = 0;
    HuffmanTable<8> m_t, m_p;
    HuffmanTable<12> m_c;
    std::array<uint8_t, kNC> m_lengths {};
};

template<unsigned Bits>
void StreamDecoder::readLengths(uint8_t *lengths, unsigned alphabet, unsigned countBits,
    bool special, HuffmanTable<Bits> &table)
{
    const unsigned n = m_in.bits(countBits);
    if (n == 0) {
        const unsigned symbol = m_in.bits(countBits);
        if (symbol >= alphabet)
            throw Fault {kBadTable};
        table.single(symbol);
        return;
    }
    if (n > alphabet)
        throw Fault {kBadTable};
    std::fill(lengths, lengths + alphabet, uint8_t(0));
    unsigned i = 0;
    while (i < n) {
        m_in.refill();
        unsigned l = m_in.peek(3);
        m_in.skip(3);
        if (l == 7) {
            while (m_in.peek(1)) {
                m_in.skip(1);
                if (++l > kMaxCodeLength)
                    throw Fault {kBadTable};
            }
            m_in.skip(1);
        }
        lengths[i++] = uint8_t(l);
        if (special && i == 3) {
            const unsigned zeros = m_in.bits(2);
            if (i + zeros > n)
                throw Fault {kBadTable};
            i += zeros; // already zero
        }
    }
    if (!table.build(lengths, alphabet))
        throw Fault {kBadTable};
}

void StreamDecoder::readCLengths()
{
    const unsigned n = m_in.bits(kCBits);
    if (n == 0) {
        const unsigned symbol = m_in.bits(kCBits);
        if (symbol >= kNC)
            throw Fault {kBadTable};
        m_c.single(symbol);
        return;
    }
    if (n > kNC)
        throw Fault {kBadTable};
    m_lengths.fill(0);
    unsigned i = 0;
    while (i < n) {
        m_in.refill();
        const int t = m_t.decode(m_in);
        if (t < 0)
            throw Fault {kBadTable};
        if (t <= 2) {
            const unsigned run = t == 0 ? 1 : t == 1 ? m_in.bits(4) + 3 : m_in.bits(kCBits) + 20;
            if (run > n - i)
                throw Fault {kBadTable};
            i += run; // already zero
        } else {
            m_lengths[i++] = uint8_t(t - 2);
        }
    }
    if (!m_c.build(m_lengths.data(), kNC))
        throw Fault {kBadTable};
}

void StreamDecoder::flush()
{
    m_out.emit(m_buffer + m_emitted, m_pos - m_emitted);
    if (m_pos > kHistory) {
        std::memmove(m_buffer, m_buffer + m_pos - kHistory, kHistory);
        m_pos = kHistory;
    }
    m_emitted = m_pos;
}

// Decodes tokens of the current block until the block or the original size
// ends or the buffer is due to be flushed. Everything the loop touches is
// local, see LzhBits.
SHEAF_DECODER_CLONES void StreamDecoder::decodeTokens(unsigned &tokensLeft, uint64_t &left)
{
    uint8_t *const buf = m_buffer;
    uint8_t *const start = buf + m_pos;
    uint8_t *out = start;
    // A match may run past `stop` (by at most 255 bytes) but not past the
    // original size; the buffer's slack takes the rest.
    uint8_t *const stop = start + std::min<uint64_t>(left, kHistory + kOutputChunk - m_pos);
    LzhBits s = m_in.state();
    unsigned tokens = tokensLeft;
    while (tokens != 0 && out < stop) {
        --tokens;
        // Refilled before every token: whether a token finds enough bits
        // left depends on the data, a branch mispredicted again and again;
        // loading the next bytes once more is harmless.
        if (s.end - s.p >= 8) [[likely]] {
            s.refillFast();
        } else if (s.count < 47) {
            m_in.state() = s;
            m_in.refill();
            if (m_in.exhausted())
                throw Fault {kTruncated};
            s = m_in.state();
        }
        const int c = m_c.decode(s);
        if (c < 256) {
            if (c < 0) [[unlikely]]
                throw Fault {kBadCode};
            *out++ = uint8_t(c);
            continue;
        }
        const unsigned length = unsigned(c) - 256 + 3;
        const int p = m_p.decode(s);
        if (p < 0) [[unlikely]]
            throw Fault {kBadCode};
        size_t distance = 1;
        if (p >= 1) {
            const unsigned extra = unsigned(p) - 1;
            distance = (size_t(1) << extra) + 1;
            if (extra > 0) {
                distance += s.peek(extra);
                s.skip(extra);
            }
        }
        // After the first flush the buffer holds a whole window before
        // `out`, so this only catches references before the file's start.
        if (distance > size_t(out - buf)) [[unlikely]]
            throw Fault {kBeforeStart};
        if (length > left - uint64_t(out - start)) [[unlikely]]
            throw Fault {kPastSize};
        const uint8_t *src = out - distance;
        uint8_t *const end = out + length;
        if (distance >= 8) {
            // Eight bytes at a time; the buffer's slack takes the overshoot.
            // Most matches are at most 16 bytes long: two copies and no
            // loop, whose exit would be mispredicted as lengths vary.
            std::memcpy(out, src, 8);
            std::memcpy(out + 8, src + 8, 8);
            if (length > 16) [[unlikely]] {
                out += 16;
                src += 16;
                do {
                    std::memcpy(out, src, 8);
                    out += 8;
                    src += 8;
                } while (out < end);
            }
        } else if (distance == 1) {
            std::memset(out, *src, length);
        } else {
            for (unsigned k = 0; k < length; ++k)
                out[k] = src[k];
        }
        out = end;
    }
    m_in.state() = s;
    tokensLeft = tokens;
    left -= uint64_t(out - start);
    m_pos = size_t(out - buf);
}

void StreamDecoder::run(uint64_t original)
{
    uint64_t left = original;
    unsigned tokensLeft = 0;
    std::array<uint8_t, kNT> tLengths {};
    std::array<uint8_t, 32> pLengths {};
    while (left > 0) {
        if (m_in.exhausted())
            throw Fault {kTruncated};
        tokensLeft = m_in.bits(16);
        if (tokensLeft == 0)
            throw Fault {kEmptyBlock};
        readLengths(tLengths.data(), kNT, kTBits, true, m_t);
        readCLengths();
        readLengths(pLengths.data(), m_np, m_pBits, false, m_p);
        while (tokensLeft > 0 && left > 0) {
            if (m_pos >= kHistory + kOutputChunk)
                flush();
            decodeTokens(tokensLeft, left);
        }
    }
    flush();
    if (tokensLeft != 0)
        throw Fault {kTokensLeft};
}

// The packed data of the members: straight from memory when the archive is
// there, else read in pieces into a buffer of this thread's. One archive
// serves several sources at once (one per thread decoding a piece).
class PackedSource
{
public:
    explicit PackedSource(const ArchiveInput &archive)
        : m_archive(archive)
        , m_memory(archive.reader().memory())
        , m_buffer(m_memory ? nullptr : scratch<1, kInputChunk + 8>())
    {
    }
    PackedSource(const PackedSource &) = delete;
    PackedSource &operator=(const PackedSource &) = delete;

    using Piece = std::function<void(const uint8_t *data, size_t size)>;
    // A bit reader over `size` bytes at `offset`.
    LzhBitReader open(uint64_t offset, uint64_t size)
    {
        if (m_memory)
            return LzhBitReader(m_memory + offset, m_memory + offset + size);
        m_next = offset;
        m_left = size;
        const uint8_t *begin = m_buffer, *end = begin;
        more(begin, end);
        return LzhBitReader(
            begin, end, [this](const uint8_t *&b, const uint8_t *&e) { more(b, e); });
    }
    // The same bytes handed out in pieces, for stored members.
    void pieces(uint64_t offset, uint64_t size, const Piece &piece)
    {
        if (m_memory) {
            for (uint64_t done = 0; done < size;) {
                const size_t n = size_t(std::min<uint64_t>(size - done, kInputChunk));
                piece(m_memory + offset + done, n);
                done += n;
            }
            return;
        }
        m_next = offset;
        m_left = size;
        while (m_left > 0) {
            const uint8_t *begin = m_buffer, *end = begin;
            more(begin, end);
            piece(begin, size_t(end - begin));
        }
    }

private:
    // Keeps the unread tail [b, e) and reads the next piece after it.
    void more(const uint8_t *&b, const uint8_t *&e)
    {
        const size_t keep = size_t(e - b);
        std::memmove(m_buffer, b, keep);
        const size_t want = size_t(std::min<uint64_t>(m_left, kInputChunk));
        m_archive.read(m_next, m_buffer + keep, want);
        m_next += want;
        m_left -= want;
        b = m_buffer;
        e = b + keep + want;
    }

    const ArchiveInput &m_archive;
    const uint8_t *m_memory;
    uint8_t *m_buffer;
    uint64_t m_next = 0, m_left = 0;
};

struct MethodFacts
{
    std::string_view id;
    unsigned np, pBits; // 0: stored
};

constexpr std::array<MethodFacts, 4> kMethods {{
    {kLzhStored, 0, 0},
    {kLzhMethods[0].id, unsigned(kLzhMethods[0].positionSymbols),
        unsigned(kLzhMethods[0].positionCountBits)},
    {kLzhMethods[1].id, unsigned(kLzhMethods[1].positionSymbols),
        unsigned(kLzhMethods[1].positionCountBits)},
    {kLzhMethods[2].id, unsigned(kLzhMethods[2].positionSymbols),
        unsigned(kLzhMethods[2].positionCountBits)},
}};

std::string hex4(uint16_t v)
{
    char s[8];
    std::snprintf(s, sizeof s, "%04X", unsigned(v));
    return s;
}

void decodeMember(PackedSource &packed, const LzhMemberInfo &info, LzhMemberReport &report,
    const LzhDataSink &sink, const std::atomic<bool> *cancel)
{
    Output out(report, sink, cancel);
    report.crc32 = out.crc32();
    if (report.isDirectory)
        return;
    const MethodFacts *method = nullptr;
    for (const MethodFacts &m : kMethods)
        if (report.method == m.id)
            method = &m;
    if (!method) {
        report.fault = "対応していない圧縮方式です: " + report.method;
        return;
    }
    try {
        if (method->np == 0) {
            if (info.dataSize != info.originalSize)
                throw Fault {kStoredSize};
            packed.pieces(info.dataOffset, info.dataSize,
                [&out](const uint8_t *data, size_t size) { out.emit(data, size); });
        } else {
            LzhBitReader in = packed.open(info.dataOffset, info.dataSize);
            StreamDecoder(in, out, method->np, method->pBits).run(info.originalSize);
            const uint64_t consumed = in.consumedBits();
            if (consumed > info.dataSize * 8)
                throw Fault {kTruncated};
            if (!in.restOfByteIsZero())
                throw Fault {kPadding};
            if ((consumed + 7) / 8 < info.dataSize)
                throw Fault {kTrailing};
        }
    } catch (const Fault &f) {
        report.fault = f.why;
    }
    report.crc32 = out.crc32();
    if (report.fault.empty() && out.crc16() != report.crc16)
        report.fault = "CRC が合いません (格納値 " + hex4(report.crc16) + ", 計算値 "
            + hex4(out.crc16()) + ")";
}

// One piece of a member decoded on its own (see LzhParallelDecode).
struct Piece
{
    uint64_t startBit = 0; // in the member's packed data
    uint64_t endBit = 0; // where the next piece starts (not for the last)
    uint64_t length = 0; // bytes of data
    const std::vector<uint8_t> *history = nullptr; // none for the first
    bool last = false;
    size_t tailSize = 0; // the next piece's history
    // What came out.
    uint16_t crc16 = 0;
    uint32_t crc32 = 0;
    std::vector<uint8_t> tail;
    const char *fault = nullptr;
    std::exception_ptr error; // ReadFailed, Cancelled
};

void decodePiece(PackedSource &packed, const LzhMemberInfo &info, const MethodFacts &method,
    Piece &piece, const std::atomic<bool> *cancel)
{
    LzhMemberReport unused;
    const LzhDataSink noSink;
    Output out(unused, noSink, cancel);
    try {
        const uint64_t first = piece.startBit / 8;
        const uint64_t end = piece.last ? info.dataSize : (piece.endBit + 7) / 8;
        LzhBitReader in = packed.open(info.dataOffset + first, end - first);
        in.bits(unsigned(piece.startBit % 8));
        StreamDecoder decoder(in, out, method.np, method.pBits);
        if (piece.history)
            decoder.primeHistory(piece.history->data(), piece.history->size());
        decoder.run(piece.length);
        const uint64_t consumed = in.consumedBits();
        if (piece.last) {
            if (consumed > (end - first) * 8)
                throw Fault {kTruncated};
            if (!in.restOfByteIsZero())
                throw Fault {kPadding};
            if ((consumed + 7) / 8 < end - first)
                throw Fault {kTrailing};
        } else {
            if (first * 8 + consumed != piece.endBit)
                throw Fault {kPieceEdge};
            piece.tail = decoder.tail(piece.tailSize);
        }
    } catch (const Fault &f) {
        piece.fault = f.why;
    }
    piece.crc16 = out.crc16();
    piece.crc32 = out.crc32();
}

// The pieces between the restart points, or none when the points do not fit
// the member (then it is decoded in one pass).
std::vector<Piece> piecesOf(const LzhMemberInfo &info, const LzhRestartPoints &points)
{
    uint64_t bit = 0, output = 0;
    for (const LzhRestartPoint &p : points)
        if (p.bit <= bit || p.bit >= info.dataSize * 8 || p.output <= output
            || p.output >= info.originalSize || p.history.size() > kHistory
            || p.history.size() > p.output)
            return {};
        else
            bit = p.bit, output = p.output;
    std::vector<Piece> pieces(points.size() + 1);
    for (size_t i = 0; i < pieces.size(); ++i) {
        Piece &piece = pieces[i];
        piece.startBit = i == 0 ? 0 : points[i - 1].bit;
        piece.history = i == 0 ? nullptr : &points[i - 1].history;
        const uint64_t from = i == 0 ? 0 : points[i - 1].output;
        piece.last = i + 1 == pieces.size();
        piece.length = (piece.last ? info.originalSize : points[i].output) - from;
        if (!piece.last) {
            piece.endBit = points[i].bit;
            piece.tailSize = points[i].history.size();
        }
    }
    return pieces;
}

// Decodes the member's pieces on up to `threads` threads (this one
// included), each reading the archive through its own source; false when
// the points do not fit the member.
bool decodeInPieces(const LzhMemberInfo &info, LzhMemberReport &report, const MethodFacts &method,
    const LzhRestartPoints &points, int threads, const ArchiveInput &archive,
    const std::atomic<bool> *cancel)
{
    std::vector<Piece> pieces = piecesOf(info, points);
    if (pieces.empty())
        return false;
    std::atomic<size_t> next {0};
    std::atomic<bool> failed {false};
    // Pieces are taken in order and a taken one is finished, so those left
    // when one fails all come after it.
    auto work = [&] {
        std::unique_ptr<PackedSource> packed;
        while (!failed.load()) {
            const size_t i = next++;
            if (i >= pieces.size())
                break;
            Piece &piece = pieces[i];
            try {
                if (!packed)
                    packed = std::make_unique<PackedSource>(archive);
                decodePiece(*packed, info, method, piece, cancel);
            } catch (...) {
                piece.error = std::current_exception();
            }
            if (piece.fault || piece.error)
                failed = true;
        }
    };
    std::vector<std::thread> helpers;
    const size_t extra = std::min(pieces.size(), size_t(std::max(threads, 1))) - 1;
    try {
        for (size_t i = 0; i < extra; ++i)
            helpers.emplace_back(work);
    } catch (const std::system_error &) {
        // No more threads to be had: those started and this one do it all.
    }
    work();
    for (std::thread &t : helpers)
        t.join();

    uint16_t crc16 = 0;
    uint32_t crc32 = uint32_t(::crc32(0, nullptr, 0));
    for (size_t i = 0; i < pieces.size(); ++i) {
        const Piece &piece = pieces[i];
        if (piece.error)
            std::rethrow_exception(piece.error);
        if (piece.fault) {
            report.fault = piece.fault;
            return true;
        }
        if (i + 1 < pieces.size() && piece.tail != points[i].history) {
            report.fault = kPieceHistory;
            return true;
        }
        crc16 = i == 0 ? piece.crc16 : Crc16::combine(crc16, piece.crc16, piece.length);
        crc32 = i == 0
            ? piece.crc32
            : uint32_t(::crc32_combine(uLong(crc32), uLong(piece.crc32), z_off_t(piece.length)));
    }
    report.crc32 = crc32;
    if (crc16 != report.crc16)
        report.fault
            = "CRC が合いません (格納値 " + hex4(report.crc16) + ", 計算値 " + hex4(crc16) + ")";
    return true;
}

const MethodFacts *compressedMethod(const std::string &id)
{
    for (const MethodFacts &m : kMethods)
        if (id == m.id && m.np != 0)
            return &m;
    return nullptr;
}

std::vector<LzhMemberReport> decodeAll(const std::vector<LzhMemberInfo> &members,
    const ArchiveInput &archive, const LzhDataSink &sink, const std::atomic<bool> *cancel,
    const LzhParallelDecode *parallel = nullptr)
{
    PackedSource packed(archive);
    std::vector<LzhMemberReport> reports;
    reports.reserve(members.size());
    for (const LzhMemberInfo &m : members) {
        checkCancel(cancel);
        LzhMemberReport r;
        r.storedPath = m.path;
        r.rawName = m.rawPath;
        r.isDirectory = m.isDirectory;
        r.method = m.method;
        r.originalSize = m.originalSize;
        r.packedSize = m.dataSize;
        r.mtime = m.mtime;
        r.crc16 = m.crc16;
        r.headerLevel = m.headerLevel;
        r.headerOffset = m.offset;
        const size_t i = reports.size();
        const LzhRestartPoints *points
            = parallel && !sink && i < parallel->members.size() ? parallel->members[i] : nullptr;
        const MethodFacts *method = compressedMethod(m.method);
        const int threads = parallel ? threadCount(parallel->threads) : 1;
        if (!(points && !points->empty() && method && !m.isDirectory && threads > 1
                && decodeInPieces(m, r, *method, *points, threads, archive, cancel)))
            decodeMember(packed, m, r, sink, cancel);
        reports.push_back(std::move(r));
    }
    return reports;
}

} // namespace

std::vector<LzhMemberReport> decodeLzhArchive(const ArchiveInput &archive, const LzhDataSink &sink,
    const std::atomic<bool> *cancel, const LzhParallelDecode *parallel)
{
    return decodeAll(readLzhMembers(archive), archive, sink, cancel, parallel);
}

std::vector<LzhMemberReport> decodeLzhArchive(const std::filesystem::path &archive,
    const LzhDataSink &sink, const std::atomic<bool> *cancel, const LzhParallelDecode *parallel)
{
    return decodeLzhArchive(ArchiveInput(archive), sink, cancel, parallel);
}

std::vector<LzhMemberReport> decodeLzhMembers(const ArchiveInput &archive,
    const std::vector<LzhMemberInfo> &members, const LzhDataSink &sink,
    const std::atomic<bool> *cancel)
{
    return decodeAll(members, archive, sink, cancel);
}

std::vector<LzhMemberReport> decodeLzhBytes(const uint8_t *data, size_t size,
    const std::string &name, const LzhDataSink &sink, const std::atomic<bool> *cancel,
    const LzhParallelDecode *parallel)
{
    const MemoryReader reader(data, size);
    return decodeLzhArchive(ArchiveInput(reader, name), sink, cancel, parallel);
}

} // namespace sheaf::archiver
