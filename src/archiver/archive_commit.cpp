#include "archiver/archive_commit.h"

#include "archiver/archive_error.h"
#include "archiver/fault_injection.h"
#include "base/platform.h"

#include <algorithm>
#include <cerrno>
#include <random>

namespace sheaf::archiver {

namespace {

constexpr std::string_view kMarker = ".sheaf-tmp-";
constexpr std::string_view kLockSuffix = "lock";
constexpr size_t kRandomLetters = 6;
// Room for the marker and the suffix within a 255-byte file name.
constexpr size_t kMaxNameInTemporary = 200;

std::string folderText(const std::filesystem::path &folder)
{
    return folder.empty() ? std::string(".") : folder.string();
}

// Cuts a UTF-8 name at a character boundary.
std::string shortened(std::string name)
{
    if (name.size() <= kMaxNameInTemporary)
        return name;
    size_t cut = kMaxNameInTemporary;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
        --cut;
    return name.substr(0, cut);
}

bool isRandomSuffix(std::string_view text)
{
    return text.size() == kRandomLetters && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    });
}

} // namespace

bool isTemporaryName(std::string_view fileName)
{
    // The archive's name between the '.' and the marker is never empty.
    const size_t marker = fileName.rfind(kMarker);
    if (fileName.empty() || fileName[0] != '.' || marker == std::string_view::npos || marker < 2)
        return false;
    const std::string_view suffix = fileName.substr(marker + kMarker.size());
    return suffix == kLockSuffix || isRandomSuffix(suffix);
}

ArchiveCommit::ArchiveCommit(const std::filesystem::path &archive, const std::atomic<bool> *cancel,
    int64_t lockWaitMs, bool isNew, const File *given)
    : m_archive(archive)
    , m_name(archive.filename().string())
    , m_prefix("." + shortened(m_name) + std::string(kMarker))
    , m_cancel(cancel)
    , m_folderGiven(given != nullptr)
{
    const std::filesystem::path folder = archive.parent_path();
    m_folder = given ? given->duplicate() : File::openFolder(folder);
    if (!m_folder)
        throw ArchiveError(ErrorCode::WriteFailed,
            "出力先のフォルダを開けません: " + folderText(folder) + ": "
                + platform::errorText(m_folder.error()));
    m_isNew = isNew;
    if (isNew) {
        File file = File::createUnnamed(m_folder, 0644);
        if (file) {
            m_unnamed = true;
            m_out = std::make_unique<OutputFile>(std::move(file), m_archive, m_cancel);
            return;
        }
    }
    takeLock(lockWaitMs); // the members made so far close themselves
}

void ArchiveCommit::takeLock(int64_t lockWaitMs)
{
    const std::string name = m_prefix + std::string(kLockSuffix);
    for (;;) {
        bool wasThere = false;
        File lock = File::openLockFile(m_folder, name, wasThere);
        if (!lock)
            throw ArchiveError(ErrorCode::WriteFailed,
                "出力先のフォルダに書き込めません: " + folderText(m_archive.parent_path()) + ": "
                    + platform::errorText(lock.error()));
        if (!lock.lock(lockWaitMs)) {
            const int err = errno;
            if (err == ETIMEDOUT)
                throw ArchiveError(ErrorCode::WriteFailed,
                    "ほかの実行が同じ書庫を書き終えるのを待ちきれませんでした: "
                        + m_archive.string());
            throw ArchiveError(ErrorCode::WriteFailed,
                "書庫を書く権利を得られません: " + m_archive.string() + ": "
                    + platform::errorText(err));
        }
        // The holder before removes the file once done: the lock counts only
        // when the file locked is still the one of that name.
        const platform::FileFacts held = lock.facts();
        const platform::FileFacts now = m_folder.factsOf(name, File::Links::DontFollow);
        if (held.sameFileAs(now)) {
            if (!wasThere) {
                m_lock = std::move(lock);
                m_lockName = name;
                return;
            }
            // Left by a run that was killed, with its temporary files.
            removeLeftovers();
            if (!m_folder.remove(name)) {
                const int err = errno;
                throw ArchiveError(ErrorCode::WriteFailed,
                    "前の実行が残した一時ファイルを消せません: "
                        + (m_archive.parent_path() / name).string() + ": "
                        + platform::errorText(err));
            }
        }
    }
}

