#include "archiver/cab/cab_archive_writer.h"

#include "archiver/archive_error.h"
#include "archiver/cab/cab_output_stream.h"
#include "archiver/cab/cab_records.h"
#include "archiver/cab/cab_source_file.h"
#include "archiver/source_tree.h"
#include "base/cp932.h"
#include "base/little_endian.h"

#include <cstring>
#include <libgcab.h>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace sheaf::archiver {

namespace {

struct GObjectUnref
{
    void operator()(gpointer object) const { g_object_unref(object); }
};
template<typename T>
using GPtr = std::unique_ptr<T, GObjectUnref>;

struct DateTimeUnref
{
    void operator()(GDateTime *dt) const { g_date_time_unref(dt); }
};
using DateTimePtr = std::unique_ptr<GDateTime, DateTimeUnref>;

// A GError as the reason of an ArchiveError.
class GErrorHolder
{
public:
    GError **out() { return &m_error; }
    ~GErrorHolder()
    {
        if (m_error)
            g_error_free(m_error);
    }
    std::string text() const { return m_error ? m_error->message : "原因不明の失敗です"; }
    bool diskFull() const { return g_error_matches(m_error, G_IO_ERROR, G_IO_ERROR_NO_SPACE); }

private:
    GError *m_error = nullptr;
};

constexpr uint32_t kCabAttributeMask = DosReadOnly | DosHidden | DosSystem | DosArchive;
// The name is UTF-8; without it, the name is in the reader's code page.
constexpr uint16_t kCabNameIsUtf8 = 0x80;

// Cabinets hold DOS times (local time, 1980 to 2107).
DateTimePtr dosDateTime(int64_t mtime)
{
    DateTimePtr dt(g_date_time_new_from_unix_local(mtime));
    DateTimePtr earliest(g_date_time_new_local(1980, 1, 1, 0, 0, 0));
    DateTimePtr latest(g_date_time_new_local(2107, 12, 31, 23, 59, 58));
    if (!dt || g_date_time_compare(dt.get(), earliest.get()) < 0)
        return earliest;
    if (g_date_time_compare(dt.get(), latest.get()) > 0)
        return latest;
    return dt;
}

// A member kept from the old cabinet, extracted to a scratch file.
struct KeptMember
{
    std::string name; // as stored, '\' separators
    std::filesystem::path extracted;
    DateTimePtr dateTime;
    uint32_t attributes = 0;
    bool utf8Name = false; // had kCabNameIsUtf8
};

struct ExtractContext
{
    const std::set<std::string> *replaced;
    std::filesystem::path scratch;
    std::vector<KeptMember> kept;
    std::set<std::string> seen;
    const std::atomic<bool> *cancel;
};

std::string slashed(std::string name)
{
    for (char &c : name)
        if (c == '\\')
            c = '/';
    return name;
}

bool isAscii(const std::string &s)
{
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

gboolean chooseKept(GCabFile *file, gpointer data)
{
    auto *context = static_cast<ExtractContext *>(data);
    if (context->cancel && context->cancel->load(std::memory_order_relaxed))
        return FALSE; // gcab's callback: the cancel is reported after it returns
    const std::string name = gcab_file_get_name(file);
    const bool utf8Name = (gcab_file_get_attributes(file) & kCabNameIsUtf8) != 0;
    // A name without the UTF-8 mark is code page 932 here, as Japanese
    // Windows wrote it; a new member of the same path replaces it.
    const std::string path = utf8Name || isAscii(name) ? name : cp932ToUtf8(name);
    if (context->replaced->count(slashed(path)) || !context->seen.insert(name).second)
        return FALSE;
    const std::string flat = "m" + std::to_string(context->kept.size() + 1);
    gcab_file_set_extract_name(file, flat.c_str());
    KeptMember member;
    member.name = name;
    member.extracted = context->scratch / flat;
    GDateTime *dt = gcab_file_get_date_time(file);
    member.dateTime.reset(dt ? dt : g_date_time_new_local(1980, 1, 1, 0, 0, 0));
    member.attributes = gcab_file_get_attributes(file) & kCabAttributeMask;
    member.utf8Name = utf8Name;
    context->kept.push_back(std::move(member));
    return TRUE;
}

std::vector<KeptMember> extractKept(const std::filesystem::path &existing,
    const std::set<std::string> &replaced, const std::filesystem::path &scratch,
    const std::atomic<bool> *cancel)
{
    auto notACabinet = [&](const std::string &why) {
        return ArchiveError(ErrorCode::NotAnArchive,
            "既存のファイルは読める CAB 書庫ではありません (" + why + "): " + existing.string());
    };
    GPtr<GFile> file(g_file_new_for_path(existing.c_str()));
    GErrorHolder error;
    GPtr<GFileInputStream> in(g_file_read(file.get(), nullptr, error.out()));
    if (!in)
        throw notACabinet(error.text());
    GPtr<GCabCabinet> cabinet(gcab_cabinet_new());
    if (!gcab_cabinet_load(cabinet.get(), G_INPUT_STREAM(in.get()), nullptr, error.out()))
        throw notACabinet(error.text());
    ExtractContext context {&replaced, scratch, {}, {}, cancel};
    GPtr<GFile> target(g_file_new_for_path(scratch.c_str()));
    if (!gcab_cabinet_extract_simple(
            cabinet.get(), target.get(), chooseKept, &context, nullptr, error.out())) {
        if (error.diskFull()) // the kept members go to a scratch folder beside the archive
            throw ArchiveError(ErrorCode::WriteFailed,
                "既存の書庫のメンバーを残せません: " + existing.string() + ": " + error.text());
        throw notACabinet(error.text());
    }
    checkCancel(cancel);
    return std::move(context.kept);
}

class CabBuilder
{
public:
    CabBuilder(const std::atomic<bool> *cancel, ReadProgress *progress)
        : m_folder(gcab_folder_new(GCAB_COMPRESSION_MSZIP))
        , m_cancel(cancel)
        , m_progress(progress)
    {
    }

    // `keptUtf8Name`: for a kept member, whether its name had the UTF-8 mark
    // (libgcab sets it on every name that is not ASCII; it is put back as it
    // was once the cabinet is written).
    void add(const std::string &name, const ArchiveEntry &source, GDateTime *dateTime,
        uint32_t attributes, std::optional<bool> keptUtf8Name = {})
    {
        if (name.size() > kCabMaxNameBytes)
            throw ArchiveError(ErrorCode::TooLarge,
                "CAB に格納するには名前が長すぎます (255 バイトを超えています): " + name);
        if (++m_files > kCabMaxFiles)
            throw ArchiveError(ErrorCode::TooLarge, "CAB 書庫に入るファイルは 65535 個までです");
        auto state = std::make_shared<CabSourceState>();
        state->entry = source;
        state->progress = m_progress;
        state->cancel = m_cancel;
        state->failure = &m_failure;
        GPtr<GFile> file(newCabSourceFile(state));
        m_bytes += state->size;
        m_nameBytes += name.size() + 1;
        if (keptUtf8Name)
            m_keptUtf8Names[name] = *keptUtf8Name;
        if (m_bytes > kCabMaxFolderBytes)
            throw ArchiveError(ErrorCode::TooLarge,
                "CAB 書庫に入るデータは 2 GiB までです。ここで超えました: "
                    + source.source.string());
        auto hints = std::make_shared<CabReadHints>();
        hints->date = uint16_t((g_date_time_get_year(dateTime) - 1980) << 9
            | g_date_time_get_month(dateTime) << 5 | g_date_time_get_day_of_month(dateTime));
        hints->time = uint16_t(g_date_time_get_hour(dateTime) << 11
            | g_date_time_get_minute(dateTime) << 5 | g_date_time_get_second(dateTime) / 2);
        const bool utf8Name = keptUtf8Name ? *keptUtf8Name : !isAscii(name);
        hints->attributes = uint16_t(attributes | (utf8Name ? kCabNameIsUtf8 : 0));
        m_members.push_back({name, state, std::move(hints)});
        GPtr<GCabFile> member(gcab_file_new_with_file(name.c_str(), file.get()));
        GErrorHolder error;
        if (!gcab_folder_add_file(m_folder.get(), member.get(), FALSE, nullptr, error.out()))
            throw ArchiveError(ErrorCode::ReadFailed,
                "ファイルを追加できません: " + source.source.string() + ": " + error.text());
        gcab_file_set_date_time(member.get(), dateTime);
        gcab_file_set_attributes(member.get(), attributes);
    }

    bool empty() const { return m_files == 0; }

    void write(OutputFile &out)
    {
        GPtr<GCabCabinet> cabinet(gcab_cabinet_new());
        GErrorHolder error;
        if (!gcab_cabinet_add_folder(cabinet.get(), m_folder.get(), error.out()))
            throw ArchiveError(ErrorCode::Internal, "libgcab: " + error.text());
        const uint64_t start = out.position();
        // Header, one folder entry and the file entries, with room for
        // reserved fields.
        std::vector<uint8_t> headers(
            m_keptUtf8Names.empty() ? 0 : 4096 + 16 * size_t(m_files) + m_nameBytes);
        GPtr<GOutputStream> stream(newCabOutputStream(out, &m_failure, &headers));
        if (!gcab_cabinet_write_simple(
                cabinet.get(), stream.get(), nullptr, nullptr, nullptr, error.out())) {
            if (m_failure)
                std::rethrow_exception(m_failure);
            throw ArchiveError(ErrorCode::ReadFailed, "CAB を書けません: " + error.text());
        }
        stream.reset();
        restoreNameMarks(out, start, headers);
    }

    // What each member got, in the order written.
    ArchivedMembers written() const
    {
        ArchivedMembers members;
        for (const auto &[name, state, hints] : m_members) {
            if (!state->done)
                throw ArchiveError(ErrorCode::Internal,
                    "CAB の書き込みで最後まで読まれなかったファイルがあります: " + name);
            ArchivedMember m;
            m.storedPath = slashed(name);
            m.size = state->bytesRead;
            m.crc32 = state->crc32;
            m.hints = hints;
            members.push_back(std::move(m));
        }
        return members;
    }

private:
    void restoreNameMarks(OutputFile &out, uint64_t start, const std::vector<uint8_t> &h) const;

    GPtr<GCabFolder> m_folder;
    const std::atomic<bool> *m_cancel;
    ReadProgress *m_progress;
    std::exception_ptr m_failure;
    struct Member
    {
        std::string name;
        std::shared_ptr<CabSourceState> state;
        std::shared_ptr<CabReadHints> hints; // what its file entry must hold
    };
    std::vector<Member> m_members;
    uint32_t m_files = 0;
    uint64_t m_bytes = 0;
    size_t m_nameBytes = 0;
    std::map<std::string, bool> m_keptUtf8Names;
};

// Walks the file entries (CFFILE: size, offset, folder, date, time,
// attributes, name) and puts each kept member's UTF-8 mark back.
void CabBuilder::restoreNameMarks(
    OutputFile &out, uint64_t start, const std::vector<uint8_t> &h) const
{
    if (m_keptUtf8Names.empty())
        return;
    auto le = [&](size_t at, int bytes) {
        return uint32_t(leField(h.data() + at, bytes));
    };
    auto unexpected = [](const char *what) {
        return ArchiveError(
            ErrorCode::Internal, std::string("CAB のファイル項目が想定と違います (") + what + ")");
    };
    if (h.size() < 36 || h[0] != 'M' || h[1] != 'S' || h[2] != 'C' || h[3] != 'F')
        throw unexpected("ヘッダー");
    size_t at = le(16, 4);
    const uint32_t files = le(28, 2);
    for (uint32_t i = 0; i < files; ++i) {
        if (at + 16 > h.size())
            throw unexpected("ヘッダーの写しを越えています");
        const auto *nameStart = reinterpret_cast<const char *>(h.data() + at + 16);
        const size_t room = h.size() - at - 16;
        const size_t length = strnlen(nameStart, room);
        if (length == room)
            throw unexpected("名前");
        auto kept = m_keptUtf8Names.find(std::string(nameStart, length));
        if (kept != m_keptUtf8Names.end()) {
            uint16_t attributes = uint16_t(le(at + 14, 2) & ~kCabNameIsUtf8);
            if (kept->second)
                attributes |= kCabNameIsUtf8;
            uint8_t field[2];
            putLe16(field, attributes);
            out.patch(start + at + 14, field, 2);
        }
        at += 16 + length + 1;
    }
}

} // namespace

ArchivedMembers writeCabArchive(const std::filesystem::path &existing,
    const ArchiveEntries &entries, OutputFile &out, const FormatContext &context,
    const ArchivedMembers *oldMembers)
{
    CabBuilder builder(context.cancel, context.progress);
    std::vector<KeptMember> kept;
    if (!existing.empty()) {
        kept = extractKept(existing, context.replaced, context.makeScratchFolder(), context.cancel);
        for (const auto &member : kept) {
            ArchiveEntry extracted;
            extracted.source = member.extracted;
            builder.add(
                member.name, extracted, member.dateTime.get(), member.attributes, member.utf8Name);
        }
    }
    for (const auto &entry : entries) {
        if (entry.isDirectory)
            continue; // a cabinet has no folder entries
        DateTimePtr dt = dosDateTime(entry.mtime);
        builder.add(entry.storedPath, entry, dt.get(), entry.attributes & kCabAttributeMask);
    }
    if (builder.empty())
        throw ArchiveError(ErrorCode::NothingMatched,
            "CAB 書庫に入れるファイルがありません (CAB 書庫は空のフォルダを入れられません)");
    builder.write(out);
    ArchivedMembers written = builder.written();
    // libgcab does not check that a stored block holds the bytes it claims:
    // a damaged old cabinet would come out as a sound one with other bytes
    // in its members. Each kept member, as written, must be one that an
    // independent reader found in the old cabinet.
    if (oldMembers) {
        std::multiset<std::pair<uint64_t, uint32_t>> found;
        for (const auto &m : *oldMembers)
            found.emplace(m.size, m.crc32);
        for (size_t i = 0; i < kept.size() && i < written.size(); ++i) {
            const auto it = found.find({written[i].size, written[i].crc32});
            if (it == found.end())
                throw ArchiveError(ErrorCode::NotAnArchive,
                    "既存の書庫のメンバーが壊れているため追加できません: " + existing.string()
                        + ": " + kept[i].name);
            found.erase(it);
        }
    }
    return written;
}

} // namespace sheaf::archiver
