#include "copy_pipeline.h"

#include "runtime/errors.h"
#include "runtime/failure.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace engine {

namespace {

using runtime::CopyStage;
using runtime::Failure;

std::size_t roundUp(std::size_t n, std::size_t to)
{
    return (n + to - 1) / to * to;
}

// Memory that starts and ends on the alignment the block files want.
class AlignedBuffer {
public:
    AlignedBuffer(std::size_t size, std::size_t align)
        : m_align(align), m_data(static_cast<char*>(
                              ::operator new (roundUp(size, align), std::align_val_t{align}, std::nothrow)))
    {
        if (m_data == nullptr)
            throw Failure(runtime::kOutOfMemory);
    }
    ~AlignedBuffer() { ::operator delete (m_data, std::align_val_t{m_align}); }
    AlignedBuffer(const AlignedBuffer&) = delete;
    AlignedBuffer& operator=(const AlignedBuffer&) = delete;
    char* data() const { return m_data; }

private:
    std::size_t m_align;
    char* m_data;
};

// How a file of `total` bytes is cut into chunks.
struct Plan {
    std::uint64_t total;
    std::size_t chunk; // a multiple of `align`
    std::size_t align;

    std::size_t count() const { return static_cast<std::size_t>((total + chunk - 1) / chunk); }
    std::uint64_t offset(std::size_t index) const { return static_cast<std::uint64_t>(index) * chunk; }
    std::size_t bytes(std::size_t index) const
    {
        return static_cast<std::size_t>(std::min<std::uint64_t>(chunk, total - offset(index)));
    }
    std::size_t padded(std::size_t index) const { return roundUp(bytes(index), align); }
};

// What each thread of a pass works with: two chunks of memory, taken when first asked for and
// kept for the passes after, so that each pass does not fault in fresh memory again.
class Buffers {
public:
    explicit Buffers(const Plan& plan) : m_plan(plan) {}
    char* first() { return take(m_first); }
    char* second() { return take(m_second); }

private:
    char* take(std::unique_ptr<AlignedBuffer>& buffer)
    {
        if (!buffer)
            buffer = std::make_unique<AlignedBuffer>(m_plan.chunk, m_plan.align);
        return buffer->data();
    }
    const Plan& m_plan;
    std::unique_ptr<AlignedBuffer> m_first, m_second;
};

// One pass over a file's chunks: `work(index, buffers)` does chunk `index` and gives the
// bytes it counts for in the progress.
struct Pass {
    std::size_t count;
    std::function<std::uint64_t(std::size_t index, Buffers& buffers)> work;
};

// The threads of a copy, started once and given each pass in turn, since starting a thread
// costs tens of milliseconds on some systems. Thread i works with `memory[i]`; the thread
// that makes the crew only waits and reports progress, so that the window is still drawn.
class Crew {
public:
    Crew(std::vector<Buffers>& memory, unsigned wanted) : m_memory(memory)
    {
        m_threads.reserve(wanted);
        for (unsigned i = 0; i < wanted; ++i) {
            try {
                m_threads.emplace_back([this, i] { serve(i); });
            } catch (const std::system_error&) {
                break; // as many as the system gives, or none
            }
        }
    }
    ~Crew()
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_quit = true;
        }
        m_start.notify_all();
        m_threads.clear();
    }
    Crew(const Crew&) = delete;
    Crew& operator=(const Crew&) = delete;

    // Runs `pass` to its end, calling `report(bytes done)` every `every` meanwhile. The first
    // failure stops the pass and is thrown here once every thread has stopped; so is one
    // thrown by `report`.
    template <typename Report> void run(const Pass& pass, std::chrono::milliseconds every, Report report)
    {
        if (m_threads.empty()) {
            std::uint64_t done = 0;
            for (std::size_t index = 0; index < pass.count; ++index) {
                done += pass.work(index, m_memory.front());
                report(done);
            }
            return;
        }
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_pass = &pass;
            m_next = 0;
            m_done = 0;
            m_stop = false;
            m_error = nullptr;
            m_running = static_cast<unsigned>(m_threads.size());
            ++m_generation;
        }
        m_start.notify_all();
        std::unique_lock<std::mutex> lock(m_mutex);
        try {
            for (;;) {
                m_finished.wait_for(lock, std::max(every, std::chrono::milliseconds{1}),
                                    [&] { return m_running == 0; });
                if (m_running == 0)
                    break;
                const std::uint64_t bytes = m_done.load(std::memory_order_relaxed);
                lock.unlock();
                report(bytes);
                lock.lock();
            }
        } catch (...) {
            if (!lock.owns_lock())
                lock.lock();
            m_stop = true;
            m_finished.wait(lock, [&] { return m_running == 0; });
            throw;
        }
        if (m_error)
            std::rethrow_exception(m_error);
    }

