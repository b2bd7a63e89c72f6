#pragma once
// Stored paths (UTF-8, '/') to the names an LZH header carries: code page 932
// components for 0x01/0x02, and when a component has no code page 932 form,
// or its form is already another member's, the exact UTF-16 path for
// 0x44/0x45 plus a fallback (unmappable characters as '_', then "~1",
// "~2"... before the extension) that clashes with no other member of the
// archive, kept or new, file or folder.

#include <map>
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
    // A member the archive keeps: its exact path (UTF-8) and the code page
    // 932 path it is stored under ('/'-separated, as LzhMemberInfo has them).
    // Call for every kept member first.
    void keep(const std::string &path, const std::string &rawPath);
    // Then for every new path, so that exact names win over fallbacks.
    void reserve(const std::string &storedPath);
    // The names for one new member (file, or folder when isDirectory).
    LzhName plan(const std::string &storedPath, bool isDirectory);

private:
    // Code page 932 path (or folder) -> the exact path it stands for.
    std::map<std::string, std::string> m_owner;
    // Exact path (or folder) -> the code page 932 path chosen for it.
    std::map<std::string, std::string> m_chosen;
};

// Splits a stored path on '/', dropping empty components.
std::vector<std::string> splitStoredPath(const std::string &storedPath);

} // namespace sheaf::archiver
