#pragma once
// libarchive writes every ZIP member as a stream: a local header without CRC
// and sizes, the data, then a 16-byte data descriptor with them. Our output
// is seekable, so the descriptor is not needed: this filter sits between
// libarchive and OutputFile, drops each descriptor, writes its values into
// the member's local header (clearing the "sizes follow" flag) and, at the
// end, moves the central directory's offsets by the bytes dropped. On a
// batch of small files that is 16 bytes a member, about 1 % of the archive.
//
// Members that libarchive writes with Zip64 keep their descriptor. Anything
// that does not look exactly as expected is passed through unchanged; a
// central directory that cannot be read after descriptors were dropped fails
// the run (Internal) rather than leave offsets wrong.
//
// When an add keeps members of an older archive, they are copied into the
// output before libarchive's first byte (keep()); their central directory
// records then go before libarchive's, and the end records are written anew,
// with the old archive's comment.

#include "archiver/output_file.h"

#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

namespace sheaf::archiver {

class ZipLengthPatcher
{
public:
    explicit ZipLengthPatcher(OutputFile &out)
        : m_out(out)
    {
    }

    // Members already copied into the output before libarchive starts:
    // their central directory records (offsets as they are in the output),
    // how many, and the archive comment.
    void keep(std::vector<uint8_t> central, uint64_t count, std::vector<uint8_t> comment);

    // Everything libarchive writes goes through here.
    void write(const void *data, size_t size);

    // Calls around libarchive's: archive_write_header, archive_write_data,
    // archive_write_finish_entry, archive_write_close.
    void beforeHeader(uint64_t size);
    void afterHeader();
    void beforeFinish();
    void afterFinish();
    void beforeClose();
    void afterClose();

private:
    enum class Phase { Header, Data, Finish, Close };
    struct Member
    {
        uint64_t offset; // where its local header really is
        bool patched;
    };

    // Moves the offsets of libarchive's central directory records in
    // m_held; returns their size and count.
    std::pair<size_t, uint64_t> patchCentralDirectory(uint64_t libraryStart);
    void writeEndRecords(size_t librarySize, uint64_t libraryCount);

    OutputFile &m_out;
    Phase m_phase = Phase::Data;
    uint64_t m_size = 0; // the member's size as given
    uint64_t m_headerStart = 0;
    uint64_t m_dataStart = 0;
    std::vector<uint8_t> m_header; // the local header's fixed part
    std::vector<uint8_t> m_held; // finish or close output, held back
    uint64_t m_dropped = 0; // bytes dropped so far
    uint64_t m_prefix = 0; // bytes written before libarchive's first
    bool m_rebuildEnd = false;
    std::vector<uint8_t> m_keptCentral, m_comment;
    uint64_t m_keptCount = 0;
    // Local header offsets as libarchive counts them -> the real ones.
    std::unordered_map<uint64_t, Member> m_members;
};

} // namespace sheaf::archiver
