#pragma once
// The LZ77 layer of the LZH encoder: hash chains over a sliding buffer and a
// lazy parser. Input arrives in chunks; tokens come out as soon as enough
// look-ahead is buffered, so memory stays bounded whatever the file size.
//
// Guarantees the decoders rely on: a distance never reaches before the first
// byte of the member, never exceeds the window, and a match never runs past
// the last byte.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sheaf::archiver {

// One C symbol: a literal (c < 256) or a match of length c - 253 at
// distance d + 1.
struct LzhToken
{
    uint16_t c;
    uint16_t d;
};

constexpr int kLzhMinMatch = 3;
constexpr int kLzhMaxMatch = 256;

// How hard the parser looks; chosen once per level.
struct LzhParserParams
{
    int goodLength; // with a previous match this long, search a quarter of the chain
    int maxLazy; // with a previous match this long, do not look for a better one
    int niceLength; // stop searching at a match this long
    int maxChain; // chain links followed per search
    int tooFar; // a 3-byte match farther than this is taken as literals
};

LzhParserParams lzhParserParams(int level, int windowBits);

class LzhMatchFinder
{
public:
    LzhMatchFinder(int windowBits, const LzhParserParams &params);

    // Starts a new member: no history.
    void reset();

    // Room for more input at the end of the buffer; 0 when parse() must
    // consume some first.
    size_t room() const { return m_capacity - m_end; }
    void append(const uint8_t *data, size_t size);

    // Turns buffered input into tokens. Without `final`, keeps enough
    // look-ahead for the longest match; with it, consumes everything.
    void parse(bool final, std::vector<LzhToken> &out);

private:
    static constexpr int32_t kNil = -1;
    static constexpr size_t kLookAhead = kLzhMaxMatch + 1;
    static constexpr size_t kPadding = 8; // over-read room for 8-byte compares

    uint32_t hashAt(size_t pos) const;
    void insert(size_t pos);
    int longestMatch(
        size_t pos, int32_t candidate, int previousLength, int maxLength, int &distance) const;
    void slide();

    const int m_windowBits;
    const size_t m_window;
    const LzhParserParams m_params;
    const int m_hashBits;
    const size_t m_capacity;

    std::vector<uint8_t> m_buffer;
    std::vector<int32_t> m_head;
    std::vector<int32_t> m_prev; // indexed by buffer position
    size_t m_pos = 0; // next byte to parse
    size_t m_end = 0; // bytes buffered
    size_t m_inserted = 0; // positions below this are in the hash chains

    // Lazy-parse state carried between parse() calls.
    bool m_pendingLiteral = false;
    int m_matchLength = kLzhMinMatch - 1;
    int m_matchDistance = 0;
};

} // namespace sheaf::archiver
