// Glue between the match finder and the block writer. A full block is
// written only once a token after it exists, so that the stream's very last
// token is always still at hand for the trailer block.
#include "archiver/lzh/lzh_encoder.h"

#include "archiver/lzh/lzh_format.h"

#include <algorithm>

namespace sheaf::archiver {

LzhMethodParams LzhEncoder::methodParams(LzhMethod method)
{
    const LzhMethodFacts &facts = lzhMethodFacts(method);
    return {facts.windowBits, facts.positionSymbols, facts.positionCountBits};
}

LzhEncoder::LzhEncoder(LzhMethod method, int level)
    : m_method(methodParams(method))
    , m_finder(m_method.windowBits, lzhParserParams(level, m_method.windowBits))
    , m_bits(m_out)
{
    m_tokens.reserve(kBlockTokens + 4096);
}

void LzhEncoder::reset()
{
    m_finder.reset();
    m_tokens.clear();
    m_blockEnds.clear();
    m_out.clear();
    m_bits.reset();
}

void LzhEncoder::feed(const uint8_t *data, size_t size)
{
    while (size > 0) {
        if (m_finder.room() == 0) {
            m_finder.parse(false, m_tokens, m_blockEnds);
            writeFullBlocks();
        }
        size_t n = std::min(size, m_finder.room());
        m_finder.append(data, n);
        data += n;
        size -= n;
    }
}

uint64_t LzhEncoder::blockBits(size_t from, size_t to)
{
    m_scratch.clear();
    LzhBitWriter bits(m_scratch);
    writeLzhBlock(bits, std::span(m_tokens.data() + from, to - from), m_method);
    return bits.bitCount();
}

void LzhEncoder::writeFullBlocks()
{
    size_t done = 0;
    // The parser's segments: two neighbours become one block where that
    // is smaller than two tables; a block is written once the next one
    // exists (the last one waits for the end of the stream).
    while (m_blockEnds.size() >= 2) {
        const size_t end = m_blockEnds[0];
        const size_t next = m_blockEnds[1];
        if (next - done <= kMaxBlockTokens
            && blockBits(done, next) <= blockBits(done, end) + blockBits(end, next)) {
            m_blockEnds.erase(m_blockEnds.begin());
            continue;
        }
        writeLzhBlock(m_bits, std::span(m_tokens.data() + done, end - done), m_method);
        done = end;
        m_blockEnds.erase(m_blockEnds.begin());
    }
    for (size_t &end : m_blockEnds)
        end -= done;
    while (m_blockEnds.empty() && m_tokens.size() - done > kBlockTokens) {
        writeLzhBlock(m_bits, std::span(m_tokens.data() + done, kBlockTokens), m_method);
        done += kBlockTokens;
    }
    m_tokens.erase(m_tokens.begin(), m_tokens.begin() + std::ptrdiff_t(done));
}

void LzhEncoder::finish()
{
    m_finder.parse(true, m_tokens, m_blockEnds);
    writeFullBlocks();
    if (m_tokens.empty())
        return; // an empty member has an empty stream
    const LzhToken last = m_tokens.back();
    m_tokens.pop_back();
    if (!m_tokens.empty())
        writeLzhBlock(m_bits, m_tokens, m_method);
    writeLzhTrailerBlock(m_bits, last, m_method);
    m_bits.padToByte();
    m_tokens.clear();
    m_blockEnds.clear();
}

void LzhEncoder::startChunk(const uint8_t *history, size_t size)
{
    reset();
    m_finder.appendHistory(history, size);
}

uint64_t LzhEncoder::finishChunk(bool lastChunk, LzhToken &last)
{
    m_finder.parse(true, m_tokens, m_blockEnds);
    writeFullBlocks();
    if (lastChunk && !m_tokens.empty()) {
        last = m_tokens.back();
        m_tokens.pop_back();
    }
    if (!m_tokens.empty())
        writeLzhBlock(m_bits, m_tokens, m_method);
    const uint64_t bits = m_bits.bitCount();
    m_bits.padToByte();
    m_tokens.clear();
    m_blockEnds.clear();
    return bits;
}

} // namespace sheaf::archiver
