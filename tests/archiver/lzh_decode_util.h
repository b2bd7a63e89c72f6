#pragma once
// Our own LZH decoder as one more reader in the interop matrices ("sheaf"):
// it extracts by the stored Unicode names and sets the times, and any member
// fault is a failure. It runs in process; the other readers still check
// every archive independently.

#include "archiver/archive_error.h"
#include "archiver/lzh/lzh_decoder.h"

#include <QString>

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>

namespace sheaf::test {

inline const QString kOurDecoder = QStringLiteral("sheaf");

// Extracts `archive` into `dest`; empty on success, else what went wrong.
inline QString extractWithOurDecoder(const QString &archive, const QString &dest)
{
    namespace fs = std::filesystem;
    const fs::path root = dest.toStdString();
    fs::create_directories(root);
    std::FILE *file = nullptr;
    uint64_t current = ~uint64_t(0);
    auto sink = [&](const archiver::LzhMemberReport &m, const uint8_t *data, size_t size) {
        if (m.headerOffset != current) {
            if (file)
                std::fclose(file);
            const fs::path path = root / m.storedPath;
            fs::create_directories(path.parent_path());
            file = std::fopen(path.c_str(), "wb");
            current = m.headerOffset;
        }
        if (file)
            std::fwrite(data, 1, size, file);
    };
    std::vector<archiver::LzhMemberReport> members;
    try {
        members = archiver::decodeLzhArchive(archive.toStdString(), sink);
    } catch (const archiver::ArchiveError &e) {
        if (file)
            std::fclose(file);
        return kOurDecoder + QStringLiteral(": ") + QString::fromUtf8(e.what());
    }
    if (file)
        std::fclose(file);
    for (const archiver::LzhMemberReport &m : members) {
        if (!m.fault.empty())
            return kOurDecoder + QStringLiteral(": ") + QString::fromStdString(m.storedPath)
                + QStringLiteral(": ") + QString::fromStdString(m.fault);
        const fs::path path = root / m.storedPath;
        if (m.isDirectory) {
            fs::create_directories(path);
            continue;
        }
        if (!fs::exists(path)) { // an empty member hands out no bytes
            fs::create_directories(path.parent_path());
            if (std::FILE *f = std::fopen(path.c_str(), "wb"))
                std::fclose(f);
        }
        const struct timespec times[2] = {{time_t(m.mtime), 0}, {time_t(m.mtime), 0}};
        ::utimensat(AT_FDCWD, path.c_str(), times, 0);
    }
    return {};
}

} // namespace sheaf::test
