#pragma once
// Shared by the LZH tests (header-only, since every test_*.cpp is its own
// program): the entries handed to writeLzhArchive and the archive it makes.
// The readers that check it are in support/oracles.h.

#include "archiver/archive_entry.h"
#include "archiver/lzh/lzh_archive_writer.h"
#include "archiver/output_file.h"
#include "support/oracles.h"
#include "support/temp_tree.h"

#include <QDateTime>

#include <filesystem>
#include <set>
#include <string>

namespace sheaf::test {

// Writes `content` to `path`, with the time `mtime`, and returns the entry
// that stores it as `stored`.
inline archiver::ArchiveEntry writeEntry(const QString &path, const QString &stored,
    const QByteArray &content, int64_t mtime = 1700000000)
{
    writeFile(path, content, QDateTime::fromSecsSinceEpoch(mtime));
    archiver::ArchiveEntry e;
    e.source = std::filesystem::path(path.toStdString());
    e.storedPath = stored.toStdString();
    e.mtime = mtime;
    e.size = uint64_t(content.size());
    return e;
}

// "lh5", "lh6" or "lh7", for the rows' names.
inline const char *methodName(archiver::LzhMethod m)
{
    return m == archiver::LzhMethod::Lh5 ? "lh5" : m == archiver::LzhMethod::Lh6 ? "lh6" : "lh7";
}

// Writes `entries` (after the kept members of `existing`) to `archive`.
inline void makeLzh(const std::filesystem::path &archive, const archiver::ArchiveEntries &entries,
    archiver::LzhMethod method, const std::filesystem::path &existing = {}, int level = 0,
    int threads = 1)
{
    std::filesystem::remove(archive);
    archiver::OutputFile out(archive);
    archiver::LzhOptions options;
    options.method = method;
    options.level = level;
    options.threads = threads;
    std::set<std::string> replaced;
    for (const archiver::ArchiveEntry &e : entries)
        replaced.insert(e.storedPath);
    archiver::writeLzhArchive(existing, replaced, entries, out, options);
    out.commit();
}

} // namespace sheaf::test
