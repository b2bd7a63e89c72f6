#include "archiver/entry_gathering.h"

#include "archiver/archive_commit.h"
#include "archiver/archive_error.h"
#include "archiver/source_tree.h"
#include "archiver/wildcard.h"
#include "base/file.h"
#include "base/name_bytes.h"
#include "base/platform.h"

#include <algorithm>
#include <cerrno>
#include <map>

namespace sheaf::archiver {

namespace {

using platform::FileFacts;

std::string shown(const std::filesystem::path &path)
{
    return escapedName(path.native());
}

[[noreturn]] void readFailed(const std::string &what, const std::filesystem::path &path, int err)
{
    throw ArchiveError(
        ErrorCode::ReadFailed, what + ": " + shown(path) + ": " + platform::errorText(err));
}

std::string joined(const std::string &relative, const std::string &name)
{
    return relative.empty() ? name : relative + "/" + name;
}

// A link whose target cannot be looked at because it is not there.
bool leadsNowhere(int err)
{
    return err == ENOENT || err == ENOTDIR || err == ELOOP;
}

const char *specialKind(const FileFacts &facts)
{
    if (facts.isPipe)
        return "名前付きパイプは読み込みません";
    if (facts.isSocket)
        return "ソケットは読み込みません";
    if (facts.isDevice)
        return "デバイスは読み込みません";
    return "通常のファイルではないので読み込みません";
}

const char kForeignLink[] = "他のユーザーのシンボリックリンクはたどりません";
const char kOutsideLink[] = "圧縮するフォルダーの外を指すシンボリックリンクです";
const char kNowhereLink[] = "リンク先がないか、循環しているシンボリックリンクです";
const char kFolderLink[] = "フォルダーへのシンボリックリンクはたどりません";
const char kTemporary[] = "圧縮中（または中断された実行）の一時ファイルなので格納しません";

// One name found in a folder, looked at while the folder was open.
struct Found
{
    std::string name;
    FileFacts facts; // of the link's target when it is a followed link
    bool isLink = false;
    const char *leftOutReason = nullptr; // set: not taken, reported
};

class Gatherer
{
public:
    Gatherer(const ArchiveRequest &request, const std::atomic<bool> *cancel,
        const FileFacts *archive, const File *base)
        : m_request(request)
        , m_cancel(cancel)
        , m_archive(archive ? *archive : platform::fileFacts(request.archive, true))
    {
        if (!base)
            return;
        const FileFacts facts = base->facts();
        if (facts.error != 0)
            readFailed("基準フォルダーを調べられません", request.baseFolder, facts.error);
        m_base = startFolder(request.baseFolder, facts, m_handles);
        m_handles->pin(*m_base, base->duplicate());
    }

    void gatherName(const std::string &name);
    void gatherFolder(const std::string &path);
    // The folder `relative` to the base folder (at `path`), from the base
    // folder's handle when the caller gave one.
    std::shared_ptr<const SourceFolder> startAt(
        const std::string &relative, const std::filesystem::path &path, FileFacts &facts);
    ArchiveEntries take();
    std::vector<LeftOut> takeLeftOut() { return std::move(m_leftOut); }

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

    std::vector<Found> listFolder(
        const SourceFolder &folder, const Match &match, const FileFacts &walkRoot);
    size_t scanFolder(const std::shared_ptr<const SourceFolder> &folder,
        const std::string &relative, const Match &match, const FileFacts &walkRoot);
    void addEntry(const std::shared_ptr<const SourceFolder> &folder, const std::string &relative,
        const std::string &name, const FileFacts &facts, bool followLink);
    void leaveOut(const SourceFolder &folder, const std::string &name, const char *reason)
    {
        m_leftOut.push_back({(folder.path() / name).native(), reason});
    }
    void checkCancel() const { archiver::checkCancel(m_cancel); }

