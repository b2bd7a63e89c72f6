// One LZH block = count, T table, C table (coded with T), P table, tokens.
// The tables are planned from the symbol counts first; the plan is either
// written or only measured.
#include "archiver/lzh/lzh_block_writer.h"

#include "archiver/archive_error.h"
#include "archiver/lzh/lzh_huffman.h"

#include <algorithm>
#include <string>

namespace sheaf::archiver {

namespace {

constexpr int kCCountBits = 9; // CBIT
constexpr int kTSymbols = kLzhCodeLengthSymbols;
constexpr int kTCountBits = 5; // TBIT

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

// Bits of a code length as T and P tables list it: 0..6 in 3 bits, 7..16
// as (len - 4) one-bits and a zero-bit.
int lengthBits(int len)
{
    return len <= 6 ? 3 : len - 3;
}

void putLength(LzhBitWriter &bits, int len)
{
    if (len <= 6)
        bits.put(uint32_t(len), 3);
    else
        bits.put(((1u << (len - 3)) - 1) << 1, len - 3);
}

// How many zero lengths the T table's 2-bit field after index 2 skips.
int tSkip(const uint8_t *lengths, int n)
{
    int k = 0;
    while (k < 3 && 3 + k < n && lengths[3 + k] == 0)
        ++k;
    return k;
}

// T or P table in the listed form; withSkip adds the T table's 2-bit field.
void putLengthTable(LzhBitWriter &bits, const uint8_t *lengths, int n, int countBits, bool withSkip)
{
    bits.put(uint32_t(n), countBits);
    for (int i = 0; i < n; ++i) {
        putLength(bits, lengths[i]);
        if (withSkip && i == 2) {
            const int k = tSkip(lengths, n);
            bits.put(uint32_t(k), 2);
            i += k;
        }
    }
}

uint64_t lengthTableBits(const uint8_t *lengths, int n, int countBits, bool withSkip)
{
    uint64_t total = uint64_t(countBits);
    for (int i = 0; i < n; ++i) {
        total += uint64_t(lengthBits(lengths[i]));
        if (withSkip && i == 2) {
            total += 2;
            i += tSkip(lengths, n);
        }
    }
    return total;
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

constexpr int tExtraBits(int symbol)
{
    return symbol == 1 ? 4 : symbol == 2 ? kCCountBits : 0;
}

// The tables of a block, from its symbol counts.
struct BlockPlan
{
    int cSingle = -1; // the only C symbol, or -1
    std::array<uint8_t, kLzhCodeSymbols> cLen {};
    int cListed = 0;
    std::array<TItem, kLzhCodeSymbols> items;
    int itemCount = 0;
    int tSingle = -1;
    std::array<uint8_t, kTSymbols> tLen {};
    std::array<uint32_t, kTSymbols> tFreq {};
    int pSingle = -1; // the only P symbol (0 when there is none), or -1
    std::array<uint8_t, kLzhPSymbols> pLen {};

    // With the C code `cLengths` if given, else the Huffman code of the
    // counts.
    BlockPlan(const LzhSymbolCounts &counts, int np, const uint8_t *cLengths = nullptr)
    {
        int cOnly = 0;
        if (usedCount(counts.c.data(), kLzhCodeSymbols, cOnly) == 1) {
            cSingle = cOnly;
        } else {
            if (cLengths)
                std::copy(cLengths, cLengths + kLzhCodeSymbols, cLen.begin());
            else
                buildHuffmanLengths(
                    counts.c.data(), kLzhCodeSymbols, kLzhMaxCodeLength, cLen.data());
            cListed = listedCount(cLen.data(), kLzhCodeSymbols);
            makeItems();
            int tOnly = 0;
            if (usedCount(tFreq.data(), kTSymbols, tOnly) == 1)
                tSingle = tOnly;
            else
                buildHuffmanLengths(tFreq.data(), kTSymbols, kLzhMaxCodeLength, tLen.data());
        }
        int pOnly = 0;
        const int pUsed = usedCount(counts.p.data(), np, pOnly);
        if (pUsed <= 1)
            pSingle = pUsed ? pOnly : 0;
        else
            buildHuffmanLengths(counts.p.data(), np, kLzhMaxCodeLength, pLen.data());
    }

    void makeItems()
    {
        auto push = [this](int symbol, int extra) {
            items[size_t(itemCount++)] = {uint8_t(symbol), uint16_t(extra)};
            ++tFreq[size_t(symbol)];
        };
        for (int i = 0; i < cListed;) {
            if (cLen[size_t(i)] != 0) {
                push(cLen[size_t(i)] + 2, 0);
                ++i;
                continue;
            }
            int run = 0;
            while (i + run < cListed && cLen[size_t(i + run)] == 0)
                ++run;
            i += run;
            if (run <= 2) {
                for (int k = 0; k < run; ++k)
                    push(0, 0);
            } else if (run <= 18) {
                push(1, run - 3);
            } else if (run == 19) {
                push(0, 0);
                push(1, 15);
            } else {
                push(2, run - 20);
            }
        }
    }

    uint64_t tableBits(int pCountBits, int np) const
    {
        uint64_t total = 16;
        if (cSingle >= 0) {
            total += 2 * kTCountBits + 2 * kCCountBits;
        } else {
            total += tSingle >= 0 ? 2 * kTCountBits
                                  : lengthTableBits(tLen.data(),
                                      listedCount(tLen.data(), kTSymbols), kTCountBits, true);
            total += kCCountBits;
            for (int t = 0; t < kTSymbols; ++t)
                total += uint64_t(tFreq[size_t(t)]) * uint64_t(tLen[size_t(t)] + tExtraBits(t));
        }
        if (pSingle >= 0)
            total += 2 * uint64_t(pCountBits);
        else
            total += lengthTableBits(pLen.data(), listedCount(pLen.data(), np), pCountBits, false);
        return total;
    }
};

} // namespace

void LzhSymbolCounts::add(std::span<const LzhToken> tokens)
{
    // A literal counts in a P slot past the real ones: no branch on the
    // kind of token, which the data decides at random.
    std::array<std::array<uint32_t, kLzhCodeSymbols>, 2> cs {};
    std::array<std::array<uint32_t, kLzhPSymbols + 1>, 2> ps {};
    const size_t n = tokens.size();
    for (size_t i = 0; i < n; ++i) {
        const LzhToken t = tokens[i];
        ++cs[i & 1][t.c];
        ++ps[i & 1][t.c >= 256 ? size_t(lzhPositionSymbol(t.d)) : kLzhPSymbols];
    }
    for (size_t i = 0; i < c.size(); ++i)
        c[i] += cs[0][i] + cs[1][i];
    for (size_t i = 0; i < p.size(); ++i)
        p[i] += ps[0][i] + ps[1][i];
    this->tokens += uint32_t(n);
}

namespace {

void writeBlock(LzhBitWriter &bits, std::span<const LzhToken> tokens, const BlockPlan &plan,
    const LzhMethodParams &method)
{
    const int np = method.positionSymbols;
    bits.put(uint32_t(tokens.size()), 16);
    std::array<uint16_t, kLzhCodeSymbols> cCode {};
    if (plan.cSingle >= 0) {
        putSingle(bits, 0, kTCountBits);
        putSingle(bits, plan.cSingle, kCCountBits);
    } else {
        buildCanonicalCodes(plan.cLen.data(), kLzhCodeSymbols, cCode.data());
        std::array<uint16_t, kTSymbols> tCode {};
        if (plan.tSingle >= 0) {
            putSingle(bits, plan.tSingle, kTCountBits);
        } else {
            buildCanonicalCodes(plan.tLen.data(), kTSymbols, tCode.data());
            putLengthTable(bits, plan.tLen.data(), listedCount(plan.tLen.data(), kTSymbols),
                kTCountBits, true);
        }
        bits.put(uint32_t(plan.cListed), kCCountBits);
        for (int i = 0; i < plan.itemCount; ++i) {
            const TItem &it = plan.items[size_t(i)];
            bits.put(tCode[it.symbol], plan.tLen[it.symbol]);
            bits.put(it.extra, tExtraBits(it.symbol));
        }
    }

    std::array<uint16_t, kLzhPSymbols> pCode {};
    if (plan.pSingle >= 0) {
        putSingle(bits, plan.pSingle, method.positionCountBits);
    } else {
        buildCanonicalCodes(plan.pLen.data(), np, pCode.data());
        putLengthTable(bits, plan.pLen.data(), listedCount(plan.pLen.data(), np),
            method.positionCountBits, false);
    }

    // A match's P code and extra bits go out as one field: at most 16 + 15
    // bits.
    // A literal's P field has no bits: no branch on the kind of token.
    for (const LzhToken &t : tokens) {
        bits.put(cCode[t.c], plan.cLen[t.c]);
        const bool match = t.c >= 256;
        const int p = lzhPositionSymbol(t.d);
        const int extra = p >= 2 ? p - 1 : 0;
        bits.put(uint32_t(pCode[size_t(p)]) << extra | (t.d & ((1u << extra) - 1)),
            match ? plan.pLen[size_t(p)] + extra : 0);
    }
}

// The bits a block with these tables takes.
uint64_t blockBits(
    const LzhSymbolCounts &counts, const BlockPlan &plan, const LzhMethodParams &method)
{
    const int np = method.positionSymbols;
    uint64_t total = plan.tableBits(method.positionCountBits, np);
    for (int c = 0; c < kLzhCodeSymbols; ++c)
        total += uint64_t(counts.c[size_t(c)]) * plan.cLen[size_t(c)];
    for (int p = 0; p < np; ++p)
        total += uint64_t(counts.p[size_t(p)])
            * uint64_t(plan.pLen[size_t(p)] + (p >= 2 ? p - 1 : 0));
    return total;
}

// The block's tables: its C code built from the symbol counts as they
// are, or from counts with 1 or 2 added to every used symbol's, whichever
// block is smallest. A flatter code has fewer distinct lengths, which the T
// code lists in fewer bits, for a few more bits of data (on the benchmark's
// mixed corpus at -lh7- -l9: 0.1 % smaller; more candidates gained under
// 0.01 % more).
BlockPlan bestPlan(const LzhSymbolCounts &counts, const LzhMethodParams &method)
{
    const int np = method.positionSymbols;
    int only = 0;
    if (usedCount(counts.c.data(), kLzhCodeSymbols, only) == 1)
        return BlockPlan(counts, np);
    constexpr uint32_t kFlatten[] = {1, 2};
    std::array<std::array<uint8_t, kLzhCodeSymbols>, std::size(kFlatten) + 1> c;
    std::array<uint8_t *, std::size(kFlatten) + 1> lengths;
    for (size_t k = 0; k < c.size(); ++k)
        lengths[k] = c[k].data();
    buildHuffmanLengths(counts.c.data(), kLzhCodeSymbols, kLzhMaxCodeLength, lengths, kFlatten);
    BlockPlan best(counts, np, c[0].data());
    uint64_t bestBits = blockBits(counts, best, method);
    for (size_t k = 1; k < c.size(); ++k) {
        const BlockPlan plan(counts, np, c[k].data());
        const uint64_t bits = blockBits(counts, plan, method);
        if (bits < bestBits) {
            best = plan;
            bestBits = bits;
        }
    }
    return best;
}

// The bits a reader peeks for one code of a table: the longest code, at most
// 10 bits (unar); none for a table in the single-symbol form.
int peekBits(const uint8_t *lengths, int n, bool single)
{
    int longest = 0;
    for (int i = 0; !single && i < n; ++i)
        longest = std::max(longest, int(lengths[i]));
    return std::min(longest, 10);
}

// Whether a block ending the stream is read by every reader we know:
//  - it is at least 64 bits long (libarchive fills a 64-bit buffer at the
//    start of a block and takes less for the end of the data);
//  - each code has at least the bits its reader peeks for it between its
//    start and the end (unar peeks up to 10 bits per code);
//  - a last field of no bits is followed by padding (jlha writes the
//    member short when the stream ends on a byte boundary right after a
//    code of no bits).
// `start` is where the block starts in the stream: the zero padding to the
// next byte after it is part of the data that readers read.
bool endsReadably(
    std::span<const LzhToken> tokens, const BlockPlan &plan, uint64_t start, uint64_t bits, int np)
{
    constexpr uint64_t kMinFinalBits = 64;
    constexpr int kPeekMost = 10;
    const auto fieldBits = [&](LzhToken t) {
        const int p = lzhPositionSymbol(t.d);
        return uint64_t(plan.pLen[size_t(p)] + (p >= 2 ? p - 1 : 0));
    };
    const LzhToken last = tokens.back();
    const uint64_t pad = (8 - (start + bits) % 8) % 8;
    if (bits < kMinFinalBits
        || ((last.c >= 256 ? fieldBits(last) : plan.cLen[last.c]) == 0 && pad == 0))
        return false;
    const int cPeek = peekBits(plan.cLen.data(), kLzhCodeSymbols, plan.cSingle >= 0);
    const int pPeek = peekBits(plan.pLen.data(), np, plan.pSingle >= 0);
    uint64_t after = pad; // bits from the token looked at to the end
    for (size_t i = tokens.size(); i-- > 0 && after < kPeekMost;) {
        const LzhToken t = tokens[i];
        if (t.c >= 256) {
            after += fieldBits(t);
            if (after < uint64_t(pPeek))
                return false;
        }
        after += plan.cLen[t.c];
        if (after < uint64_t(cPeek))
            return false;
    }
    // The codes before the tokens are T codes, only where every C code has
    // bits: at least one of those and the P table (8 bits or more) follow
    // each of them.
    return true;
}

// The symbol counts of a block's tokens, of which there must be 1 to 65535.
LzhSymbolCounts blockCounts(std::span<const LzhToken> tokens)
{
    if (tokens.empty() || tokens.size() > 65535)
        throw ArchiveError(ErrorCode::Internal,
            "LZH のブロックの符号数が不正です: " + std::to_string(tokens.size()));
    LzhSymbolCounts counts;
    counts.add(tokens);
    return counts;
}

} // namespace

void writeLzhBlock(
    LzhBitWriter &bits, std::span<const LzhToken> tokens, const LzhMethodParams &method)
{
    const LzhSymbolCounts counts = blockCounts(tokens);
    writeBlock(bits, tokens, bestPlan(counts, method), method);
}

void writeLzhLastBlock(
    LzhBitWriter &bits, std::span<const LzhToken> tokens, const LzhMethodParams &method)
{
    const LzhSymbolCounts counts = blockCounts(tokens);
    const BlockPlan plan = bestPlan(counts, method);
    if (endsReadably(tokens, plan, bits.bitCount(), blockBits(counts, plan, method),
            method.positionSymbols)) {
        writeBlock(bits, tokens, plan, method);
    } else {
        if (tokens.size() > 1)
            writeLzhBlock(bits, tokens.first(tokens.size() - 1), method);
        writeLzhTrailerBlock(bits, tokens.back(), method);
    }
    bits.padToByte();
}

uint64_t lzhBlockBits(
    const LzhSymbolCounts &counts, const LzhMethodParams &method, LzhCodeLengths *lengths)
{
    const BlockPlan plan = bestPlan(counts, method);
    if (lengths) {
        lengths->c = plan.cLen;
        lengths->p = plan.pLen;
    }
    return blockBits(counts, plan, method);
}

void writeLzhTrailerBlock(LzhBitWriter &bits, LzhToken last, const LzhMethodParams &method)
{
    const int p = last.c >= 256 ? lzhPositionSymbol(last.d) : 0;
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
