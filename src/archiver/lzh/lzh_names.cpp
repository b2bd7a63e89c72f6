// A fallback name must never silently take the place of another member, so
// every code page 932 path of the archive (kept members, exact new names and
// all their folders) is known before the first fallback is chosen. A code
// page 932 path belongs to one exact path: a new member whose code page 932
// form is a kept member's stored fallback (the new "caf_.txt" beside a kept
// "café.txt" stored as "caf_.txt") gets a fallback of its own.
#include "archiver/lzh/lzh_names.h"

#include "base/cp932.h"

#include <optional>

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

namespace {

std::string joined(const std::string &prefix, const std::string &component)
{
    return prefix.empty() ? component : prefix + "/" + component;
}

// "name.ext" -> "name~k.ext"; a leading dot does not start an extension.
std::string withSuffix(const std::string &component, int k)
{
    size_t dot = component.rfind('.');
    if (dot == std::string::npos || dot == 0)
        dot = component.size();
    return component.substr(0, dot) + "~" + std::to_string(k) + component.substr(dot);
}

} // namespace

void LzhNamePlanner::keep(const std::string &path, const std::string &rawPath)
{
    const std::vector<std::string> parts = splitStoredPath(path);
    const std::vector<std::string> raw = splitStoredPath(rawPath);
    std::string utf, cp;
    for (size_t i = 0; i < raw.size(); ++i) {
        cp = joined(cp, raw[i]);
        if (parts.size() == raw.size()) {
            utf = joined(utf, parts[i]);
            m_owner.try_emplace(cp, utf);
            m_chosen.try_emplace(utf, cp);
        } else {
            // Names that do not line up stand for no path a new member has.
            m_owner.try_emplace(cp, std::string(1, '\0') + cp);
        }
    }
}

void LzhNamePlanner::reserve(const std::string &storedPath)
{
    std::string utf, cp;
    for (const std::string &c : splitStoredPath(storedPath)) {
        std::optional<std::string> exact = utf8ToCp932(c);
        if (!exact)
            break; // folders above stay reserved; the rest gets a fallback
        utf = joined(utf, c);
        auto chosen = m_chosen.find(utf);
        cp = chosen != m_chosen.end() ? chosen->second : joined(cp, *exact);
        auto [owner, added] = m_owner.try_emplace(cp, utf);
        if (!added && owner->second != utf)
            break; // another member's name: this one gets a fallback
    }
}

LzhName LzhNamePlanner::plan(const std::string &storedPath, bool isDirectory)
{
    LzhName out;
    const std::vector<std::string> parts = splitStoredPath(storedPath);
    std::string utf, cp;
    for (const std::string &c : parts) {
        utf = joined(utf, c);
        const std::optional<std::string> exact = utf8ToCp932(c);
        if (auto chosen = m_chosen.find(utf); chosen != m_chosen.end()) {
            cp = chosen->second;
        } else {
            auto owner = exact ? m_owner.find(joined(cp, *exact)) : m_owner.end();
            if (exact && (owner == m_owner.end() || owner->second == utf)) {
                cp = joined(cp, *exact);
            } else {
                const std::string base = utf8ToCp932Lossy(c);
                std::string candidate = joined(cp, base);
                for (int k = 1; m_owner.count(candidate); ++k)
                    candidate = joined(cp, withSuffix(base, k));
                cp = candidate;
            }
            m_owner.try_emplace(cp, utf);
            m_chosen.emplace(utf, cp);
        }
        const size_t slash = cp.rfind('/');
        const std::string component = slash == std::string::npos ? cp : cp.substr(slash + 1);
        if (!exact || component != *exact)
            out.unicode = true;
        out.components.push_back(component);
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
