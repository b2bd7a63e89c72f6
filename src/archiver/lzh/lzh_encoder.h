#pragma once
// Streaming -lh5-/-lh6-/-lh7- encoder: feed the member's bytes in chunks of
// any size, collect the compressed bytes as they come, finish once. Its big
// tables are allocated once and reused for every member (reset()).

#include "archiver/lzh/lzh_block_writer.h"
#include "archiver/lzh/lzh_match_finder.h"
#include "archiver/lzh/lzh_optimal_parse.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace sheaf::archiver {

enum class LzhMethod;

class LzhEncoder
{
public:
    LzhEncoder(LzhMethod method, int level);

    // Starts a new member.
    void reset();
    void feed(const uint8_t *data, size_t size);
    // Ends the stream: its last block (writeLzhLastBlock()).
    void finish();

    // A member cut into chunks (LzhChunkedStream) is encoded chunk by chunk,
    // each on its own: startChunk() takes the window of input before the
    // chunk as match history, feed() the chunk, finishChunk() ends it on a
    // block boundary without padding and returns its length in bits (the
    // last byte of output() is padded with zero bits). The member's last
    // chunk leaves its last block unwritten in `lastBlock`: how it ends the
    // stream depends on where it starts in a byte, which the one joining
    // the chunks knows.
    void startChunk(const uint8_t *history, size_t size);
    uint64_t finishChunk(bool lastChunk, std::vector<LzhToken> &lastBlock);

    // Compressed bytes produced so far and not yet taken.
    std::vector<uint8_t> &output() { return m_out; }

    static LzhMethodParams methodParams(LzhMethod method);

private:
    LzhInputWindow &input();
    void parse(bool final);
    // Writes the blocks that are complete; with `final`, all but the last,
    // which stays in m_tokens.
    void writeBlocks(bool final);

    // Tokens per block of the lazy parse. Larger blocks spend fewer bits on
    // tables, smaller ones follow changing statistics more closely: on the
    // corpus, 8192 made the smallest archives (16384: 0.1 % larger).
    static constexpr size_t kBlockTokens = 8192;

    LzhMethodParams m_method;
    // One of the two: the lazy parse, or the near-optimal one (which also
    // says where blocks end).
    std::unique_ptr<LzhMatchFinder> m_lazy;
    std::unique_ptr<LzhOptimalParser> m_optimal;
    std::vector<LzhToken> m_tokens;
    std::vector<size_t> m_blockEnds;
    std::vector<uint8_t> m_out;
    LzhBitWriter m_bits;
};

} // namespace sheaf::archiver
