#pragma once
// The stream of a member larger than one chunk: the member is cut into
// chunks of kLzhChunkSize bytes (the last one shorter), each encoded on its
// own, on a worker thread, with the window of input before it as match
// history, so a match still reaches back a full window across a chunk edge.
// Each chunk ends on a block boundary; the chunks' bits are joined in order
// into one stream, and the last chunk's last block, written when they are
// joined, ends it. Chunks depend on the size alone, so the stream's bytes
// are the same for any thread count.
//
// Memory: a worker holds its encoder; a chunk in flight its input (history
// included) and its output. At most two chunks per thread are in flight.

#include "archiver/lzh/lzh_bit_writer.h"
#include "archiver/lzh/lzh_restart_point.h"
#include "archiver/lzh/lzh_token.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace sheaf::archiver {

enum class LzhMethod;
class LzhEncoder;

// Fixed: never derived from the thread count.
constexpr size_t kLzhChunkSize = size_t(2) << 20;

class LzhChunkedStream
{
public:
    // threads: worker threads (0: one per core; 1: every chunk is encoded
    // on the calling thread). The joined stream goes to `out`, which the
    // caller drains whenever it likes. chunkSeconds (for the benchmark; may
    // be null) gets the CPU seconds of each chunk's encoding.
    LzhChunkedStream(LzhMethod method, int level, int threads, const std::atomic<bool> *cancel,
        std::vector<uint8_t> &out, std::vector<double> *chunkSeconds = nullptr);
    ~LzhChunkedStream();
    LzhChunkedStream(const LzhChunkedStream &) = delete;
    LzhChunkedStream &operator=(const LzhChunkedStream &) = delete;

    // A buffer for a chunk, reused from chunks already joined.
    std::vector<uint8_t> buffer();
    // Queues the next chunk: `input` holds `history` bytes of history (none
    // for the first chunk, else at least one window) and then the chunk.
    // Waits while every thread has two chunks in flight; joins finished
    // chunks.
    void add(std::vector<uint8_t> input, size_t history, bool last);
    // Waits for every chunk; once the last one was added the stream is
    // complete in `out`, padded to a byte. Rethrows a worker's failure.
    void finish();
    // Where chunks after the first start, for the read-back (at most
    // kMaxLzhRestartPoints of them, every n-th chunk).
    LzhRestartPoints takeRestartPoints() { return std::move(m_restarts); }

private:
    struct Job
    {
        std::vector<uint8_t> input;
        size_t history = 0;
        bool last = false;
        std::vector<uint8_t> bits;
        uint64_t bitCount = 0;
        std::vector<LzhToken> lastBlock; // the member's, left unwritten by its last chunk
        double seconds = 0; // CPU time of the encoding
        std::exception_ptr error;
        bool done = false;
    };

    void encode(LzhEncoder &encoder, Job &job) const;
    void work();
    void joinOldest();

    const LzhMethod m_method;
    const int m_level;
    const int m_threads;
    const std::atomic<bool> *m_cancel;
    std::vector<double> *m_chunkSeconds;
    LzhBitWriter m_bits;

    std::mutex m_mutex;
    std::condition_variable m_queued; // a job waits for a worker, or stop
    std::condition_variable m_finished; // a job is done
    std::deque<std::unique_ptr<Job>> m_inFlight; // in stream order
    std::deque<Job *> m_waiting; // not yet taken by a worker
    bool m_stop = false;
    std::atomic<bool> m_stopFlag {false}; // read by workers between pieces
    std::vector<std::thread> m_workers;
    std::unique_ptr<LzhEncoder> m_inlineEncoder;
    std::vector<std::vector<uint8_t>> m_spare;
    LzhRestartPoints m_restarts;
    size_t m_joined = 0; // chunks joined
    size_t m_restartEvery = 1; // a restart point at every n-th chunk
    uint64_t m_output = 0; // input bytes of the chunks joined
};

} // namespace sheaf::archiver
