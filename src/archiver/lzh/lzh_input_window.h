#pragma once
// The input both parsers search: one window (or more) of history, then new
// input, in one buffer. The history slides down only once per chunk of new
// input, so positions (buffer indices) stay put in between; the match
// finders rebase their tables when it moves.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace sheaf::archiver {

class LzhInputWindow
{
public:
    // Reads may run this far past the last byte (8-byte compares).
    static constexpr size_t kPadding = 8;

    LzhInputWindow(size_t window, size_t chunk, size_t lookAhead)
        : m_window(window)
        , m_capacity(window + chunk + lookAhead)
        , m_buffer(m_capacity + kPadding, 0)
    {
    }

    const uint8_t *data() const { return m_buffer.data(); }
    size_t window() const { return m_window; }

    // Room for more input at the end; 0 when the parse must consume some and
    // slide first.
    size_t room() const { return m_capacity - end; }

    void append(const uint8_t *data, size_t size)
    {
        std::memcpy(m_buffer.data() + end, data, size);
        end += size;
    }

    // Right after clear(): `size` bytes (at most one window is kept) that
    // come before the input in the member; matches may reach back into
    // them, they make no tokens. The parser adds them to its tables once the
    // input after them is buffered (`unhashed` of them wait).
    void appendHistory(const uint8_t *data, size_t size)
    {
        if (size > m_window) {
            data += size - m_window;
            size = m_window;
        }
        append(data, size);
        pos = unhashed = end;
    }

    void clear() { pos = end = unhashed = 0; }

    // Keeps one window before `pos` and returns by how much every position
    // went down.
    size_t slide()
    {
        const size_t shift = pos - m_window;
        std::memmove(m_buffer.data(), m_buffer.data() + shift, end - shift);
        pos -= shift;
        end -= shift;
        return shift;
    }

    size_t pos = 0; // next byte to parse
    size_t end = 0; // bytes buffered
    size_t unhashed = 0; // history bytes at the start not in the parser's tables yet

private:
    const size_t m_window;
    const size_t m_capacity;
    std::vector<uint8_t> m_buffer;
};

} // namespace sheaf::archiver
