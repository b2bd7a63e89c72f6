#pragma once
// Shared by the LZH tests (header-only, since every test_*.cpp is its own
// program): writing an archive with writeLzhArchive, extracting it with an
// independent reader, and reading the extracted tree back by raw byte names,
// because some readers write code page 932 names without converting them.

#include "archiver/archive_entry.h"
#include "archiver/lzh/lzh_archive_writer.h"
#include "archiver/output_file.h"
#include "lzh_decode_util.h"
#include "support/oracles.h"

#include <QByteArray>
#include <QDir>
#include <QString>

#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <sys/stat.h>

namespace sheaf::test {

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

inline QByteArray readRaw(const std::filesystem::path &path)
{
    QByteArray bytes;
    if (FILE *fp = std::fopen(path.c_str(), "rb")) {
        char buf[65536];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, fp)) > 0)
            bytes.append(buf, qsizetype(n));
        std::fclose(fp);
    }
    return bytes;
}

struct RawTree
{
    std::map<std::string, QByteArray> files; // raw relative path -> bytes
    std::set<std::string> dirs;
    std::map<std::string, int64_t> mtimes; // of files, Unix seconds
    std::map<std::string, unsigned> modes; // of files, permission bits
};

inline RawTree readRawTree(const std::filesystem::path &root)
{
    RawTree t;
    for (const auto &e : std::filesystem::recursive_directory_iterator(root)) {
        const std::string rel = std::filesystem::relative(e.path(), root).native();
        if (e.is_directory()) {
            t.dirs.insert(rel);
            continue;
        }
        t.files[rel] = readRaw(e.path());
        struct stat st;
        if (::stat(e.path().c_str(), &st) == 0) {
            t.mtimes[rel] = st.st_mtime;
            t.modes[rel] = st.st_mode & 07777;
        }
    }
    return t;
}

// Removes a folder tree when it goes out of scope. QDir cannot remove the
// names that are not UTF-8, and some readers make such names.
struct RemoveTreeLater
{
    explicit RemoveTreeLater(const QString &path)
        : path(path.toStdString())
    {
    }
    ~RemoveTreeLater()
    {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::filesystem::path path;
};

// Extracts `archive` into `dest` with lhasa, 7zz, bsdtar, unar, jlha (`lha`)
// or ours. Returns the reader's complaint on failure, an empty string on
// success. unar guesses the code page of the names from their bytes, which
// needs more than a few characters; `unarEncoding` names it instead. jlha
// keeps ASCII names only as they are, and may write a member short and
// still succeed: compare the bytes.
inline QString extractWith(const QString &program, const QString &archive, const QString &dest,
    const QString &unarEncoding = {})
{
    if (program == kOurDecoder)
        return extractWithOurDecoder(archive, dest);
    QDir().mkpath(dest);
    const QString abs = QDir(archive).absolutePath();
    QStringList args;
    QString workDir;
    if (program == QLatin1String("lhasa")) {
        args = {QStringLiteral("x"), abs};
        workDir = dest;
    } else if (program == QLatin1String("7zz")) {
        args = {QStringLiteral("x"), QStringLiteral("-y"), QStringLiteral("-o") + dest, abs};
    } else if (program == QLatin1String("lha")) {
        args = {QStringLiteral("xqfw=") + dest, abs};
    } else if (program == QLatin1String("bsdtar")) {
        args = {QStringLiteral("-xf"), abs, QStringLiteral("-C"), dest};
    } else {
        args = {QStringLiteral("-q"), QStringLiteral("-D"), QStringLiteral("-o"), dest};
        if (!unarEncoding.isEmpty())
            args << QStringLiteral("-e") << unarEncoding;
        args << abs;
    }
    const ToolResult r = runTool(program, args, workDir);
    if (r.exitCode == 0)
        return {};
    return program + QStringLiteral(" exit ") + QString::number(r.exitCode) + QLatin1Char(' ')
        + QString::fromUtf8(r.out.right(1500) + r.err.right(1500));
}

} // namespace sheaf::test