void ArchiveCommit::removeLeftovers()
{
    // Every run that makes such names holds this lock; it is ours, so each
    // one found was left by a run that was killed.
    std::vector<std::string> names;
    m_folder.listNames(names);
    for (const std::string &name : names) {
        if (name.size() == m_prefix.size() + kRandomLetters && name.starts_with(m_prefix)
            && isRandomSuffix(std::string_view(name).substr(m_prefix.size())))
            m_folder.remove(name);
    }
}

std::string ArchiveCommit::freeName()
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937 random(std::random_device {}());
    std::string name = m_prefix;
    for (size_t i = 0; i < kRandomLetters; ++i)
        name += letters[random() % (sizeof letters - 1)];
    return name;
}

platform::FileFacts ArchiveCommit::archiveFacts()
{
    if (m_unnamed) {
        platform::FileFacts none;
        none.error = ENOENT;
        return none;
    }
    m_archiveSeen = m_folder.factsOf(m_name, File::Links::DontFollow);
    m_archiveLooked = true;
    return m_archiveSeen;
}

bool ArchiveCommit::archiveIsThere()
{
    if (!m_archiveLooked)
        archiveFacts();
    return m_archiveSeen.error != ENOENT;
}

std::filesystem::path ArchiveCommit::reachingPath()
{
    // Never through a link: one put in its place since it was looked at
    // would have the run read (and copy out) a file the link's owner chose.
    beforeReadingOldArchive();
    m_old = File::openForReading(m_folder, m_name, File::Links::DontFollow);
    if (!m_old || !m_old.facts().sameFileAs(m_archiveSeen))
        throw ArchiveAppeared {};
    return m_old.reachingPath();
}

void ArchiveCommit::startWriting()
{
    if (m_unnamed)
        return; // made by the constructor
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = freeName();
        File file = File::create(m_folder, name, 0644);
        if (!file && file.error() == EEXIST)
            continue;
        if (!file)
            throw ArchiveError(ErrorCode::WriteFailed,
                "一時ファイルを作れません: " + (m_archive.parent_path() / name).string() + ": "
                    + platform::errorText(file.error()));
        m_temporary = name;
        m_out = std::make_unique<OutputFile>(
            std::move(file), m_archive.parent_path() / name, m_cancel);
        return;
    }
    throw ArchiveError(ErrorCode::WriteFailed,
        "一時ファイルの空き名前が見つかりません: " + folderText(m_archive.parent_path()));
}

ArchiveCommit::~ArchiveCommit()
{
    m_reader.reset();
    m_out.reset();
    if (!m_committed && !m_temporary.empty())
        m_folder.remove(m_temporary);
    for (const std::string &folder : m_scratchFolders)
        m_folder.remove(folder);
    if (m_lock)
        m_folder.remove(m_lockName);
}

ArchiveToRead ArchiveCommit::written()
{
    m_out->flush();
    // What reaches the file must be what the writers handed to it, byte for
    // byte: a byte changed on its way to the disk may still read back as an
    // archive (a name, a time, a field no reader checks).
    if (const int64_t at = m_out->firstDifference(); at >= 0)
        throw ArchiveError(ErrorCode::VerifyFailed,
            "書いた書庫がディスク上で書いた内容と違います: " + m_archive.string() + ": オフセット "
                + std::to_string(at) + " から");
    m_reader = std::make_unique<FileReader>(m_out->file());
    if (m_reader->error() != 0)
        throw ArchiveError(ErrorCode::WriteFailed,
            "書いた書庫を調べられません: " + m_archive.string() + ": "
                + platform::errorText(m_reader->error()));
    return {m_unnamed ? m_out->file().reachingPath() : m_folder.reachingPath(m_temporary),
        m_archive.string(), *m_reader};
}

std::filesystem::path ArchiveCommit::makeScratchFolder()
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = freeName();
        if (m_folder.makeFolder(name)) {
            m_scratchFolders.push_back(name);
            return m_folder.reachingPath(name);
        }
        if (errno != EEXIST)
            break;
    }
    throw ArchiveError(ErrorCode::WriteFailed,
        "作業用フォルダを作れません: " + folderText(m_archive.parent_path()) + ": "
            + platform::errorText(errno));
}

