#include "archiver/written_archives.h"

#include "archiver/fault_injection.h"
#include "base/name_bytes.h"

#include <cerrno>

namespace sheaf::archiver {

void WrittenArchives::watch(const File &folder)
{
    const platform::FileFacts facts = folder.facts();
    if (facts.error != 0)
        return; // writing there fails too
    const std::lock_guard lock(m_mutex);
    FileSystem &fs = m_fileSystems[facts.device];
    if (!fs.handle)
        fs.handle = folder.duplicate();
}

void WrittenArchives::made(const MadeArchive &archive)
{
    const std::lock_guard lock(m_mutex);
    FileSystem &fs = m_fileSystems[archive.device];
    if (!fs.handle) // not watched before: it sees errors from now on only
        fs.handle = File::openFolder(std::filesystem::path(archive.path).parent_path());
    fs.archives.push_back(archive.path);
}

std::vector<WrittenArchives::Failure> WrittenArchives::sync()
{
    const std::lock_guard lock(m_mutex);
    std::vector<Failure> failures;
    for (auto &[device, fs] : m_fileSystems) {
        if (fs.archives.empty())
            continue; // adds are synced one by one
        int err = fs.handle.error();
        if (err == 0) {
            if (faultInjectedSync(SyncStep::FileSystem, [&] { return fs.handle.syncFileSystem(); }))
                continue;
            err = errno;
        }
        const std::string folder
            = escapedName(std::filesystem::path(fs.archives.front()).parent_path().native());
        failures.push_back({"ディスクに書き出せません: " + folder + ": " + platform::errorText(err),
            std::move(fs.archives)});
    }
    m_fileSystems.clear();
    return failures;
}

} // namespace sheaf::archiver
