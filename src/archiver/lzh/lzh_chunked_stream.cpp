#include "archiver/lzh/lzh_chunked_stream.h"

#include "archiver/archive_error.h"
#include "archiver/lzh/lzh_block_writer.h"
#include "archiver/lzh/lzh_encoder.h"
#include "base/platform.h"
#include "base/thread_count.h"

#include <algorithm>

namespace sheaf::archiver {

namespace {

// Input fed to the encoder between two looks at cancel and stop.
constexpr size_t kPiece = 256 * 1024;

} // namespace

LzhChunkedStream::LzhChunkedStream(LzhMethod method, int level, int threads,
    const std::atomic<bool> *cancel, std::vector<uint8_t> &out, std::vector<double> *chunkSeconds)
    : m_method(method)
    , m_level(level)
    , m_threads(threadCount(threads))
    , m_cancel(cancel)
    , m_chunkSeconds(chunkSeconds)
    , m_bits(out)
{
}

LzhChunkedStream::~LzhChunkedStream()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_stopFlag = true;
    m_queued.notify_all();
    for (std::thread &t : m_workers)
        t.join();
}

std::vector<uint8_t> LzhChunkedStream::buffer()
{
    if (m_spare.empty())
        return {};
    std::vector<uint8_t> b = std::move(m_spare.back());
    m_spare.pop_back();
    b.clear();
    return b;
}

void LzhChunkedStream::encode(LzhEncoder &encoder, Job &job) const
{
    const double start = m_chunkSeconds ? platform::threadCpuSeconds() : 0;
    encoder.startChunk(job.input.data(), job.history);
    const uint8_t *data = job.input.data() + job.history;
    size_t left = job.input.size() - job.history;
    encoder.output().reserve(left + left / 8 + 4096);
    while (left > 0) {
        if (m_stopFlag.load(std::memory_order_relaxed))
            throw ArchiveError(ErrorCode::Cancelled, "中止しました");
        checkCancel(m_cancel);
        const size_t n = std::min(left, kPiece);
        encoder.feed(data, n);
        data += n;
        left -= n;
    }
    job.bitCount = encoder.finishChunk(job.last, job.lastBlock);
    job.bits = std::move(encoder.output());
    encoder.output().clear();
    if (m_chunkSeconds)
        job.seconds = platform::threadCpuSeconds() - start;
}

void LzhChunkedStream::work()
{
    std::unique_ptr<LzhEncoder> encoder;
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_queued.wait(lock, [this] { return m_stop || !m_waiting.empty(); });
        if (m_stop)
            return;
        Job *job = m_waiting.front();
        m_waiting.pop_front();
        lock.unlock();
        try {
            if (!encoder)
                encoder = std::make_unique<LzhEncoder>(m_method, m_level);
            encode(*encoder, *job);
        } catch (...) {
            job->error = std::current_exception();
        }
        lock.lock();
        job->done = true;
        m_finished.notify_all();
    }
}

void LzhChunkedStream::add(std::vector<uint8_t> input, size_t history, bool last)
{
    auto job = std::make_unique<Job>();
    job->input = std::move(input);
    job->history = history;
    job->last = last;

    if (m_threads == 1) {
        if (!m_inlineEncoder)
            m_inlineEncoder = std::make_unique<LzhEncoder>(m_method, m_level);
        encode(*m_inlineEncoder, *job);
        job->done = true;
        m_inFlight.push_back(std::move(job));
        joinOldest();
        return;
    }
    // Two chunks per thread: a worker that finishes before the chunk ahead
    // of its own finds the next one queued instead of waiting for the join.
    while (m_inFlight.size() >= 2 * size_t(m_threads))
        joinOldest();
    {
        std::lock_guard lock(m_mutex);
        m_waiting.push_back(job.get());
        m_inFlight.push_back(std::move(job));
    }
    m_queued.notify_one();
    if (m_workers.size() < size_t(m_threads))
        m_workers.emplace_back([this] { work(); });
}

void LzhChunkedStream::joinOldest()
{
    std::unique_ptr<Job> job;
    {
        std::unique_lock lock(m_mutex);
        m_finished.wait(lock, [this] { return m_inFlight.front()->done; });
        job = std::move(m_inFlight.front());
        m_inFlight.pop_front();
    }
    if (job->error)
        std::rethrow_exception(job->error);
    if (m_chunkSeconds)
        m_chunkSeconds->push_back(job->seconds);
    // Restart points serve a read-back on several threads only.
    if (m_threads > 1 && m_joined > 0 && m_joined % m_restartEvery == 0) {
        if (m_restarts.size() == kMaxLzhRestartPoints) {
            // Twice as far apart: keep every other one.
            m_restartEvery *= 2;
            size_t kept = 0;
            for (size_t i = 1; i < m_restarts.size(); i += 2)
                m_restarts[kept++] = std::move(m_restarts[i]);
            m_restarts.resize(kept);
        }
        if (m_joined % m_restartEvery == 0)
            m_restarts.push_back({m_bits.bitCount(), m_output,
                std::vector<uint8_t>(job->input.begin(), job->input.begin() + long(job->history))});
    }
    ++m_joined;
    m_output += job->input.size() - job->history;
    m_bits.append(job->bits.data(), job->bitCount);
    if (job->last) {
        if (job->lastBlock.empty())
            m_bits.padToByte();
        else
            writeLzhLastBlock(m_bits, job->lastBlock, LzhEncoder::methodParams(m_method));
    }
    m_spare.push_back(std::move(job->input));
}

void LzhChunkedStream::finish()
{
    while (!m_inFlight.empty())
        joinOldest();
}

} // namespace sheaf::archiver
