#pragma once
// The LZ77 layer of levels 1 to 6: hash chains over the input window and a
// lazy parser. Input arrives in chunks; tokens come out as soon as enough
// look-ahead is buffered, so memory stays bounded whatever the file size.
//
// Guarantees the decoders rely on: a distance never reaches before the first
// byte of the member, never exceeds the window, and a match never runs past
// the last byte.

#include "archiver/lzh/lzh_input_window.h"
#include "archiver/lzh/lzh_level.h"
#include "archiver/lzh/lzh_token.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sheaf::archiver {

class LzhMatchFinder
{
public:
    LzhMatchFinder(int windowBits, const LzhLevel &level);

    // Starts a new member: no history.
    void reset();

    // Where input goes (right after reset(), history first if any).
    LzhInputWindow &input() { return m_in; }

    // Turns buffered input into tokens. Without `final`, keeps enough
    // look-ahead for the longest match; with it, consumes everything.
    void parse(bool final, std::vector<LzhToken> &out);

private:
    static constexpr int32_t kNil = -1;
    static constexpr size_t kLookAhead = kLzhMaxMatch + 1;

    uint32_t hashAt(size_t pos) const;
    void insert(size_t pos);
    int longestMatch(
        size_t pos, int32_t candidate, int previousLength, int maxLength, int &distance) const;
    void slide();
    void hashHistory();

    const LzhLevel m_level;
    const int m_hashBits;
    LzhInputWindow m_in;
    std::vector<int32_t> m_head;
    std::vector<int32_t> m_prev; // indexed by buffer position
    bool m_slid = false; // the buffer slid in this member: reset() clears every head

    // Lazy-parse state carried between parse() calls.
    bool m_pendingLiteral = false;
    int m_matchLength = kLzhMinMatch - 1;
    int m_matchDistance = 0;
};

} // namespace sheaf::archiver
