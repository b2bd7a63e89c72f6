// Code page 932 conversion. The double-byte half lives in the generated
// cp932_table.cpp; the single bytes are few enough to spell out here:
// 0x00-0x7F ASCII (0x5C stays the backslash, 0x7E the tilde), 0xA1-0xDF the
// half-width katakana, and the four odd single bytes Windows maps to 0x80
// and the private-use U+F8F0-U+F8F3.
#include "base/cp932.h"

#include "base/cp932_table.h"

#include <algorithm>

namespace sheaf {

namespace {

constexpr char32_t kReplacementChar = 0xFFFD;

int leadIndex(unsigned char b)
{
    if (b >= 0x81 && b <= 0x9F)
        return b - 0x81;
    if (b >= 0xE0 && b <= 0xFC)
        return b - 0xE0 + 31;
    return -1;
}

// The single-byte code of `c`, or -1.
int singleByte(char32_t c)
{
    if (c < 0x80)
        return int(c);
    if (c == 0x80)
        return 0x80;
    if (c >= 0xFF61 && c <= 0xFF9F)
        return int(c - 0xFF61 + 0xA1);
    if (c == 0xF8F0)
        return 0xA0;
    if (c >= 0xF8F1 && c <= 0xF8F3)
        return int(c - 0xF8F1 + 0xFD);
    return -1;
}

// Appends the code of `c`; false when it has none.
bool appendCode(std::string &out, char32_t c)
{
    int single = singleByte(c);
    if (single >= 0) {
        out.push_back(char(single));
        return true;
    }
    if (c > 0xFFFF)
        return false;
    const cp932::EncodePair *end = cp932::kEncode + cp932::kEncodeCount;
    const cp932::EncodePair *it = std::lower_bound(cp932::kEncode, end, c,
        [](const cp932::EncodePair &p, char32_t v) { return p.unicode < v; });
    if (it == end || it->unicode != c)
        return false;
    out.push_back(char(it->code >> 8));
    out.push_back(char(it->code & 0xFF));
    return true;
}

// Decodes one UTF-8 character at `i` (advancing it); U+FFFD when invalid.
char32_t nextUtf8(std::string_view s, size_t &i)
{
    auto b0 = static_cast<unsigned char>(s[i++]);
    if (b0 < 0x80)
        return b0;
    int extra = b0 >= 0xF0 && b0 <= 0xF4 ? 3 : b0 >= 0xE0 ? 2 : b0 >= 0xC2 && b0 < 0xE0 ? 1 : -1;
    if (extra < 0 || b0 > 0xF4)
        return kReplacementChar;
    char32_t c = b0 & (0x3F >> extra);
    for (int k = 0; k < extra; ++k) {
        if (i >= s.size() || (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80)
            return kReplacementChar;
        c = (c << 6) | (static_cast<unsigned char>(s[i++]) & 0x3F);
    }
    if ((extra == 2 && c < 0x800) || (extra == 3 && (c < 0x10000 || c > 0x10FFFF))
        || (c >= 0xD800 && c <= 0xDFFF))
        return kReplacementChar;
    return c;
}

char32_t nextUtf16(std::u16string_view s, size_t &i)
{
    char32_t c = s[i++];
    if (c >= 0xD800 && c <= 0xDBFF && i < s.size() && s[i] >= 0xDC00 && s[i] <= 0xDFFF)
        return 0x10000 + ((c - 0xD800) << 10) + (s[i++] - 0xDC00);
    if (c >= 0xD800 && c <= 0xDFFF)
        return kReplacementChar;
    return c;
}

void appendUtf8(std::string &out, char32_t c)
{
    if (c < 0x80) {
        out.push_back(char(c));
    } else if (c < 0x800) {
        out.push_back(char(0xC0 | (c >> 6)));
        out.push_back(char(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(char(0xE0 | (c >> 12)));
        out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(char(0x80 | (c & 0x3F)));
    } else {
        out.push_back(char(0xF0 | (c >> 18)));
        out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(char(0x80 | (c & 0x3F)));
    }
}

void appendUtf16(std::u16string &out, char32_t c)
{
    if (c < 0x10000) {
        out.push_back(char16_t(c));
    } else {
        c -= 0x10000;
        out.push_back(char16_t(0xD800 + (c >> 10)));
        out.push_back(char16_t(0xDC00 + (c & 0x3FF)));
    }
}

} // namespace

std::optional<std::string> toCp932(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size() * 2);
    for (size_t i = 0; i < text.size();) {
        bool lone = text[i] >= 0xD800 && text[i] <= 0xDFFF;
        char32_t c = nextUtf16(text, i);
        if (lone && c == kReplacementChar)
            return std::nullopt;
        if (!appendCode(out, c))
            return std::nullopt;
    }
    return out;
}

std::optional<std::string> utf8ToCp932(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        size_t start = i;
        char32_t c = nextUtf8(utf8, i);
        bool invalid = c == kReplacementChar && utf8.substr(start, i - start) != "\xEF\xBF\xBD";
        if (invalid || !appendCode(out, c))
            return std::nullopt;
    }
    return out;
}

std::string utf8ToCp932Lossy(std::string_view utf8, char replacement)
{
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        if (!appendCode(out, nextUtf8(utf8, i)))
            out.push_back(replacement);
    }
    return out;
}

std::u16string fromCp932(std::string_view bytes)
{
    std::u16string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        auto b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80) {
            out.push_back(b);
        } else if (b == 0x80) {
            out.push_back(0x80);
        } else if (b == 0xA0) {
            out.push_back(0xF8F0);
        } else if (b >= 0xA1 && b <= 0xDF) {
            out.push_back(char16_t(0xFF61 + (b - 0xA1)));
        } else if (b >= 0xFD) {
            out.push_back(char16_t(0xF8F1 + (b - 0xFD)));
        } else {
            int lead = leadIndex(b);
            char16_t c = 0;
            if (i + 1 < bytes.size()) {
                auto t = static_cast<unsigned char>(bytes[i + 1]);
                if (t >= cp932::kFirstTrail)
                    c = cp932::kDecode[lead][t - cp932::kFirstTrail];
            }
            if (c) {
                out.push_back(c);
                ++i;
            } else {
                // An unmapped pair; a trail byte in the ASCII range is kept
                // as its own character.
                out.push_back(char16_t(kReplacementChar));
                if (i + 1 < bytes.size() && static_cast<unsigned char>(bytes[i + 1]) >= 0x80)
                    ++i;
            }
        }
    }
    return out;
}

std::string cp932ToUtf8(std::string_view bytes)
{
    return utf16ToUtf8(fromCp932(bytes));
}

std::u16string utf8ToUtf16(std::string_view utf8)
{
    std::u16string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();)
        appendUtf16(out, nextUtf8(utf8, i));
    return out;
}

std::string utf16ToUtf8(std::u16string_view utf16)
{
    std::string out;
    out.reserve(utf16.size() * 3);
    for (size_t i = 0; i < utf16.size();)
        appendUtf8(out, nextUtf16(utf16, i));
    return out;
}

} // namespace sheaf
