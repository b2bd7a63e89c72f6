#include "base/name_bytes.h"

#include <cstdint>

namespace sheaf {

namespace {

// Length of the well-formed UTF-8 sequence at `at`, or 0 when there is none.
size_t sequenceLength(std::string_view s, size_t at)
{
    const auto byte = [&](size_t i) {
        return static_cast<uint8_t>(s[i]);
    };
    const uint8_t lead = byte(at);
    if (lead < 0x80)
        return 1;
    size_t length;
    uint8_t low = 0x80, high = 0xBF; // allowed range of the first trail byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0; // overlong
        if (lead == 0xED)
            high = 0x9F; // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90; // overlong
        if (lead == 0xF4)
            high = 0x8F; // above U+10FFFF
    } else {
        return 0;
    }
    if (at + length > s.size())
        return 0;
    if (byte(at + 1) < low || byte(at + 1) > high)
        return 0;
    for (size_t i = 2; i < length; ++i)
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
    return length;
}

void appendHex(std::string &out, uint8_t b)
{
    static const char digits[] = "0123456789ABCDEF";
    out += "\\x";
    out += digits[b >> 4];
    out += digits[b & 15];
}

} // namespace

bool isValidUtf8(std::string_view bytes)
{
    for (size_t i = 0; i < bytes.size();) {
        const size_t n = sequenceLength(bytes, i);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

std::string escapedName(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        const size_t n = sequenceLength(bytes, i);
        const auto b = static_cast<uint8_t>(bytes[i]);
        if (n == 0) {
            appendHex(out, b);
            ++i;
            continue;
        }
        if (n == 1) {
            switch (b) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                if (b < 0x20 || b == 0x7F)
                    appendHex(out, b);
                else
                    out += char(b);
            }
        } else {
            out.append(bytes.substr(i, n));
        }
        i += n;
    }
    return out;
}

} // namespace sheaf
