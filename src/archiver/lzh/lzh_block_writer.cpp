// One LZH block = count, T table, C table (coded with T), P table, tokens.
#include "archiver/lzh/lzh_block_writer.h"

#include "archiver/archive_error.h"
#include "archiver/lzh/lzh_huffman.h"

#include <array>
#include <bit>
#include <string>
#include <vector>

namespace sheaf::archiver {

namespace {

constexpr int kCSymbols = kLzhCodeSymbols;
constexpr int kCCountBits = 9; // CBIT
constexpr int kTSymbols = kLzhCodeLengthSymbols;
constexpr int kTCountBits = 5; // TBIT

// P symbol of d = distance - 1: its bit length.
inline int positionSymbol(unsigned d)
{
    return d == 0 ? 0 : int(std::bit_width(d));
}

int usedCount(const uint32_t *freq, int n, int &only)
{
    int used = 0;
    for (int i = 0; i < n; ++i)
        if (freq[i]) {
            ++used;
            only = i;
        }
    return used;
}

int listedCount(const uint8_t *lengths, int n)
{
    while (n > 0 && lengths[n - 1] == 0)
        --n;
    return n;
}

// A code length as T and P tables list it: 0..6 in 3 bits, 7..16 as
// (len - 4) one-bits and a zero-bit.
void putLength(LzhBitWriter &bits, int len)
{
    if (len <= 6)
        bits.put(uint32_t(len), 3);
    else
        bits.put(((1u << (len - 3)) - 1) << 1, len - 3);
}

// T or P table in the listed form; withSkip adds the T table's 2-bit field.
void putLengthTable(LzhBitWriter &bits, const uint8_t *lengths, int n, int countBits, bool withSkip)
{
    bits.put(uint32_t(n), countBits);
    for (int i = 0; i < n; ++i) {
        putLength(bits, lengths[i]);
        if (withSkip && i == 2) {
            int k = 0;
            while (k < 3 && i + 1 + k < n && lengths[i + 1 + k] == 0)
                ++k;
            bits.put(uint32_t(k), 2);
            i += k;
        }
    }
}

void putSingle(LzhBitWriter &bits, int symbol, int countBits)
{
    bits.put(0, countBits);
    bits.put(uint32_t(symbol), countBits);
}

// One element of the C table as coded with the T code.
struct TItem
{
    uint8_t symbol;
    uint16_t extra; // bits after the T code: 4 for symbol 1, 9 for symbol 2
};

std::vector<TItem> cLengthItems(const uint8_t *lengths, int n)
{
    std::vector<TItem> items;
    for (int i = 0; i < n;) {
        if (lengths[i] != 0) {
            items.push_back({uint8_t(lengths[i] + 2), 0});
            ++i;
            continue;
        }
        int run = 0;
        while (i + run < n && lengths[i + run] == 0)
            ++run;
        i += run;
        if (run <= 2) {
            for (int k = 0; k < run; ++k)
                items.push_back({0, 0});
        } else if (run <= 18) {
            items.push_back({1, uint16_t(run - 3)});
        } else if (run == 19) {
            items.push_back({0, 0});
            items.push_back({1, 15});
        } else {
            items.push_back({2, uint16_t(run - 20)});
        }
    }
    return items;
}

} // namespace

void writeLzhBlock(
    LzhBitWriter &bits, std::span<const LzhToken> tokens, const LzhMethodParams &method)
{
    if (tokens.empty() || tokens.size() > 65535)
        throw ArchiveError(ErrorCode::Internal,
            "LZH のブロックの符号数が不正です: " + std::to_string(tokens.size()));
    const int np = method.positionSymbols;
    std::array<uint32_t, kCSymbols> cFreq {};
    std::array<uint32_t, 32> pFreq {};
    for (const LzhToken &t : tokens) {
        ++cFreq[t.c];
        if (t.c >= 256)
            ++pFreq[size_t(positionSymbol(t.d))];
    }

    bits.put(uint32_t(tokens.size()), 16);

    std::array<uint8_t, kCSymbols> cLen {};
    std::array<uint16_t, kCSymbols> cCode {};
    int cOnly = 0;
    if (usedCount(cFreq.data(), kCSymbols, cOnly) == 1) {
        putSingle(bits, 0, kTCountBits);
        putSingle(bits, cOnly, kCCountBits);
    } else {
        buildHuffmanLengths(cFreq.data(), kCSymbols, kLzhMaxCodeLength, cLen.data());
        buildCanonicalCodes(cLen.data(), kCSymbols, cCode.data());
        const int cn = listedCount(cLen.data(), kCSymbols);
        const std::vector<TItem> items = cLengthItems(cLen.data(), cn);

        std::array<uint32_t, kTSymbols> tFreq {};
        for (const TItem &it : items)
            ++tFreq[it.symbol];
        std::array<uint8_t, kTSymbols> tLen {};
        std::array<uint16_t, kTSymbols> tCode {};
        int tOnly = 0;
        if (usedCount(tFreq.data(), kTSymbols, tOnly) == 1) {
            putSingle(bits, tOnly, kTCountBits);
        } else {
            buildHuffmanLengths(tFreq.data(), kTSymbols, kLzhMaxCodeLength, tLen.data());
            buildCanonicalCodes(tLen.data(), kTSymbols, tCode.data());
            putLengthTable(
                bits, tLen.data(), listedCount(tLen.data(), kTSymbols), kTCountBits, true);
        }
        bits.put(uint32_t(cn), kCCountBits);
        for (const TItem &it : items) {
            bits.put(tCode[it.symbol], tLen[it.symbol]);
            if (it.symbol == 1)
                bits.put(it.extra, 4);
            else if (it.symbol == 2)
                bits.put(it.extra, 9);
        }
    }

    std::array<uint8_t, 32> pLen {};
    std::array<uint16_t, 32> pCode {};
    int pOnly = 0;
    int pUsed = usedCount(pFreq.data(), np, pOnly);
    if (pUsed <= 1) {
        putSingle(bits, pUsed ? pOnly : 0, method.positionCountBits);
    } else {
        buildHuffmanLengths(pFreq.data(), np, kLzhMaxCodeLength, pLen.data());
        buildCanonicalCodes(pLen.data(), np, pCode.data());
        putLengthTable(
            bits, pLen.data(), listedCount(pLen.data(), np), method.positionCountBits, false);
    }

    for (const LzhToken &t : tokens) {
        bits.put(cCode[t.c], cLen[t.c]);
        if (t.c >= 256) {
            int p = positionSymbol(t.d);
            bits.put(pCode[size_t(p)], pLen[size_t(p)]);
            if (p >= 2)
                bits.put(t.d & ((1u << (p - 1)) - 1), p - 1);
        }
    }
}

void writeLzhTrailerBlock(LzhBitWriter &bits, LzhToken last, const LzhMethodParams &method)
{
    const int p = last.c >= 256 ? positionSymbol(last.d) : 0;
    const int extra = p >= 2 ? p - 1 : 0;
    // count + T (n, 3 lengths, k, the rest) + C single + P single + extra bits
    const uint64_t longForm = 16 + (kTCountBits + 9 + 2 + 13 * 3) + 2 * kCCountBits
        + 2 * method.positionCountBits + uint64_t(extra);
    const bool shortForm = (bits.bitCount() + longForm) % 8 == 0;
    const int tCount = shortForm ? 18 : 19;

    bits.put(1, 16);
    bits.put(uint32_t(tCount), kTCountBits);
    putLength(bits, 1);
    putLength(bits, 1);
    putLength(bits, 0);
    bits.put(3, 2);
    for (int i = 6; i < tCount; ++i)
        putLength(bits, 0);
    putSingle(bits, last.c, kCCountBits);
    putSingle(bits, p, method.positionCountBits);
    if (extra > 0)
        bits.put(last.d & ((1u << extra) - 1), extra);
}

} // namespace sheaf::archiver
