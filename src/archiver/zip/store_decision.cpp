#include "archiver/zip/store_decision.h"

#include "archiver/archive_error.h"

#include <cmath>
#include <zlib.h>

namespace sheaf::archiver {

namespace {

// Counts the deflated size of what is fed in; the output is thrown away.
// One per thread, reset between members: setting up deflate costs more than
// compressing a small file.
class DeflateCounter
{
public:
    static DeflateCounter &fresh()
    {
        thread_local DeflateCounter counter;
        counter.reset();
        return counter;
    }
    ~DeflateCounter() { deflateEnd(&m_stream); }
    void feed(const uint8_t *data, size_t size, bool last)
    {
        m_stream.next_in = const_cast<Bytef *>(data);
        m_stream.avail_in = uInt(size);
        int rc;
        do {
            m_stream.next_out = m_scratch;
            m_stream.avail_out = sizeof m_scratch;
            rc = deflate(&m_stream, last ? Z_FINISH : Z_NO_FLUSH);
            m_out += sizeof m_scratch - m_stream.avail_out;
        } while (m_stream.avail_out == 0 || (last && rc != Z_STREAM_END));
    }
    uint64_t deflatedSize() const { return m_out; }

private:
    DeflateCounter()
    {
        if (deflateInit2(&m_stream, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            throw ArchiveError(ErrorCode::Internal, "zlib: deflate を始められません");
    }
    void reset()
    {
        deflateReset(&m_stream);
        m_out = 0;
    }

    z_stream m_stream {};
    uint8_t m_scratch[16384];
    uint64_t m_out = 0;
};

double bitsPerByte(const uint8_t *data, size_t size)
{
    uint32_t counts[256] = {};
    for (size_t i = 0; i < size; ++i)
        ++counts[data[i]];
    double bits = 0;
    for (uint32_t c : counts) {
        if (c) {
            double p = double(c) / double(size);
            bits -= p * std::log2(p);
        }
    }
    return bits;
}

} // namespace

StoreDecision decideFromSample(const uint8_t *data, size_t size, bool whole)
{
    if (size == 0)
        return StoreDecision::Store;
    const double bits = bitsPerByte(data, size);
    if (double(size) * bits / 8 + kHuffmanTreeBytes < double(size) * 0.9)
        return StoreDecision::Deflate; // Huffman coding alone gains
    if (whole && size <= kExactDecisionLimit) {
        DeflateCounter &counter = DeflateCounter::fresh();
        counter.feed(data, size, true);
        return counter.deflatedSize() < size ? StoreDecision::Deflate : StoreDecision::Store;
    }
    return bits < kRandomBitsPerByte ? StoreDecision::Deflate : StoreDecision::TryWhole;
}

StoreDecision decideFromWholeFile(
    SourceFile &source, std::vector<uint8_t> &block, const std::atomic<bool> *cancel)
{
    source.rewind();
    DeflateCounter &counter = DeflateCounter::fresh();
    uint64_t total = 0;
    for (;;) {
        checkCancel(cancel);
        size_t n = source.read(block.data(), block.size());
        total += n;
        counter.feed(block.data(), n, n == 0);
        if (n == 0)
            break;
    }
    return counter.deflatedSize() < total ? StoreDecision::Deflate : StoreDecision::Store;
}

} // namespace sheaf::archiver
