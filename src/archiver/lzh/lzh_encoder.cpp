// Glue between the parsers and the block writer. The stream's last block
// is still at hand when the stream ends, for writeLzhLastBlock(): the lazy
// parse's blocks are written only once a token after them exists, the
// near-optimal parse's last block only when the stream ends.
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
    , m_bits(m_out)
{
    const LzhLevel params = lzhLevel(level, m_method.windowBits);
    if (params.passes > 0)
        m_optimal = std::make_unique<LzhOptimalParser>(m_method, params);
    else
        m_lazy = std::make_unique<LzhMatchFinder>(m_method.windowBits, params);
    m_tokens.reserve(kBlockTokens + 4096);
}

void LzhEncoder::reset()
{
    if (m_optimal)
        m_optimal->reset();
    else
        m_lazy->reset();
    m_tokens.clear();
    m_blockEnds.clear();
    m_out.clear();
    m_bits.reset();
}

LzhInputWindow &LzhEncoder::input()
{
    return m_optimal ? m_optimal->input() : m_lazy->input();
}

void LzhEncoder::parse(bool final)
{
    if (m_optimal)
        m_optimal->parse(final, m_tokens, m_blockEnds);
    else
        m_lazy->parse(final, m_tokens);
    writeBlocks(final);
}

void LzhEncoder::feed(const uint8_t *data, size_t size)
{
    LzhInputWindow &in = input();
    while (size > 0) {
        if (in.room() == 0)
            parse(false);
        const size_t n = std::min(size, in.room());
        in.append(data, n);
        data += n;
        size -= n;
    }
}

void LzhEncoder::writeBlocks(bool final)
{
    if (final && !m_blockEnds.empty() && m_blockEnds.back() == m_tokens.size())
        m_blockEnds.pop_back();
    size_t done = 0;
    for (const size_t end : m_blockEnds) {
        writeLzhBlock(m_bits, std::span(m_tokens.data() + done, end - done), m_method);
        done = end;
    }
    m_blockEnds.clear();
    while (m_lazy && m_tokens.size() - done > kBlockTokens) {
        writeLzhBlock(m_bits, std::span(m_tokens.data() + done, kBlockTokens), m_method);
        done += kBlockTokens;
    }
    m_tokens.erase(m_tokens.begin(), m_tokens.begin() + std::ptrdiff_t(done));
}

void LzhEncoder::finish()
{
    parse(true);
    if (m_tokens.empty())
        return; // an empty member has an empty stream
    writeLzhLastBlock(m_bits, m_tokens, m_method);
    m_tokens.clear();
}

void LzhEncoder::startChunk(const uint8_t *history, size_t size)
{
    reset();
    input().appendHistory(history, size);
}

uint64_t LzhEncoder::finishChunk(bool lastChunk, std::vector<LzhToken> &lastBlock)
{
    parse(true);
    lastBlock.clear();
    if (lastChunk)
        lastBlock.swap(m_tokens);
    else if (!m_tokens.empty())
        writeLzhBlock(m_bits, m_tokens, m_method);
    const uint64_t bits = m_bits.bitCount();
    m_bits.padToByte();
    m_tokens.clear();
    return bits;
}

} // namespace sheaf::archiver
