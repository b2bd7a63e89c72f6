#pragma once
// Stored paths (UTF-8, '/') to the names an LZH header carries: code page 932
// components for 0x01/0x02, and when a component has no code page 932 form,
// the exact UTF-16 path for 0x44/0x45 plus a fallback (unmappable characters
// as '_', then "~1", "~2"... before the extension) that clashes with no
// other member of the archive.

#include <set>
#include <string>
#include <vector>

namespace sheaf::archiver {

struct LzhName
{
    std::vector<std::string> components; // code page 932, fallback included
    std::u16string unicodeName; // set only when `unicode`
    std::u16string unicodeDirectory; // components, each ending with 0xFFFF
    bool unicode = false;
};

class LzhNamePlanner
{
public:
    // `taken`: '/'-joined code page 932 paths already in the archive.
    explicit LzhNamePlanner(const std::vector<std::string> &taken);

    // Call first for every path of the archive, so that exact names win over
    // fallbacks.
    void reserve(const std::string &storedPath);
    // The names for one member (file, or folder when isDirectory).
    LzhName plan(const std::string &storedPath, bool isDirectory);

private:
    void take(const std::string &cpPath);

    std::set<std::string> m_taken; // every path and every folder prefix
    std::vector<std::pair<std::string, std::string>> m_fallbacks; // UTF-8 prefix -> CP932
};

// Splits a stored path on '/', dropping empty components.
std::vector<std::string> splitStoredPath(const std::string &storedPath);

} // namespace sheaf::archiver
