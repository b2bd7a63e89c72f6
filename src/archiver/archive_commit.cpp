#include "archiver/archive_commit.h"

#include "archiver/archive_error.h"
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
    return fileName.size() > 1 && fileName[0] == '.'
        && fileName.find(kMarker) != std::string_view::npos;
}

ArchiveCommit::ArchiveCommit(const std::filesystem::path &archive, const std::atomic<bool> *cancel,
    int64_t lockWaitMs, bool isNew)
    : m_archive(archive)
    , m_name(archive.filename().string())
    , m_prefix("." + shortened(m_name) + std::string(kMarker))
    , m_cancel(cancel)
{
    const std::filesystem::path folder = archive.parent_path();
    m_folder = platform::openFolder(folder);
    if (m_folder < 0)
        throw ArchiveError(ErrorCode::WriteFailed,
            "出力先のフォルダを開けません: " + folderText(folder) + ": "
                + platform::errorText(errno));
    m_isNew = isNew;
    if (isNew) {
        const int fd = platform::createUnnamedFileIn(m_folder, 0644);
        if (fd >= 0) {
            m_unnamed = true;
            m_out = std::make_unique<OutputFile>(fd, m_archive, m_cancel);
            return;
        }
    }
    try {
        takeLock(lockWaitMs);
    } catch (...) {
        platform::closeFile(m_folder); // no destructor runs
        throw;
    }
}

void ArchiveCommit::takeLock(int64_t lockWaitMs)
{
    const std::string name = m_prefix + std::string(kLockSuffix);
    for (;;) {
        bool wasThere = false;
        const int fd = platform::openLockFileIn(m_folder, name, wasThere);
        if (fd < 0)
            throw ArchiveError(ErrorCode::WriteFailed,
                "出力先のフォルダに書き込めません: " + folderText(m_archive.parent_path()) + ": "
                    + platform::errorText(errno));
        if (!platform::lockFile(fd, lockWaitMs)) {
            const int err = errno;
            platform::closeFile(fd);
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
        const platform::OpenFileFacts held = platform::openFileFacts(fd);
        const platform::FileFacts now = platform::factsIn(m_folder, name);
        if (held.error == 0 && now.error == 0 && held.device == now.device
            && held.inode == now.inode) {
            if (!wasThere) {
                m_lock = fd;
                m_lockName = name;
                return;
            }
            // Left by a run that was killed, with its temporary files.
            removeLeftovers();
            if (!platform::removeIn(m_folder, name)) {
                const int err = errno;
                platform::closeFile(fd);
                throw ArchiveError(ErrorCode::WriteFailed,
                    "前の実行が残した一時ファイルを消せません: "
                        + (m_archive.parent_path() / name).string() + ": "
                        + platform::errorText(err));
            }
        }
        platform::closeFile(fd);
    }
}

void ArchiveCommit::removeLeftovers()
{
    // Every run that makes such names holds this lock; it is ours, so each
    // one found was left by a run that was killed.
    for (const std::string &name : platform::namesIn(m_folder)) {
        if (name.size() == m_prefix.size() + kRandomLetters && name.starts_with(m_prefix)
            && isRandomSuffix(std::string_view(name).substr(m_prefix.size())))
            platform::removeIn(m_folder, name);
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
    m_archiveSeen = platform::factsIn(m_folder, m_name);
    m_archiveLooked = true;
    return m_archiveSeen;
}

bool ArchiveCommit::archiveIsThere()
{
    if (!m_archiveLooked)
        archiveFacts();
    return m_archiveSeen.error != ENOENT;
}

void ArchiveCommit::startWriting()
{
    if (m_unnamed)
        return; // made by the constructor
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = freeName();
        const int fd = platform::createFileIn(m_folder, name, 0644);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            throw ArchiveError(ErrorCode::WriteFailed,
                "一時ファイルを作れません: " + (m_archive.parent_path() / name).string() + ": "
                    + platform::errorText(errno));
        m_temporary = name;
        m_out = std::make_unique<OutputFile>(fd, m_archive.parent_path() / name, m_cancel);
        return;
    }
    throw ArchiveError(ErrorCode::WriteFailed,
        "一時ファイルの空き名前が見つかりません: " + folderText(m_archive.parent_path()));
}

ArchiveCommit::~ArchiveCommit()
{
    m_out.reset();
    if (!m_committed && !m_temporary.empty())
        platform::removeIn(m_folder, m_temporary);
    for (const std::string &folder : m_scratchFolders)
        platform::removeIn(m_folder, folder);
    if (m_lock >= 0) {
        platform::removeIn(m_folder, m_lockName);
        platform::closeFile(m_lock);
    }
    platform::closeFile(m_folder);
}

ArchiveToRead ArchiveCommit::written()
{
    m_out->flush();
    return {m_unnamed ? platform::pathOf(m_out->fd()) : platform::pathOf(m_folder, m_temporary),
        m_out->fd(), m_out->position()};
}

std::filesystem::path ArchiveCommit::makeScratchFolder()
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = freeName();
        if (platform::makeFolderIn(m_folder, name)) {
            m_scratchFolders.push_back(name);
            return platform::pathOf(m_folder, name);
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
    const int fd = platform::openForReading(existing);
    if (fd < 0)
        return;
    const platform::OpenFileFacts facts = platform::openFileFacts(fd);
    platform::closeFile(fd);
    if (facts.error == 0)
        platform::copyModeAndOwner(m_out->fd(), facts);
}

void ArchiveCommit::commit(bool syncNew)
{
    // The archive goes where it was asked for, or nowhere.
    const std::filesystem::path folder = m_archive.parent_path();
    const platform::FileFacts there = platform::fileFacts(folder.empty() ? "." : folder, true);
    const platform::OpenFileFacts held = platform::openFileFacts(m_folder);
    if (there.error != 0 || held.error != 0 || there.device != held.device
        || there.inode != held.inode)
        throw ArchiveError(ErrorCode::WriteFailed,
            "出力先のフォルダが実行中に移動または削除されました: " + folderText(folder));
    if (m_unnamed) {
        m_out->flush();
        if (syncNew)
            m_out->sync();
        if (!platform::nameUnnamedFileIn(m_out->fd(), m_folder, m_name)) {
            if (errno == EEXIST)
                throw ArchiveAppeared {};
            throw ArchiveError(ErrorCode::WriteFailed,
                "書庫に名前を付けられません: " + m_archive.string() + ": "
                    + platform::errorText(errno));
        }
        // Named: it counts from here, whatever comes (no cancel, no throw).
        m_committed = true;
        m_out->close();
        if (syncNew)
            platform::syncFolder(platform::pathOf(m_folder));
        return;
    }
    bool replacing = archiveIsThere();
    if (replacing) {
        // Only the archive that was read is replaced: one that took its place
        // meanwhile (it was removed, and a new one made) is added to instead.
        const platform::FileFacts now = platform::factsIn(m_folder, m_name);
        if (now.error == ENOENT)
            replacing = false;
        else if (now.error != 0 || now.device != m_archiveSeen.device
            || now.inode != m_archiveSeen.inode)
            throw ArchiveAppeared {};
    }
    const bool sync = syncNew || replacing;
    m_out->commit(sync);
    const bool renamed = replacing ? platform::renameIn(m_folder, m_temporary, m_name)
                                   : platform::renameInNoReplace(m_folder, m_temporary, m_name);
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
        platform::syncFolder(platform::pathOf(m_folder));
}

} // namespace sheaf::archiver