private:
    void serve(std::size_t slot)
    {
        std::uint64_t seen = 0;
        for (;;) {
            const Pass* pass = nullptr;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_start.wait(lock, [&] { return m_quit || m_generation != seen; });
                if (m_quit)
                    return;
                seen = m_generation;
                pass = m_pass;
            }
            // A chunk done touches only the atomics: no lock and no wake-up per chunk, which
            // cost a round trip through the system where its locks are not the processor's own.
            try {
                while (!m_stop.load(std::memory_order_relaxed)) {
                    const std::size_t index = m_next.fetch_add(1);
                    if (index >= pass->count)
                        break;
                    m_done.fetch_add(pass->work(index, m_memory[slot]), std::memory_order_relaxed);
                }
            } catch (...) {
                const std::lock_guard<std::mutex> lock(m_mutex);
                if (!m_error)
                    m_error = std::current_exception();
                m_stop = true;
            }
            {
                const std::lock_guard<std::mutex> lock(m_mutex);
                --m_running;
            }
            m_finished.notify_all();
        }
    }

    std::vector<Buffers>& m_memory;
    std::mutex m_mutex;
    std::condition_variable m_start, m_finished;
    // Guarded by m_mutex:
    const Pass* m_pass{nullptr};
    std::uint64_t m_generation{0};
    unsigned m_running{0};
    bool m_quit{false};
    std::exception_ptr m_error;
    // Shared by the threads at work:
    std::atomic<std::size_t> m_next{0};
    std::atomic<std::uint64_t> m_done{0};
    std::atomic<bool> m_stop{false};
    std::vector<std::jthread> m_threads; // last: stopped before the rest goes
};

// Runs `pass` on `crew` as `stage` of a copy of `total` bytes, reported at its start, every
// `options.reportEvery` and at its end.
void runStage(Crew& crew, const Pass& pass, CopyStage stage, std::uint64_t total,
              const runtime::CopyProgress& progress, const CopyOptions& options)
{
    using Clock = std::chrono::steady_clock;
    if (progress)
        progress(stage, 0, total);
    auto reported = Clock::now();
    crew.run(pass, options.reportEvery, [&](std::uint64_t bytes) {
        if (progress && Clock::now() - reported >= options.reportEvery) {
            progress(stage, bytes, total);
            reported = Clock::now();
        }
    });
    if (progress)
        progress(stage, total, total);
}

