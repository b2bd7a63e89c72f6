// LZH in the pipeline: written by our encoder (lzh_archive_writer), read back
// by our decoder, which shares no code with the writer. Names are compared
// as the code page 932 bytes the headers hold.
#include "archiver/archive_error.h"
#include "archiver/archive_format.h"
#include "archiver/lzh/lzh_archive_writer.h"
#include "archiver/lzh/lzh_decoder.h"
#include "base/name_bytes.h"

namespace sheaf::archiver {

namespace {

constexpr uint64_t kReadWhole = 4 << 20;

struct LzhReadHints final : ReadHints
{
    LzhRestartPoints restarts;
};

class LzhFormat final : public ArchiveFormat
{
public:
    ArchivedMembers write(const std::filesystem::path &existing, const ArchiveEntries &entries,
        OutputFile &out, const FormatContext &context) const override
    {
        LzhOptions lzh;
        lzh.method = context.request.lzhMethod;
        lzh.level = context.request.lzhLevel;
        lzh.cancel = context.cancel;
        lzh.progress = context.progress;
        lzh.threads = context.threads;
        ArchivedMembers members;
        for (LzhWrittenMember &w : writeLzhArchive(existing, context.replaced, entries, out, lzh)) {
            ArchivedMember m;
            m.storedPath = std::move(w.rawPath);
            m.isDirectory = w.isDirectory;
            m.dataKnown = w.dataKnown;
            m.size = w.size;
            m.crc32 = w.crc32;
            if (!w.restarts.empty()) {
                auto hints = std::make_shared<LzhReadHints>();
                hints->restarts = std::move(w.restarts);
                m.hints = std::move(hints);
            }
            members.push_back(std::move(m));
        }
        return members;
    }

    ArchivedMembers readBack(const ArchiveToRead &archive, const FormatContext &context,
        const ArchivedMembers &written) const override
    {
        // A member of several chunks is decoded in pieces on the threads the
        // archive may use.
        LzhParallelDecode parallel;
        parallel.threads = context.threads;
        for (const ArchivedMember &w : written) {
            const auto *hints = dynamic_cast<const LzhReadHints *>(w.hints.get());
            parallel.members.push_back(hints ? &hints->restarts : nullptr);
        }
        ArchivedMembers members;
        std::vector<LzhMemberReport> reports;
        try {
            // A small archive (most of a batch) is read in one call.
            const ArchiveInput file(archive.bytes, archive.name);
            if (archive.bytes.size() <= kReadWhole) {
                thread_local std::vector<uint8_t> bytes;
                bytes.resize(size_t(archive.bytes.size()));
                file.read(0, bytes.data(), bytes.size());
                reports = decodeLzhBytes(
                    bytes.data(), bytes.size(), archive.name, {}, context.cancel, &parallel);
            } else {
                reports = decodeLzhArchive(file, {}, context.cancel, &parallel);
            }
        } catch (const ArchiveError &e) {
            if (e.code() == ErrorCode::Cancelled)
                throw;
            throw ArchiveError(
                ErrorCode::VerifyFailed, std::string("書いた書庫を読み返せません: ") + e.what());
        }
        for (LzhMemberReport &r : reports) {
            if (!r.fault.empty())
                throw ArchiveError(ErrorCode::VerifyFailed,
                    "書いた書庫を読み返せません: " + archive.name + ": " + escapedName(r.storedPath)
                        + ": " + r.fault);
            ArchivedMember m;
            m.storedPath = std::move(r.rawName);
            while (!m.storedPath.empty() && m.storedPath.back() == '/')
                m.storedPath.pop_back();
            m.isDirectory = r.isDirectory;
            m.size = r.originalSize;
            m.crc32 = r.crc32;
            members.push_back(std::move(m));
        }
        return members;
    }
};

} // namespace

const ArchiveFormat &lzhFormat()
{
    static const LzhFormat format;
    return format;
}

} // namespace sheaf::archiver
