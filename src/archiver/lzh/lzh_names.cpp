// A fallback name must never silently take the place of another member, so
// every code page 932 path of the archive (kept members, exact new names and
// all their folders) is known before the first fallback is chosen.
#include "archiver/lzh/lzh_names.h"

#include "base/cp932.h"

#include <algorithm>

namespace sheaf::archiver {

std::vector<std::string> splitStoredPath(const std::string &storedPath)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= storedPath.size()) {
        size_t end = storedPath.find('/', start);
        if (end == std::string::npos)
            end = storedPath.size();
        if (end > start)
            parts.push_back(storedPath.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

LzhNamePlanner::LzhNamePlanner(const std::vector<std::string> &taken)
{
    for (const std::string &t : taken)
        take(t);
}

void LzhNamePlanner::take(const std::string &cpPath)
{
    // The path and each folder above it.
    for (size_t i = cpPath.find('/'); i != std::string::npos; i = cpPath.find('/', i + 1))
        m_taken.insert(cpPath.substr(0, i));
    m_taken.insert(cpPath);
}

void LzhNamePlanner::reserve(const std::string &storedPath)
{
    std::string cp;
    for (const std::string &c : splitStoredPath(storedPath)) {
        std::optional<std::string> exact = utf8ToCp932(c);
        if (!exact)
            break; // folders above stay reserved; the rest gets a fallback
        cp += (cp.empty() ? "" : "/") + *exact;
        m_taken.insert(cp);
    }
}

namespace {

// "name.ext" -> "name~k.ext"; a leading dot does not start an extension.
std::string withSuffix(const std::string &component, int k)
{
    size_t dot = component.rfind('.');
    if (dot == std::string::npos || dot == 0)
        dot = component.size();
    return component.substr(0, dot) + "~" + std::to_string(k) + component.substr(dot);
}

} // namespace

LzhName LzhNamePlanner::plan(const std::string &storedPath, bool isDirectory)
{
    LzhName out;
    const std::vector<std::string> parts = splitStoredPath(storedPath);
    std::string utfPrefix, cpPrefix;
    for (const std::string &c : parts) {
        utfPrefix += (utfPrefix.empty() ? "" : "/") + c;
        std::string cp;
        auto known = std::find_if(m_fallbacks.begin(), m_fallbacks.end(),
            [&](const auto &f) { return f.first == utfPrefix; });
        if (known != m_fallbacks.end()) {
            cp = known->second;
            out.unicode = true;
        } else if (std::optional<std::string> exact = utf8ToCp932(c)) {
            cp = *exact; // below a fallback folder the path is new anyway
        } else {
            const std::string base = utf8ToCp932Lossy(c);
            const std::string prefix = cpPrefix.empty() ? "" : cpPrefix + "/";
            cp = base;
            for (int k = 1; m_taken.count(prefix + cp); ++k)
                cp = withSuffix(base, k);
            m_fallbacks.emplace_back(utfPrefix, cp);
            out.unicode = true;
        }
        out.components.push_back(cp);
        cpPrefix += (cpPrefix.empty() ? "" : "/") + cp;
        m_taken.insert(cpPrefix);
    }
    if (out.unicode) {
        for (size_t i = 0; i < parts.size(); ++i) {
            std::u16string u = utf8ToUtf16(parts[i]);
            if (i + 1 == parts.size() && !isDirectory) {
                out.unicodeName = u;
            } else {
                out.unicodeDirectory += u;
                out.unicodeDirectory.push_back(char16_t(0xFFFF));
            }
        }
    }
    return out;
}

} // namespace sheaf::archiver
