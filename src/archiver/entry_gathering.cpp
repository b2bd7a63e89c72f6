#include "archiver/entry_gathering.h"

#include "archiver/archive_commit.h"
#include "archiver/archive_error.h"
#include "archiver/wildcard.h"
#include "base/platform.h"

#include <algorithm>
#include <cerrno>
#include <map>

namespace sheaf::archiver {

namespace {

using platform::FileFacts;

class Gatherer
{
public:
    Gatherer(const ArchiveRequest &request, const std::atomic<bool> *cancel)
        : m_request(request)
        , m_cancel(cancel)
        , m_archive(platform::fileFacts(request.archive, true))
    {
    }

    void gatherName(const std::string &name);
    ArchiveEntries take();

private:
    struct Match
    {
        bool literal;
        std::string text;
        bool matches(const std::string &name) const
        {
            return literal ? name == text : matchesWildcard(text, name);
        }
    };

    size_t scanFolder(
        const std::filesystem::path &folder, const std::string &relative, const Match &match);
    void addEntry(const std::filesystem::path &source, const std::string &relative,
        const std::string &name, const FileFacts &facts);
    void checkCancel() const
    {
        if (m_cancel && m_cancel->load(std::memory_order_relaxed))
            throw ArchiveError(ErrorCode::Cancelled, "cancelled");
    }

    const ArchiveRequest &m_request;
    const std::atomic<bool> *m_cancel;
    FileFacts m_archive;
    ArchiveEntries m_entries;
};

std::string joined(const std::string &relative, const std::string &name)
{
    return relative.empty() ? name : relative + "/" + name;
}

[[noreturn]] void readFailed(const std::string &what, const std::filesystem::path &path, int err)
{
    throw ArchiveError(
        ErrorCode::ReadFailed, what + " " + path.string() + ": " + platform::errorText(err));
}

void sortByName(std::vector<std::filesystem::path> &names)
{
    std::sort(names.begin(), names.end(),
        [](const auto &a, const auto &b) { return a.string() < b.string(); });
}

void Gatherer::addEntry(const std::filesystem::path &source, const std::string &relative,
    const std::string &name, const FileFacts &facts)
{
    if (facts.isDirectory && !m_request.relativePaths)
        return; // a folder entry means nothing among bare names
    ArchiveEntry entry;
    entry.source = source;
    entry.storedPath = m_request.relativePaths ? joined(relative, name) : name;
    entry.isDirectory = facts.isDirectory;
    entry.mtime = facts.mtime;
    entry.size = facts.isDirectory ? 0 : facts.size;
    entry.attributes = facts.isDirectory ? DosDirectory : DosArchive;
    if (facts.readOnly)
        entry.attributes |= DosReadOnly;
    if (platform::isHiddenOrSystem(source))
        entry.attributes |= DosHidden;
    m_entries.push_back(std::move(entry));
}

size_t Gatherer::scanFolder(
    const std::filesystem::path &folder, const std::string &relative, const Match &match)
{
    std::vector<std::filesystem::path> names;
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec), end;
    for (; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename());
    if (ec)
        readFailed("cannot list folder", folder, ec.value());
    sortByName(names);

    size_t found = 0;
    for (const auto &path : names) {
        checkCancel();
        const std::string name = path.string();
        const std::filesystem::path source = folder / path;
        if (isTemporaryName(name))
            continue;
        if (!match.literal && !m_request.includeHidden && platform::isHiddenOrSystem(source))
            continue; // neither taken nor entered
        FileFacts facts = platform::fileFacts(source, false);
        if (facts.error != 0)
            continue; // vanished since the listing
        if (facts.isLink) {
            facts = platform::fileFacts(source, true);
            if (facts.error != 0) {
                if (match.matches(name))
                    readFailed("cannot read linked file", source, facts.error);
                continue;
            }
            if (facts.isDirectory)
                continue; // links to folders are never followed
        }
        if (facts.sameFileAs(m_archive))
            continue;
        bool matched = match.matches(name);
        if (facts.isDirectory) {
            if (!m_request.recurse)
                continue;
            if (matched) {
                addEntry(source, relative, name, facts);
                ++found;
            }
            found += scanFolder(source, joined(relative, name), match);
        } else if (facts.isRegular && matched) {
            addEntry(source, relative, name, facts);
            ++found;
        }
    }
    return found;
}

void Gatherer::gatherName(const std::string &name)
{
    std::string relative, leaf = name;
    if (size_t slash = name.rfind('/'); slash != std::string::npos) {
        relative = name.substr(0, slash);
        leaf = name.substr(slash + 1);
        if (hasWildcard(relative))
            throw ArchiveError(
                ErrorCode::BadCommandLine, "wildcards only in the last part of a name: " + name);
        while (!relative.empty() && relative.back() == '/')
            relative.pop_back();
    }
    if (leaf.empty())
        throw ArchiveError(ErrorCode::BadCommandLine, "name ends in a separator: " + name);
    const std::filesystem::path folder
        = relative.empty() ? m_request.baseFolder : m_request.baseFolder / relative;
    const bool literal = !hasWildcard(leaf);

    if (literal && !m_request.recurse) {
        const std::filesystem::path source = folder / leaf;
        FileFacts facts = platform::fileFacts(source, true);
        if (facts.error != 0)
            readFailed("cannot find", source, facts.error);
        if (facts.isDirectory)
            throw ArchiveError(
                ErrorCode::ReadFailed, "is a folder (recursion is off): " + source.string());
        if (!facts.isRegular)
            throw ArchiveError(ErrorCode::ReadFailed, "not a regular file: " + source.string());
        if (facts.sameFileAs(m_archive))
            throw ArchiveError(
                ErrorCode::BadCommandLine, "an archive cannot hold itself: " + source.string());
        addEntry(source, relative, leaf, facts);
        return;
    }
    FileFacts folderFacts = platform::fileFacts(folder, true);
    if (folderFacts.error != 0 || !folderFacts.isDirectory)
        readFailed("cannot find folder", folder, folderFacts.error ? folderFacts.error : ENOTDIR);
    if (scanFolder(folder, relative, Match {literal, leaf}) == 0)
        throw ArchiveError(ErrorCode::NothingMatched,
            "nothing matches " + name + " in " + m_request.baseFolder.string());
}

ArchiveEntries Gatherer::take()
{
    // The same file named twice is taken once; two files for one stored
    // path would make an archive whose members hide each other.
    // (Sources are kept as plain strings here: a path holds every component
    // apart, which costs about a kilobyte for each of thousands of files.)
    ArchiveEntries unique;
    std::map<std::string, std::string> seen;
    for (auto &entry : m_entries) {
        auto [it, inserted] = seen.emplace(entry.storedPath, entry.source.native());
        if (inserted) {
            unique.push_back(std::move(entry));
        } else if (it->second != entry.source.native()) {
            throw ArchiveError(ErrorCode::BadCommandLine,
                "two files would be stored as " + entry.storedPath + ": " + it->second + " and "
                    + entry.source.string());
        }
    }
    return unique;
}

} // namespace

ArchiveEntries gatherEntries(const ArchiveRequest &request, const std::atomic<bool> *cancel)
{
    FileFacts base = platform::fileFacts(request.baseFolder, true);
    if (base.error != 0 || !base.isDirectory)
        readFailed(
            "cannot find base folder", request.baseFolder, base.error ? base.error : ENOTDIR);
    Gatherer gatherer(request, cancel);
    for (const auto &name : request.names)
        gatherer.gatherName(name);
    return gatherer.take();
}

} // namespace sheaf::archiver
