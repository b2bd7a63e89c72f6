#include "archiver/archive_format.h"

#include "archiver/archive_error.h"

#include <cstdio>

namespace sheaf::archiver {

void FormatContext::checkCancel() const
{
    archiver::checkCancel(cancel);
}

namespace {

std::string describe(const ArchivedMember &m)
{
    if (m.isDirectory && m.size == 0 && m.crc32 == 0)
        return m.storedPath + " (フォルダ)"; // a folder that holds data says so below
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08x", unsigned(m.crc32));
    return m.storedPath + " (" + (m.isDirectory ? "フォルダ, " : "") + std::to_string(m.size)
        + " バイト, crc32 " + crc + ")";
}

} // namespace

std::string compareMembers(const ArchivedMembers &written, const ArchivedMembers &read)
{
    const size_t common = std::min(written.size(), read.size());
    for (size_t i = 0; i < common; ++i) {
        const ArchivedMember &w = written[i], &r = read[i];
        const bool data = w.dataKnown && r.dataKnown && !w.isLink && !r.isLink;
        if (w.storedPath != r.storedPath || w.isDirectory != r.isDirectory || w.isLink != r.isLink
            || (data && (w.size != r.size || w.crc32 != r.crc32)))
            return "書いたはずの " + describe(w) + " が " + describe(r) + " として読めました";
    }
    if (written.size() > common)
        return "書いたはずの " + describe(written[common]) + " が読めません";
    if (read.size() > common)
        return "書いていない " + describe(read[common]) + " が入っています";
    return {};
}

} // namespace sheaf::archiver
