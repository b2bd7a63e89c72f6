// writeLzhArchive: kept members of the old archive are copied raw, then each
// new entry is written as header + data. A file's header goes out first with
// placeholder sizes; the data is streamed through the encoder straight into
// the output, and the header is patched once sizes and CRC are known. When
// compressing does not pay, the data is truncated away and the file is read
// again and stored (-lh0-).
#include "archiver/lzh/lzh_archive_writer.h"

#include "archiver/archive_error.h"
#include "archiver/lzh/crc16.h"
#include "archiver/lzh/lzh_archive_reader.h"
#include "archiver/lzh/lzh_chunked_stream.h"
#include "archiver/lzh/lzh_decoder.h"
#include "archiver/lzh/lzh_encoder.h"
#include "archiver/lzh/lzh_header.h"
#include "archiver/lzh/lzh_names.h"
#include "archiver/source_tree.h"
#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <set>

namespace sheaf::archiver {

namespace {

constexpr size_t kReadChunk = 256 * 1024;
constexpr uint64_t kFourGiB = uint64_t(1) << 32;
// Readers of old LZH code keep a path in about 1 KiB.
constexpr size_t kMaxPathBytes = 1024;

void checkCancel(const LzhOptions &options)
{
    archiver::checkCancel(options.cancel);
}

std::string joinFf(const std::vector<std::string> &parts, size_t count)
{
    std::string s;
    for (size_t i = 0; i < count; ++i)
        s += parts[i] + '\xFF';
    return s;
}

// The encoder and the read buffer of this thread, kept from archive to
// archive: a batch makes thousands of small archives, and the encoder's
// tables are far larger than a small file.
LzhEncoder &threadEncoder(LzhMethod method, int level)
{
    thread_local std::unique_ptr<LzhEncoder> encoder;
    thread_local LzhMethod encoderMethod = LzhMethod::Lh5;
    thread_local int encoderLevel = 0;
    if (!encoder || encoderMethod != method || encoderLevel != level) {
        encoder.reset();
        encoder = std::make_unique<LzhEncoder>(method, level);
        encoderMethod = method;
        encoderLevel = level;
    }
    return *encoder;
}

std::vector<uint8_t> &threadReadBuffer()
{
    thread_local std::vector<uint8_t> buffer(kReadChunk);
    return buffer;
}

// The first chunk of a member: one that fits is encoded as a whole.
std::vector<uint8_t> &threadChunkBuffer()
{
    thread_local std::vector<uint8_t> buffer;
    return buffer;
}

class ArchiveWriter
{
public:
    ArchiveWriter(OutputFile &out, const LzhOptions &options)
        : m_out(out)
        , m_options(options)
        , m_buffer(threadReadBuffer())
    {
    }

    void copyKept(const ArchiveInput &existing, const std::vector<LzhMemberInfo> &kept);
    // Returns the size and crc32 of the data written (0 for a folder).
    LzhWrittenMember writeEntry(const ArchiveEntry &entry, const LzhName &name);

private:
    LzhHeaderFields fields(const ArchiveEntry &entry, const LzhName &name, uint64_t size) const;
    void writeFile(SourceFile &in, LzhHeaderFields &f);
    void storeFile(SourceFile &in, LzhHeaderFields &f);
    // Encodes the whole file into the output; returns its size.
    uint64_t encodeFile(SourceFile &in, Crc16 &crc);
    void encodeChunked(SourceFile &in, Crc16 &crc, std::vector<uint8_t> &first, uint64_t &size);
    // A member of at most one chunk, on this thread's encoder.
    void encodeWhole(const uint8_t *data, size_t size);
    // Reads until `size` bytes or the end of the file; returns the count.
    size_t fill(SourceFile &in, Crc16 &crc, uint8_t *data, size_t size);
    // Reads `in` to its end in blocks, handing each block to `use`; returns
    // the size read, with its CRC in `crc`.
    template<class Use>
    uint64_t readThrough(SourceFile &in, Crc16 &crc, Use use);
    void drainEncoder();

