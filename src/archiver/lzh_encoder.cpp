// Glue between the match finder and the block writer. A full block is
// written only once a token after it exists, so that the stream's very last
// token is always still at hand for the trailer block.
#include "archiver/lzh_encoder.h"

#include "archiver/lzh_archive_writer.h"

#include <algorithm>

namespace sheaf::archiver {

LzhMethodParams LzhEncoder::methodParams(LzhMethod method)
{
    switch (method) {
    case LzhMethod::Lh6:
        return {15, 16, 5};
    case LzhMethod::Lh7:
        return {16, 17, 5};
    case LzhMethod::Lh5:
    default:
        return {13, 14, 4};
    }
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

void LzhEncoder::writeFullBlocks()
{
    size_t done = 0;
    // The parser's own blocks; the last one waits for a token after it.
    size_t ends = 0;
    for (; ends < m_blockEnds.size() && m_blockEnds[ends] < m_tokens.size(); ++ends) {
        writeLzhBlock(
            m_bits, std::span(m_tokens.data() + done, m_blockEnds[ends] - done), m_method);
        done = m_blockEnds[ends];
    }
    m_blockEnds.erase(m_blockEnds.begin(), m_blockEnds.begin() + std::ptrdiff_t(ends));
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

} // namespace sheaf::archiver