void ArchiveCommit::keepModeOf(const std::filesystem::path &existing)
{
    const File old = File::openForReading(existing, File::Links::Follow);
    if (!old)
        return;
    const platform::OpenFileFacts facts = old.openFacts();
    if (facts.error == 0)
        m_out->file().copyModeAndOwner(facts);
}

namespace {

MadeArchive madeFrom(
    const std::filesystem::path &archive, const platform::FileFacts &facts, bool isNew)
{
    return {archive.string(), facts.device, facts.inode, facts.size, facts.mtimeNs, isNew};
}

} // namespace

bool ArchiveCommit::removeIfStill(const MadeArchive &made)
{
    const platform::FileFacts now = m_folder.factsOf(m_name, File::Links::DontFollow);
    if (now.error == ENOENT)
        return false;
    if (now.error != 0 || !now.isRegular || now.device != made.device || now.inode != made.inode
        || now.size != made.size || now.mtimeNs != made.mtimeNs)
        return false;
    if (!m_folder.remove(m_name))
        throw ArchiveError(ErrorCode::WriteFailed,
            "書庫を消せません: " + m_archive.string() + ": " + platform::errorText(errno));
    return true;
}

MadeArchive ArchiveCommit::commit(bool syncNew)
{
    // The archive goes where it was asked for, or nowhere. (A folder the
    // caller opened is where it was asked for, whatever its path says now.)
    const std::filesystem::path folder = m_archive.parent_path();
    const platform::FileFacts there = m_folderGiven
        ? m_folder.facts()
        : platform::fileFacts(folder.empty() ? "." : folder, true);
    if (!there.sameFileAs(m_folder.facts()))
        throw ArchiveError(ErrorCode::WriteFailed,
            "出力先のフォルダが実行中に移動または削除されました: " + folderText(folder));
    if (m_unnamed) {
        m_out->flush();
        if (syncNew)
            m_out->sync();
        m_out->checkClose();
        if (!m_out->file().linkAs(m_folder, m_name)) {
            if (errno == EEXIST)
                throw ArchiveAppeared {};
            throw ArchiveError(ErrorCode::WriteFailed,
                "書庫に名前を付けられません: " + m_archive.string() + ": "
                    + platform::errorText(errno));
        }
        // Named: it counts from here, whatever comes (no cancel, no throw).
        m_committed = true;
        const platform::FileFacts facts = m_out->file().facts();
        m_out->close();
        if (syncNew)
            syncFolder();
        return madeFrom(m_archive, facts, true);
    }
    bool replacing = archiveIsThere();
    if (replacing) {
        // Only the archive that was read is replaced: one that took its place
        // meanwhile (it was removed, and a new one made) is added to instead.
        const platform::FileFacts now = m_folder.factsOf(m_name, File::Links::DontFollow);
        if (now.error == ENOENT)
            replacing = false;
        else if (!now.sameFileAs(m_archiveSeen))
            throw ArchiveAppeared {};
    }
    const bool sync = syncNew || replacing;
    m_out->flush();
    const platform::FileFacts facts = m_out->file().facts();
    m_out->commit(sync);
    const bool renamed = replacing ? m_folder.rename(m_temporary, m_name)
                                   : m_folder.renameNoReplace(m_temporary, m_name);
    if (!renamed && errno == EEXIST && m_isNew)
        throw ArchiveAppeared {};
    if (!renamed && errno == EEXIST)
        throw ArchiveError(ErrorCode::WriteFailed,
            "書庫を書いている間に同じ名前のファイルが作られました。上書きしません: "
                + m_archive.string());
    if (!renamed)
        throw ArchiveError(ErrorCode::WriteFailed,
            "一時ファイルを書庫の名前に変えられません: " + m_archive.string() + ": "
                + platform::errorText(errno));
    m_committed = true;
    if (sync)
        syncFolder();
    return madeFrom(m_archive, facts, !replacing);
}

void ArchiveCommit::syncFolder()
{
    if (!faultInjectedSync(SyncStep::Folder, [&] { return m_folder.sync(); }))
        throw ArchiveError(ErrorCode::WriteFailed,
            "書庫の名前をディスクに書き出せません: " + m_archive.string() + ": "
                + platform::errorText(errno));
}

} // namespace sheaf::archiver