    OutputFile &m_out;
    const LzhOptions &m_options;
    std::vector<uint8_t> &m_buffer;
    LzhEncoder *m_encoder = nullptr;
    LzhRestartPoints m_restarts; // of the member being written
};

void ArchiveWriter::copyKept(const ArchiveInput &existing, const std::vector<LzhMemberInfo> &kept)
{
    for (const LzhMemberInfo &m : kept) {
        for (uint64_t done = 0; done < m.totalSize;) {
            checkCancel(m_options);
            const size_t n = size_t(std::min<uint64_t>(m.totalSize - done, kReadChunk));
            existing.read(m.offset + done, m_buffer.data(), n);
            m_out.write(m_buffer.data(), n);
            done += n;
        }
    }
}

LzhHeaderFields ArchiveWriter::fields(
    const ArchiveEntry &entry, const LzhName &name, uint64_t size) const
{
    LzhHeaderFields f;
    const size_t dirCount = entry.isDirectory ? name.components.size() : name.components.size() - 1;
    f.directory = joinFf(name.components, dirCount);
    if (!entry.isDirectory)
        f.name = name.components.back();
    if (f.directory.size() + f.name.size() > kMaxPathBytes)
        throw ArchiveError(
            ErrorCode::TooLarge, "LZH に格納するにはパスが長すぎます: " + entry.storedPath);
    f.unicode = name.unicode;
    f.unicodeName = name.unicodeName;
    f.unicodeDirectory = name.unicodeDirectory;
    f.mtime = uint32_t(std::clamp<int64_t>(entry.mtime, 0, 0xFFFFFFFFll));
    const uint32_t keep = DosReadOnly | DosHidden | DosSystem | DosArchive;
    f.attributes
        = uint16_t(entry.isDirectory ? (entry.attributes & keep & ~DosArchive) | DosDirectory
                                     : entry.attributes & keep);
    f.method = std::string(entry.isDirectory ? kLzhFolder : lzhMethodFacts(m_options.method).id);
    f.wideSizes = !entry.isDirectory && size >= kFourGiB;
    return f;
}

LzhWrittenMember ArchiveWriter::writeEntry(const ArchiveEntry &entry, const LzhName &name)
{
    checkCancel(m_options);
    if (name.components.empty())
        throw ArchiveError(ErrorCode::Internal, "格納する名前が空です: " + entry.source.string());
    LzhWrittenMember written;
    for (const std::string &c : name.components)
        written.rawPath += (written.rawPath.empty() ? "" : "/") + c;
    written.isDirectory = entry.isDirectory;
    if (entry.isDirectory) {
        LzhHeaderFields f = fields(entry, name, 0);
        std::vector<uint8_t> h = buildLzhHeader(f);
        m_out.write(h.data(), h.size());
        return written;
    }
    SourceFile in(entry, m_options.progress);
    LzhHeaderFields f = fields(entry, name, in.size());
    writeFile(in, f);
    written.size = in.bytesRead();
    written.crc32 = in.crc32();
    written.restarts = std::move(m_restarts);
    m_restarts.clear();
    return written;
}

void ArchiveWriter::drainEncoder()
{
    std::vector<uint8_t> &o = m_encoder->output();
    if (!o.empty()) {
        m_out.write(o.data(), o.size());
        o.clear();
    }
}

void ArchiveWriter::writeFile(SourceFile &in, LzhHeaderFields &f)
{
    const uint64_t headerAt = m_out.position();
    const std::vector<uint8_t> placeholder = buildLzhHeader(f);
    m_out.write(placeholder.data(), placeholder.size());
    const uint64_t dataAt = m_out.position();

    Crc16 crc;
    const uint64_t size = encodeFile(in, crc);
    const uint64_t packed = m_out.position() - dataAt;

    // Short streams trip some decoders; a stream no smaller than the data
    // is pointless.
    if (size == 0 || packed >= size || packed < 8) {
        m_restarts.clear();
        m_out.truncate(dataAt);
        in.rewind();
        storeFile(in, f);
    } else {
        f.compressedSize = packed;
        f.originalSize = size;
        f.dataCrc = crc.value();
    }
    if (!f.wideSizes && (f.originalSize >= kFourGiB || f.compressedSize >= kFourGiB))
        throw ArchiveError(ErrorCode::Internal, "LZH の大きさがヘッダーの欄に収まりません");
    const std::vector<uint8_t> header = buildLzhHeader(f);
    if (header.size() != placeholder.size())
        throw ArchiveError(ErrorCode::Internal, "LZH ヘッダーの大きさが変わりました");
    m_out.patch(headerAt, header.data(), header.size());
}

void ArchiveWriter::encodeWhole(const uint8_t *data, size_t size)
{
    if (!m_encoder)
        m_encoder = &threadEncoder(m_options.method, m_options.level);
    m_encoder->reset();
    for (size_t at = 0; at < size; at += kReadChunk) { // output drained as it comes
        m_encoder->feed(data + at, std::min(kReadChunk, size - at));
        drainEncoder();
    }
    m_encoder->finish();
    drainEncoder();
}

size_t ArchiveWriter::fill(SourceFile &in, Crc16 &crc, uint8_t *data, size_t size)
{
    size_t done = 0;
    while (done < size) {
        checkCancel(m_options);
        const size_t n = in.read(data + done, std::min(size - done, kReadChunk));
        if (n == 0)
            break;
        crc.update(data + done, n);
        done += n;
    }
    return done;
}

uint64_t ArchiveWriter::encodeFile(SourceFile &in, Crc16 &crc)
{
    if (m_options.wholeMembers) {
        if (!m_encoder)
            m_encoder = &threadEncoder(m_options.method, m_options.level);
        m_encoder->reset();
        const uint64_t size = readThrough(in, crc, [this](const uint8_t *data, size_t n) {
            m_encoder->feed(data, n);
            drainEncoder();
        });
        m_encoder->finish();
        drainEncoder();
        return size;
    }
    std::vector<uint8_t> &first = threadChunkBuffer();
    first.resize(kLzhChunkSize);
    const size_t n = fill(in, crc, first.data(), first.size());
    if (n < kLzhChunkSize) {
        // At most one chunk (a full one is followed by more, or by nothing:
        // see encodeChunked): one encoder on this thread.
        encodeWhole(first.data(), n);
        return n;
    }
    uint64_t size = n;
    encodeChunked(in, crc, first, size);
    return size;
}

void ArchiveWriter::encodeChunked(
    SourceFile &in, Crc16 &crc, std::vector<uint8_t> &first, uint64_t &size)
{
    const size_t window = size_t(1) << LzhEncoder::methodParams(m_options.method).windowBits;
    std::vector<uint8_t> joined;
    auto drain = [&] {
        if (!joined.empty()) {
            m_out.write(joined.data(), joined.size());
            joined.clear();
        }
    };
    std::unique_ptr<LzhChunkedStream> stream;
    std::vector<uint8_t> current;
    current.swap(first); // the first chunk's buffer goes with it
    size_t history = 0;
    for (;;) {
        // Read the next chunk behind the window before it, to know whether
        // the current one is the last.
        std::vector<uint8_t> next = stream ? stream->buffer() : std::vector<uint8_t>();
        next.resize(window + kLzhChunkSize);
        std::memcpy(next.data(), current.data() + current.size() - window, window);
        const size_t n = fill(in, crc, next.data() + window, kLzhChunkSize);
        size += n;
        next.resize(window + n);
        if (!stream) {
            if (n == 0) {
                // Exactly one chunk: encoded as any member that fits one.
                encodeWhole(current.data(), current.size());
                return;
            }
            stream = std::make_unique<LzhChunkedStream>(m_options.method, m_options.level,
                m_options.threads, m_options.cancel, joined, m_options.chunkSeconds);
        }
        stream->add(std::move(current), history, n == 0);
        drain();
        if (n == 0)
            break;
        current = std::move(next);
        history = window;
        if (n < kLzhChunkSize) {
            stream->add(std::move(current), history, true);
            break;
        }
    }
    stream->finish();
    drain();
    m_restarts = stream->takeRestartPoints();
}

template<class Use>
uint64_t ArchiveWriter::readThrough(SourceFile &in, Crc16 &crc, Use use)
{
    uint64_t size = 0;
    for (;;) {
        checkCancel(m_options);
        const size_t n = in.read(m_buffer.data(), m_buffer.size());
        if (n == 0)
            return size;
        crc.update(m_buffer.data(), n);
        size += n;
        use(m_buffer.data(), n);
    }
}

void ArchiveWriter::storeFile(SourceFile &in, LzhHeaderFields &f)
{
    // Read again: what is stored is what this pass reads, CRC and size included.
    Crc16 crc;
    const uint64_t size
        = readThrough(in, crc, [this](const uint8_t *data, size_t n) { m_out.write(data, n); });
    f.method = "-lh0-";
    f.compressedSize = f.originalSize = size;
    f.dataCrc = crc.value();
}

// The kept members as the new archive must hold them. A kept member is
// copied as it is, so its data is decoded and its CRC checked first: a
// damaged member would make the new archive unreadable.
std::vector<LzhWrittenMember> keptMembers(
    const ArchiveInput &existing, const std::vector<LzhMemberInfo> &kept, const LzhOptions &options)
{
    std::vector<LzhWrittenMember> members;
    if (kept.empty())
        return members;
    const std::vector<LzhMemberReport> reports
        = decodeLzhMembers(existing, kept, {}, options.cancel);
    if (reports.size() != kept.size())
        throw ArchiveError(
            ErrorCode::Internal, "残す LZH メンバーが途中までしか検査されていません");
    for (size_t i = 0; i < kept.size(); ++i) {
        const LzhMemberReport &r = reports[i];
        if (!r.fault.empty())
            throw ArchiveError(ErrorCode::NotAnArchive,
                "既存の書庫のメンバーが壊れているため追加できません: " + existing.name() + ": "
                    + r.storedPath + ": " + r.fault);
        LzhWrittenMember w;
        w.rawPath = kept[i].rawPath;
        w.isDirectory = kept[i].isDirectory;
        w.size = r.originalSize;
        w.crc32 = r.crc32;
        members.push_back(std::move(w));
    }
    return members;
}

} // namespace

std::vector<LzhWrittenMember> writeLzhArchive(const std::filesystem::path &existing,
    const std::set<std::string> &replaced, const ArchiveEntries &entries, OutputFile &out,
    const LzhOptions &options)
{
    // The old archive is opened once: the members found, checked and copied
    // are those of one file.
    std::optional<ArchiveInput> old;
    std::vector<LzhMemberInfo> kept;
    if (!existing.empty()) {
        old.emplace(existing);
        for (LzhMemberInfo &m : readLzhMembers(*old))
            if (!replaced.count(m.path))
                kept.push_back(std::move(m));
    }

    LzhNamePlanner planner;
    for (const LzhMemberInfo &m : kept)
        planner.keep(m.path, m.rawPath);
    for (const ArchiveEntry &e : entries)
        planner.reserve(e.storedPath);
    std::vector<LzhName> names;
    for (const ArchiveEntry &e : entries)
        names.push_back(planner.plan(e.storedPath, e.isDirectory));

    std::vector<LzhWrittenMember> written;
    ArchiveWriter writer(out, options);
    if (!kept.empty()) {
        written = keptMembers(*old, kept, options);
        writer.copyKept(*old, kept);
    }
    for (size_t i = 0; i < entries.size(); ++i)
        written.push_back(writer.writeEntry(entries[i], names[i]));
    out.writeByte(0); // end marker
    return written;
}

} // namespace sheaf::archiver
