#include "cli/lzh_inspect.h"

#include "archiver/archive_error.h"
#include "archiver/lzh/lzh_archive_reader.h"
#include "archiver/lzh/lzh_decoder.h"
#include "base/name_bytes.h"
#include "base/platform.h"

#include <cerrno>
#include <ctime>
#include <string>

namespace sheaf::cli {

namespace {

std::string localTime(int64_t seconds)
{
    const std::time_t t = std::time_t(seconds);
    std::tm tm {};
    char text[32] = "-";
    if (::localtime_r(&t, &tm))
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
    return text;
}

// A stored name is the archive's, not ours: escaped (control characters,
// bytes outside UTF-8), so that it cannot make a line of its own or drive
// the terminal.
std::string shownName(const std::string &path, bool isDirectory)
{
    return escapedName(isDirectory ? path + "/" : path);
}

// Output that did not reach its file is a failure, not a listing.
int finished(std::FILE *out, std::FILE *err, int status)
{
    if (std::fflush(out) != 0 || std::ferror(out)) {
        std::fprintf(
            err, "sheaf-arc: 結果を書き出せません: %s\n", platform::errorText(errno).c_str());
        return 1;
    }
    return status;
}

} // namespace

int testLzhArchive(const char *archive, std::FILE *out, std::FILE *err)
{
    std::vector<archiver::LzhMemberReport> members;
    try {
        members = archiver::decodeLzhArchive(archive);
    } catch (const archiver::ArchiveError &e) {
        std::fprintf(err, "sheaf-arc: %s\n", e.what());
        return 1;
    }
    int faults = 0;
    for (const archiver::LzhMemberReport &m : members) {
        std::fprintf(out, "%s  %s\n", shownName(m.storedPath, m.isDirectory).c_str(),
            m.fault.empty() ? "OK" : m.fault.c_str());
        faults += m.fault.empty() ? 0 : 1;
    }
    if (faults == 0)
        std::fprintf(out, "%zu 個のメンバーはすべて正常です\n", members.size());
    else
        std::fprintf(out, "%zu 個のメンバーのうち %d 個に異常があります\n", members.size(), faults);
    return finished(out, err, faults == 0 ? 0 : 1);
}

int listLzhArchive(const char *archive, std::FILE *out, std::FILE *err)
{
    std::vector<archiver::LzhMemberInfo> members;
    try {
        members = archiver::readLzhMembers(archive);
    } catch (const archiver::ArchiveError &e) {
        std::fprintf(err, "sheaf-arc: %s\n", e.what());
        return 1;
    }
    // The header is laid out by hand: printf pads by bytes, not by columns.
    std::fprintf(out, "  元のサイズ       圧縮後 方式  日時                CRC   名前\n");
    uint64_t original = 0, packed = 0;
    for (const archiver::LzhMemberInfo &m : members) {
        std::fprintf(out, "%12llu %12llu %s %s %04X  %s\n", (unsigned long long)m.originalSize,
            (unsigned long long)m.dataSize, escapedName(m.method).c_str(),
            localTime(m.mtime).c_str(), unsigned(m.crc16),
            shownName(m.path, m.isDirectory).c_str());
        original += m.originalSize;
        packed += m.dataSize;
    }
    std::fprintf(out, "%12llu %12llu %zu 個のメンバー\n", (unsigned long long)original,
        (unsigned long long)packed, members.size());
    return finished(out, err, 0);
}

} // namespace sheaf::cli
