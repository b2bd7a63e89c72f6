#include "archiver/libarchive_read_back.h"

#include "archiver/archive_error.h"
#include "base/name_bytes.h"
#include "base/platform.h"

#include <algorithm>
#include <archive.h>
#include <archive_entry.h>
#include <memory>
#include <set>
#include <vector>
#include <zlib.h>

namespace sheaf::archiver {

namespace {

struct ReaderFree
{
    void operator()(struct archive *a) const { archive_read_free(a); }
};

enum class Reading { Written, Existing };

ArchivedMembers readWithLibarchive(const std::filesystem::path &path, const std::string &archive,
    LibarchiveFormat format, const FormatContext &context, Reading reading,
    const std::vector<std::optional<std::string>> &storedNames = {})
{
    const std::set<std::string> &replaced = context.replaced;
    // Names come back as UTF-8 in every process locale.
    const platform::Utf8CharacterSet utf8Names;
    std::unique_ptr<struct archive, ReaderFree> reader(archive_read_new());
    struct archive *r = reader.get();
    if (!r)
        throw ArchiveError(ErrorCode::Internal, "libarchive: メモリが足りません");
    if (format == LibarchiveFormat::Zip)
        archive_read_support_format_zip_seekable(r);
    else
        archive_read_support_format_cab(r);
    auto failed = [&](const std::string &what) {
        const char *text = archive_error_string(r);
        const std::string detail = what + (text ? std::string(": ") + text : std::string());
        if (reading == Reading::Existing)
            return ArchiveError(ErrorCode::NotAnArchive,
                "既存の書庫に読めないメンバーがあるため追加できません: " + archive + ": " + detail);
        return ArchiveError(
            ErrorCode::VerifyFailed, "書いた書庫を読み返せません: " + archive + ": " + detail);
    };
    if (archive_read_open_filename(r, path.c_str(), 256 * 1024) != ARCHIVE_OK)
        throw failed("開けません");

    ArchivedMembers members;
    std::vector<uint8_t> block(256 * 1024);
    struct archive_entry *entry = nullptr;
    int rc;
    // A warning is a failure: libarchive warns of a local header whose CRC
    // or sizes differ from the directory's, and reads on.
    while ((rc = archive_read_next_header(r, &entry)) == ARCHIVE_OK) {
        context.checkCancel();
        ArchivedMember m;
        const char *utf8 = archive_entry_pathname_utf8(entry);
        const char *raw = archive_entry_pathname(entry);
        m.storedPath = utf8 ? utf8 : raw ? raw : "";
        for (char &c : m.storedPath)
            if (format == LibarchiveFormat::Cab && c == '\\')
                c = '/';
        while (!m.storedPath.empty() && m.storedPath.back() == '/')
            m.storedPath.pop_back();
        // A member the add replaces need not be readable: it goes.
        if (reading == Reading::Existing && replaced.count(m.storedPath))
            continue;
        if (reading == Reading::Existing && archive_entry_is_encrypted(entry))
            throw ArchiveError(ErrorCode::NotAnArchive,
                "暗号化されたメンバーがあるため追加できません: " + archive + ": "
                    + escapedName(m.storedPath));
        m.isDirectory = archive_entry_filetype(entry) == AE_IFDIR;
        m.isLink = archive_entry_filetype(entry) == AE_IFLNK;
        for (;;) {
            context.checkCancel();
            const la_ssize_t n = archive_read_data(r, block.data(), block.size());
            if (n < 0)
                throw failed(escapedName(m.storedPath));
            if (n == 0)
                break;
            m.crc32 = uint32_t(::crc32_z(m.crc32, block.data(), size_t(n)));
            m.size += uint64_t(n);
        }
        members.push_back(std::move(m));
    }
    if (rc != ARCHIVE_EOF)
        throw failed("壊れています");
    if (reading == Reading::Existing)
        return members; // the data is what counts here, not the names

    // A name is compared as its stored bytes (libarchive gives a Unicode
    // name in form C, a code-page name converted, and an Info-ZIP Unicode
    // path field's name instead of the stored one). Members are taken in the
    // directory's order, which is the order libarchive read them in for
    // every archive written here; were it not, the data would not match.
    if (storedNames.size() != members.size())
        throw failed("目録が読めません");
    for (size_t i = 0; i < members.size(); ++i) {
        if (!storedNames[i])
            continue;
        std::string name = *storedNames[i];
        while (!name.empty() && name.back() == '/')
            name.pop_back();
        members[i].storedPath = std::move(name);
    }
    return members;
}

} // namespace

ArchivedMembers readBackWithLibarchive(const ArchiveToRead &archive, LibarchiveFormat format,
    const FormatContext &context, const std::vector<std::optional<std::string>> &storedNames)
{
    return readWithLibarchive(
        archive.path, archive.name, format, context, Reading::Written, storedNames);
}

ArchivedMembers readExistingWithLibarchive(
    const std::filesystem::path &archive, LibarchiveFormat format, const FormatContext &context)
{
    return readWithLibarchive(archive, archive.string(), format, context, Reading::Existing);
}

} // namespace sheaf::archiver
