#include "archiver/cab/cab_archive_writer.h"

#include "archiver/archive_error.h"
#include "archiver/cab/cab_output_stream.h"
#include "archiver/cab/cab_source_file.h"

#include <libgcab.h>
#include <memory>
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
    std::string text() const { return m_error ? m_error->message : "unknown failure"; }
    bool diskFull() const { return g_error_matches(m_error, G_IO_ERROR, G_IO_ERROR_NO_SPACE); }

private:
    GError *m_error = nullptr;
};

constexpr uint32_t kCabAttributeMask = DosReadOnly | DosHidden | DosSystem | DosArchive;

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

gboolean chooseKept(GCabFile *file, gpointer data)
{
    auto *context = static_cast<ExtractContext *>(data);
    if (context->cancel && context->cancel->load(std::memory_order_relaxed))
        return FALSE;
    const std::string name = gcab_file_get_name(file);
    if (context->replaced->count(slashed(name)) || !context->seen.insert(name).second)
        return FALSE;
    const std::string flat = "m" + std::to_string(context->kept.size() + 1);
    gcab_file_set_extract_name(file, flat.c_str());
    KeptMember member;
    member.name = name;
    member.extracted = context->scratch / flat;
    GDateTime *dt = gcab_file_get_date_time(file);
    member.dateTime.reset(dt ? dt : g_date_time_new_local(1980, 1, 1, 0, 0, 0));
    member.attributes = gcab_file_get_attributes(file) & kCabAttributeMask;
    context->kept.push_back(std::move(member));
    return TRUE;
}

std::vector<KeptMember> extractKept(const std::filesystem::path &existing,
    const std::set<std::string> &replaced, const std::filesystem::path &scratch,
    const std::atomic<bool> *cancel)
{
    auto notACabinet = [&](const std::string &why) {
        return ArchiveError(ErrorCode::NotAnArchive,
            "existing file is not a readable cabinet (" + why + "): " + existing.string());
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
                "cannot keep the old members of " + existing.string() + ": " + error.text());
        throw notACabinet(error.text());
    }
    if (cancel && cancel->load(std::memory_order_relaxed))
        throw ArchiveError(ErrorCode::Cancelled, "cancelled");
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

    void add(const std::string &name, const std::filesystem::path &source, GDateTime *dateTime,
        uint32_t attributes)
    {
        if (name.size() > kCabMaxNameBytes)
            throw ArchiveError(
                ErrorCode::TooLarge, "name too long for a cabinet (over 255 bytes): " + name);
        if (++m_files > kCabMaxFiles)
            throw ArchiveError(ErrorCode::TooLarge, "a cabinet holds at most 65535 files");
        auto state = std::make_shared<CabSourceState>();
        state->path = source;
        state->progress = m_progress;
        state->cancel = m_cancel;
        state->failure = &m_failure;
        GPtr<GFile> file(newCabSourceFile(state));
        m_bytes += state->size;
        if (m_bytes > kCabMaxFolderBytes)
            throw ArchiveError(ErrorCode::TooLarge,
                "a cabinet holds at most 2 GiB of data; too large at " + source.string());
        m_members.emplace_back(name, state);
        GPtr<GCabFile> member(gcab_file_new_with_file(name.c_str(), file.get()));
        GErrorHolder error;
        if (!gcab_folder_add_file(m_folder.get(), member.get(), FALSE, nullptr, error.out()))
            throw ArchiveError(
                ErrorCode::ReadFailed, "cannot add " + source.string() + ": " + error.text());
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
        GPtr<GOutputStream> stream(newCabOutputStream(out, &m_failure));
        if (!gcab_cabinet_write_simple(
                cabinet.get(), stream.get(), nullptr, nullptr, nullptr, error.out())) {
            if (m_failure)
                std::rethrow_exception(m_failure);
            throw ArchiveError(ErrorCode::ReadFailed, "CAB writer: " + error.text());
        }
    }

    // What each member got, in the order written.
    ArchivedMembers written() const
    {
        ArchivedMembers members;
        for (const auto &[name, state] : m_members) {
            if (!state->done)
                throw ArchiveError(
                    ErrorCode::Internal, "the CAB writer did not read all of " + name);
            ArchivedMember m;
            m.storedPath = slashed(name);
            m.size = state->bytesRead;
            m.crc32 = state->crc32;
            members.push_back(std::move(m));
        }
        return members;
    }

private:
    GPtr<GCabFolder> m_folder;
    const std::atomic<bool> *m_cancel;
    ReadProgress *m_progress;
    std::exception_ptr m_failure;
    std::vector<std::pair<std::string, std::shared_ptr<CabSourceState>>> m_members;
    uint32_t m_files = 0;
    uint64_t m_bytes = 0;
};

} // namespace

ArchivedMembers writeCabArchive(const std::filesystem::path &existing,
    const ArchiveEntries &entries, OutputFile &out,
    const std::function<std::filesystem::path()> &makeScratchFolder,
    const std::atomic<bool> *cancel, ReadProgress *progress)
{
    CabBuilder builder(cancel, progress);
    std::vector<KeptMember> kept;
    if (!existing.empty()) {
        std::set<std::string> replaced;
        for (const auto &entry : entries)
            if (!entry.isDirectory)
                replaced.insert(entry.storedPath);
        kept = extractKept(existing, replaced, makeScratchFolder(), cancel);
        for (const auto &member : kept)
            builder.add(member.name, member.extracted, member.dateTime.get(), member.attributes);
    }
    for (const auto &entry : entries) {
        if (entry.isDirectory)
            continue; // a cabinet has no folder entries
        DateTimePtr dt = dosDateTime(entry.mtime);
        builder.add(entry.storedPath, entry.source, dt.get(), entry.attributes & kCabAttributeMask);
    }
    if (builder.empty())
        throw ArchiveError(ErrorCode::NothingMatched,
            "no file to put in the cabinet (a cabinet cannot hold empty folders)");
    builder.write(out);
    return builder.written();
}

} // namespace sheaf::archiver