// The whole copy; CopyAndCheck turns what the standard library throws into failures.
void copy(runtime::FileServices& files, const std::string& from, const std::string& to,
          const std::string& partPath, const runtime::CopyProgress& progress, const CopyOptions& options)
{
    const std::unique_ptr<runtime::BlockFile> source = files.openToCopy(from);
    const runtime::FileStamp before = source->stamp();
    const std::unique_ptr<runtime::CopyTarget> target = files.createCopy(to, partPath);
    const std::size_t align = std::max({source->alignment(), target->alignment(), std::size_t{4096}});
    std::size_t chunk = std::max<std::size_t>(options.chunkSize, 1);
    for (const std::size_t preferred : {source->preferredTransfer(), target->preferredTransfer()})
        if (preferred > 0)
            chunk = std::min(chunk, preferred);
    const Plan plan{before.size, roundUp(chunk, align), align};
    std::vector<Buffers> memory;
    memory.reserve(std::max(options.workers, 1u));
    for (unsigned i = 0; i < std::max(options.workers, 1u); ++i)
        memory.emplace_back(plan);
    Crew crew(memory, static_cast<unsigned>(std::min<std::size_t>(options.workers, plan.count())));

    // What is written is flushed as the copy goes, by whichever thread finds enough of it
    // unflushed while no other flushes, so that the flush at the end has little left to do.
    std::atomic<std::uint64_t> written{0};
    std::uint64_t flushedUpTo = 0; // guarded by `flushing`
    std::atomic<bool> flushing{false};
    const Pass copying{plan.count(), [&](std::size_t index, Buffers& buffers) -> std::uint64_t {
                           const std::size_t bytes = plan.bytes(index), padded = plan.padded(index);
                           // Asking for the padding too tells a source that grew.
                           if (source->readAt(plan.offset(index), buffers.first(), padded) != bytes)
                               throw Failure(runtime::kPathFileAccessError);
                           std::memset(buffers.first() + bytes, 0, padded - bytes);
                           target->writeAt(plan.offset(index), buffers.first(), padded);
                           const std::uint64_t now = written.fetch_add(bytes) + bytes;
                           if (options.flushEvery > 0 && now < plan.total && !flushing.exchange(true)) {
                               if (now >= flushedUpTo + options.flushEvery) { // another may have flushed more
                                   target->flush();
                                   flushedUpTo = now;
                               }
                               flushing = false;
                           }
                           return bytes;
                       }};
    runStage(crew, copying, CopyStage::Copying, plan.total, progress, options);

    const auto save = [&] {
        target->setLength(plan.total);
        target->flush();
        target->dropCache();
    };
    // Each chunk of the copy and of the source read once more and compared.
    const auto check = [&](std::size_t index, Buffers& buffers) -> std::uint64_t {
        const std::size_t bytes = plan.bytes(index), padded = plan.padded(index);
        if (source->readAt(plan.offset(index), buffers.first(), padded) != bytes ||
            target->readAt(plan.offset(index), buffers.second(), padded) != bytes ||
            std::memcmp(buffers.first(), buffers.second(), bytes) != 0)
            throw Failure(runtime::kPathFileAccessError);
        return bytes;
    };
    // The stamp is the cheap first test; what it cannot tell (a write through a shared
    // mapping, a file system that keeps coarse times), reading the source again does.
    const auto unchanged = [&] {
        if (source->stamp() != before)
            throw Failure(runtime::kPathFileAccessError);
    };
    if (target->checkAfterFlush()) {
        // The flush as a pass of one chunk, on a thread, so that the window is still drawn
        // while the disk takes its time.
        runStage(crew,
                 Pass{1,
                      [&](std::size_t, Buffers&) -> std::uint64_t {
                          save();
                          return 0;
                      }},
                 CopyStage::Saving, plan.total, progress, options);
        unchanged();
        runStage(crew, Pass{plan.count(), check}, CopyStage::Checking, plan.total, progress, options);
    } else {
        // The check reads the same bytes during the flush as after it: the flush is the first
        // chunk of the check's pass, taken by one thread while the others compare.
        if (progress)
            progress(CopyStage::Saving, 0, plan.total);
        target->setLength(plan.total);
        unchanged();
        runStage(crew,
                 Pass{plan.count() + 1,
                      [&](std::size_t index, Buffers& buffers) -> std::uint64_t {
                          if (index > 0)
                              return check(index - 1, buffers);
                          target->flush();
                          target->dropCache();
                          return 0;
                      }},
                 CopyStage::Checking, plan.total, progress, options);
    }
    if (source->stamp() != before || target->stamp().size != plan.total)
        throw Failure(runtime::kPathFileAccessError);
    target->name();
}

} // namespace

void CopyAndCheck(runtime::FileServices& files, const std::string& from, const std::string& to,
                  const std::string& partPath, const runtime::CopyProgress& progress,
                  const CopyOptions& options)
{
    try {
        copy(files, from, to, partPath, progress, options);
    } catch (const std::bad_alloc&) {
        throw Failure(runtime::kOutOfMemory);
    } catch (const std::system_error&) {
        throw Failure(runtime::kPathFileAccessError);
    }
}

bool SameContents(runtime::FileServices& files, const std::string& a, const std::string& b)
{
    try {
        const std::unique_ptr<runtime::BlockFile> first = files.openToCopy(a);
        const std::unique_ptr<runtime::BlockFile> second = files.openToCopy(b);
        const std::uint64_t size = first->stamp().size;
        if (second->stamp().size != size)
            return false;
        const std::size_t align = std::max({first->alignment(), second->alignment(), std::size_t{4096}});
        const Plan plan{size, roundUp(1u << 20, align), align};
        Buffers buffers(plan);
        for (std::size_t index = 0; index < plan.count(); ++index) {
            const std::size_t bytes = plan.bytes(index), padded = plan.padded(index);
            if (first->readAt(plan.offset(index), buffers.first(), padded) != bytes ||
                second->readAt(plan.offset(index), buffers.second(), padded) != bytes ||
                std::memcmp(buffers.first(), buffers.second(), bytes) != 0)
                return false;
        }
        return true;
    } catch (const Failure&) {
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

} // namespace engine
