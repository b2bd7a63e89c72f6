#include "archiver/archive_commit.h"

#include "archiver/archive_error.h"
#include "base/platform.h"

#include <cerrno>
#include <random>

namespace sheaf::archiver {

namespace {

constexpr std::string_view kMarker = ".sheaf-tmp-";
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

} // namespace

bool isTemporaryName(std::string_view fileName)
{
    return fileName.size() > 1 && fileName[0] == '.'
        && fileName.find(kMarker) != std::string_view::npos;
}

std::filesystem::path ArchiveCommit::temporaryPattern() const
{
    return m_archive.parent_path()
        / ("." + shortened(m_archive.filename().string()) + std::string(kMarker) + "XXXXXX");
}

ArchiveCommit::ArchiveCommit(const std::filesystem::path &archive, const std::atomic<bool> *cancel)
    : m_archive(archive)
{
    const std::filesystem::path folder = archive.parent_path();
    platform::FileFacts facts = platform::fileFacts(folder.empty() ? "." : folder, true);
    if (facts.error != 0 || !facts.isDirectory)
        throw ArchiveError(
            ErrorCode::WriteFailed, "output folder does not exist: " + folderText(folder));
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device seed;
    std::mt19937 random(seed());
    std::string pattern = temporaryPattern().string();
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = pattern.substr(0, pattern.size() - 6);
        for (int i = 0; i < 6; ++i)
            name += letters[random() % (sizeof letters - 1)];
        if (platform::fileFacts(name, false).error != ENOENT)
            continue;
        m_temporary = name;
        m_out = std::make_unique<OutputFile>(m_temporary, cancel);
        return;
    }
    throw ArchiveError(
        ErrorCode::WriteFailed, "cannot find a free temporary name in " + folderText(folder));
}

ArchiveCommit::~ArchiveCommit()
{
    m_out.reset();
    std::error_code ignored;
    if (!m_committed && !m_temporary.empty())
        std::filesystem::remove(m_temporary, ignored);
    for (const auto &folder : m_scratchFolders)
        std::filesystem::remove_all(folder, ignored);
}

std::filesystem::path ArchiveCommit::makeScratchFolder()
{
    std::filesystem::path folder = platform::makeTemporaryFolder(temporaryPattern());
    if (folder.empty())
        throw ArchiveError(ErrorCode::WriteFailed,
            "cannot create a scratch folder in " + folderText(m_archive.parent_path()) + ": "
                + platform::errorText(errno));
    m_scratchFolders.push_back(folder);
    return folder;
}

void ArchiveCommit::commit(bool syncNew)
{
    std::error_code ec;
    const bool replacing = std::filesystem::exists(std::filesystem::symlink_status(m_archive, ec));
    const bool sync = syncNew || replacing;
    m_out->commit(sync);
    if (!platform::renameReplace(m_temporary, m_archive))
        throw ArchiveError(ErrorCode::WriteFailed,
            "cannot rename the temporary file to " + m_archive.string() + ": "
                + platform::errorText(errno));
    m_committed = true;
    if (sync)
        platform::syncFolder(m_archive.parent_path().empty() ? "." : m_archive.parent_path());
}

} // namespace sheaf::archiver
