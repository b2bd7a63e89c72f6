#include "archiver/wildcard.h"

#include <vector>

namespace sheaf::archiver {

namespace {

// Decodes UTF-8; a byte that does not start a valid sequence stands for itself
// (offset into a private range), so odd names still compare exactly.
std::vector<char32_t> decode(std::string_view text)
{
    std::vector<char32_t> out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        int length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        char32_t cp = length == 1 ? c
            : length == 2         ? (c & 0x1F)
            : length == 3         ? (c & 0x0F)
                                  : (c & 0x07);
        bool valid = length > 0 && i + length <= text.size();
        for (int k = 1; valid && k < length; ++k) {
            unsigned char cc = static_cast<unsigned char>(text[i + k]);
            valid = (cc & 0xC0) == 0x80;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (!valid) {
            out.push_back(0x110000 + c);
            ++i;
        } else {
            out.push_back(cp);
            i += length;
        }
    }
    return out;
}

char32_t fold(char32_t c)
{
    if ((c >= U'A' && c <= U'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        || (c >= 0x391 && c <= 0x3AB) || (c >= 0x410 && c <= 0x42F))
        return c + 0x20;
    if (c >= 0x400 && c <= 0x40F) // Cyrillic Ѐ..Џ
        return c + 0x50;
    if (c >= 0xFF21 && c <= 0xFF3A) // full-width Ａ..Ｚ
        return c + 0x20;
    return c;
}

bool match(const std::vector<char32_t> &p, const std::vector<char32_t> &n)
{
    // Iterative matching with one backtrack point: linear in practice, no
    // recursion however many stars.
    size_t pi = 0, ni = 0, starP = std::string_view::npos, starN = 0;
    while (ni < n.size()) {
        if (pi < p.size() && p[pi] == U'*') {
            starP = pi++;
            starN = ni;
        } else if (pi < p.size() && (p[pi] == U'?' || fold(p[pi]) == fold(n[ni]))) {
            ++pi;
            ++ni;
        } else if (starP != std::string_view::npos) {
            pi = starP + 1;
            ni = ++starN;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == U'*')
        ++pi;
    return pi == p.size();
}

} // namespace

bool hasWildcard(std::string_view name)
{
    return name.find_first_of("*?") != std::string_view::npos;
}

bool matchesWildcard(std::string_view pattern, std::string_view name)
{
    if (pattern == "*.*")
        return true;
    return match(decode(pattern), decode(name));
}

} // namespace sheaf::archiver