    const ArchiveRequest &m_request;
    const std::atomic<bool> *m_cancel;
    FileFacts m_archive;
    ArchiveEntries m_entries;
    std::vector<LeftOut> m_leftOut;
    std::shared_ptr<FolderHandles> m_handles = std::make_shared<FolderHandles>();
    std::shared_ptr<const SourceFolder> m_base; // the base folder the caller opened
};

void Gatherer::addEntry(const std::shared_ptr<const SourceFolder> &folder,
    const std::string &relative, const std::string &name, const FileFacts &facts, bool followLink)
{
    if (facts.isDirectory && !m_request.relativePaths)
        return; // a folder entry means nothing among bare names
    const std::filesystem::path source = folder->path() / name;
    // A name's bytes must reach the archive as they are: every format keeps
    // names as Unicode, and a backslash is a folder separator to readers.
    if (!isValidUtf8(name))
        throw ArchiveError(
            ErrorCode::ReadFailed, "名前が UTF-8 ではないので格納できません: " + shown(source));
    if (name.find('\\') != std::string::npos)
        throw ArchiveError(ErrorCode::ReadFailed,
            "名前に “\\” が含まれているので格納できません: " + shown(source));
    ArchiveEntry entry;
    entry.source = source;
    entry.folder = folder;
    entry.name = name;
    entry.followLink = followLink;
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

std::vector<Found> Gatherer::listFolder(
    const SourceFolder &folder, const Match &match, const FileFacts &walkRoot)
{
    return m_handles->withFolder(folder, [&](const File &dir) {
        std::vector<std::string> names;
        if (!dir.listNames(names))
            readFailed("フォルダーの中を一覧できません", folder.path(), errno);
        std::sort(names.begin(), names.end());
        std::vector<Found> found;
        for (auto &name : names) {
            checkCancel();
            if (!match.literal && !m_request.includeHidden
                && platform::isHiddenOrSystem(folder.path() / name))
                continue; // neither taken nor entered
            if (isTemporaryName(name)) {
                // Another run's (or a killed one's): never taken nor entered,
                // but said when it would have been.
                if (match.matches(name))
                    found.push_back({std::move(name), {}, false, kTemporary});
                continue;
            }
            Found f;
            f.facts = dir.factsOf(name, File::Links::DontFollow);
            f.name = std::move(name);
            if (f.facts.error == ENOENT)
                continue; // gone since the listing
            if (f.facts.error != 0) // a folder that can be listed but not searched
                readFailed("フォルダーの中を調べられません", folder.path() / f.name, f.facts.error);
            if (f.facts.isLink) {
                if (!match.matches(f.name))
                    continue; // links are only ever taken as files, never entered
                f.isLink = true;
                const FileFacts link = f.facts;
                f.facts = dir.factsOf(f.name, File::Links::Follow);
                if (f.facts.error != 0 && !leadsNowhere(f.facts.error))
                    readFailed("リンク先を調べられません", folder.path() / f.name, f.facts.error);
                if (f.facts.error != 0)
                    f.leftOutReason = kNowhereLink;
                else if (f.facts.isDirectory && !m_request.recurse)
                    continue; // folders are not taken here anyway
                else if (f.facts.isDirectory)
                    f.leftOutReason = kFolderLink; // never followed
                else if (!link.ownedByCurrentUser)
                    f.leftOutReason = kForeignLink;
                else if (m_request.recurse) {
                    const auto target = dir.linkTarget(f.name, walkRoot);
                    if (target == File::LinkTarget::Nowhere)
                        f.leftOutReason = kNowhereLink;
                    else if (target == File::LinkTarget::Outside)
                        f.leftOutReason = kOutsideLink;
                }
            }
            found.push_back(std::move(f));
        }
        return found;
    });
}

size_t Gatherer::scanFolder(const std::shared_ptr<const SourceFolder> &folder,
    const std::string &relative, const Match &match, const FileFacts &walkRoot)
{
    size_t taken = 0;
    for (const Found &f : listFolder(*folder, match, walkRoot)) {
        checkCancel();
        if (f.facts.sameFileAs(m_archive))
            continue;
        const bool matched = match.matches(f.name);
        if (f.leftOutReason) {
            leaveOut(*folder, f.name, f.leftOutReason);
        } else if (f.facts.isDirectory) {
            if (!m_request.recurse)
                continue;
            if (matched) {
                addEntry(folder, relative, f.name, f.facts, false);
                ++taken;
            }
            taken += scanFolder(
                subfolder(folder, f.name, f.facts), joined(relative, f.name), match, walkRoot);
        } else if (matched && f.facts.isRegular) {
            addEntry(folder, relative, f.name, f.facts, f.isLink);
            ++taken;
        } else if (matched) {
            leaveOut(*folder, f.name, specialKind(f.facts));
        }
    }
    return taken;
}

// The folder a name is looked up in, where the walk starts.
std::shared_ptr<const SourceFolder> Gatherer::startAt(
    const std::string &relative, const std::filesystem::path &path, FileFacts &facts)
{
    if (m_base) {
        // From the folder held, one name at a time, never through a link.
        std::shared_ptr<const SourceFolder> folder = m_base;
        facts = m_handles->withFolder(*folder, [](const File &dir) { return dir.facts(); });
        for (const auto &part : std::filesystem::path(relative)) {
            facts = m_handles->withFolder(*folder, [&](const File &dir) {
                return dir.factsOf(part.native(), File::Links::DontFollow);
            });
            if (facts.error != 0 || !facts.isDirectory)
                readFailed("フォルダーが見つかりません", folder->path() / part,
                    facts.error ? facts.error : ENOTDIR);
            folder = subfolder(folder, part.native(), facts);
        }
        return folder;
    }
    File handle = File::openFolder(path);
    if (!handle)
        readFailed("フォルダーが見つかりません", path, handle.error());
    facts = handle.facts();
    if (facts.error != 0)
        readFailed("フォルダーを調べられません", path, facts.error);
    return startFolder(path, facts, m_handles);
}

void Gatherer::gatherName(const std::string &name)
{
    if (name.size() > 1 && name.back() == '/')
        return gatherFolder(name.substr(0, name.size() - 1));
    std::string relative, leaf = name;
    if (size_t slash = name.rfind('/'); slash != std::string::npos) {
        relative = name.substr(0, slash);
        leaf = name.substr(slash + 1);
        if (hasWildcard(relative))
            throw ArchiveError(ErrorCode::BadCommandLine,
                "ワイルドカードは名前の最後の部分にだけ使えます: " + escapedName(name));
        while (!relative.empty() && relative.back() == '/')
            relative.pop_back();
    }
    if (leaf.empty())
        throw ArchiveError(
            ErrorCode::BadCommandLine, "名前が区切り文字で終わっています: " + escapedName(name));
    const std::filesystem::path folderPath
        = relative.empty() ? m_request.baseFolder : m_request.baseFolder / relative;
    FileFacts folderFacts;
    const auto folder = startAt(relative, folderPath, folderFacts);
    const bool literal = !hasWildcard(leaf);

    if (literal && !m_request.recurse) {
        const std::filesystem::path source = folderPath / leaf;
        auto [link, facts] = m_handles->withFolder(*folder, [&](const File &dir) {
            return std::pair {
                dir.factsOf(leaf, File::Links::DontFollow), dir.factsOf(leaf, File::Links::Follow)};
        });
        if (link.error != 0)
            readFailed(
                link.error == ENOENT ? "ファイルが見つかりません" : "ファイルを調べられません",
                source, link.error);
        // A link named on its own is taken as the file it leads to, unless
        // someone else planted it.
        if (link.isLink && !link.ownedByCurrentUser)
            throw ArchiveError(
                ErrorCode::ReadFailed, std::string(kForeignLink) + ": " + shown(source));
        if (facts.error != 0)
            readFailed("リンク先が見つかりません", source, facts.error);
        if (facts.isDirectory)
            throw ArchiveError(ErrorCode::ReadFailed,
                "フォルダーです（サブフォルダーを含めない指定です）: " + shown(source));
        if (!facts.isRegular)
            throw ArchiveError(ErrorCode::ReadFailed,
                "通常のファイルではないので読み込みません: " + shown(source));
        if (facts.sameFileAs(m_archive))
            throw ArchiveError(ErrorCode::BadCommandLine,
                "圧縮ファイルを自分自身に格納することはできません: " + shown(source));
        addEntry(folder, relative, leaf, facts, link.isLink);
        return;
    }
    const size_t leftOutBefore = m_leftOut.size();
    if (scanFolder(folder, relative, Match {literal, leaf}, folderFacts) > 0)
        return;
    if (m_leftOut.size() > leftOutBefore)
        throw ArchiveError(ErrorCode::NothingMatched,
            "格納できるファイルがありません（除外 "
                + std::to_string(m_leftOut.size() - leftOutBefore) + " 件）: " + escapedName(name)
                + " (" + shown(m_request.baseFolder) + ")");
    throw ArchiveError(ErrorCode::NothingMatched,
        "一致するファイルがありません: " + escapedName(name) + " (" + shown(m_request.baseFolder)
            + ")");
}

// "NAME/": the folder NAME itself, its entry first, then all it holds. The
// name is taken literally, wildcard characters included, and a link is not
// followed: it names one folder the caller has looked at.
void Gatherer::gatherFolder(const std::string &path)
{
    if (!m_request.recurse)
        throw ArchiveError(ErrorCode::BadCommandLine,
            "フォルダ全体を格納するにはサブフォルダを含める指定が必要です: " + escapedName(path)
                + "/");
    const size_t slash = path.rfind('/');
    const std::string relative = slash == std::string::npos ? std::string() : path.substr(0, slash);
    const std::string leaf = slash == std::string::npos ? path : path.substr(slash + 1);
    if (hasWildcard(relative))
        throw ArchiveError(ErrorCode::BadCommandLine,
            "ワイルドカードは名前の最後の部分にだけ使えます: " + escapedName(path));
    const std::filesystem::path parentPath
        = relative.empty() ? m_request.baseFolder : m_request.baseFolder / relative;
    FileFacts parentFacts;
    const auto parent = startAt(relative, parentPath, parentFacts);
    const FileFacts facts = m_handles->withFolder(
        *parent, [&](const File &dir) { return dir.factsOf(leaf, File::Links::DontFollow); });
    const std::filesystem::path source = parentPath / leaf;
    if (facts.error != 0)
        readFailed(
            facts.error == ENOENT ? "フォルダーが見つかりません" : "フォルダーを調べられません",
            source, facts.error);
    if (facts.isLink)
        throw ArchiveError(ErrorCode::ReadFailed,
            "フォルダーへのシンボリックリンクはたどりません: " + shown(source));
    if (!facts.isDirectory)
        throw ArchiveError(ErrorCode::ReadFailed, "フォルダーではありません: " + shown(source));
    addEntry(parent, relative, leaf, facts, false);
    // Links inside are followed only to files inside this folder.
    scanFolder(subfolder(parent, leaf, facts), joined(relative, leaf), Match {false, "*"}, facts);
}

ArchiveEntries Gatherer::take()
{
    // The same file named twice is taken once; two files for one stored
    // path would make an archive whose members hide each other.
    ArchiveEntries unique;
    std::map<std::string, std::string> seen;
    for (auto &entry : m_entries) {
        auto [it, inserted] = seen.emplace(entry.storedPath, entry.source.native());
        if (inserted) {
            unique.push_back(std::move(entry));
        } else if (it->second != entry.source.native()) {
            throw ArchiveError(ErrorCode::BadCommandLine,
                "二つのファイルが同じ名前で格納されることになります: " + entry.storedPath + ": "
                    + escapedName(it->second) + " / " + shown(entry.source));
        }
    }
    return unique;
}

} // namespace

ArchiveEntries gatherEntries(const ArchiveRequest &request, const std::atomic<bool> *cancel,
    std::vector<LeftOut> *leftOut, const FileFacts *archive, const File *baseFolder)
{
    if (!baseFolder) {
        FileFacts base = platform::fileFacts(request.baseFolder, true);
        if (base.error != 0 || !base.isDirectory)
            readFailed("基準フォルダーが見つかりません", request.baseFolder,
                base.error ? base.error : ENOTDIR);
    }
    Gatherer gatherer(request, cancel, archive, baseFolder);
    try {
        for (const auto &name : request.names)
            gatherer.gatherName(name);
    } catch (...) {
        if (leftOut)
            *leftOut = gatherer.takeLeftOut();
        throw;
    }
    if (leftOut)
        *leftOut = gatherer.takeLeftOut();
    return gatherer.take();
}

} // namespace sheaf::archiver
