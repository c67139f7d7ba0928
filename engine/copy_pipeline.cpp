#include "copy_pipeline.h"

#include "runtime/errors.h"
#include "runtime/failure.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <exception>
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

// Runs one pass over the chunks of `plan`: `work(index, buffers)` for each, on up to
// `options.workers` threads at once, thread i with `memory[i]`, while the calling thread
// reports `stage` every `options.reportEvery`. The first failure stops the pass and is
// thrown here, once every thread has stopped; so is one thrown by the progress callback.
template <typename Work>
void runPass(const Plan& plan, CopyStage stage, const runtime::CopyProgress& progress,
             const CopyOptions& options, std::vector<Buffers>& memory, Work work)
{
    using Clock = std::chrono::steady_clock;
    const std::size_t count = plan.count();
    // A chunk done touches only the atomics: no lock and no wake-up per chunk, which cost a
    // round trip through the system where its locks are not the processor's own.
    std::atomic<std::size_t> next{0};
    std::atomic<std::uint64_t> done{0};
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable changed;
    unsigned running = 0; // guarded by `mutex`, as is `error`
    std::exception_ptr error;

    const auto finishChunk = [&](std::size_t bytes) {
        done.fetch_add(bytes, std::memory_order_relaxed);
    };
    const auto crew = [&](std::size_t slot) {
        try {
            Buffers& buffers = memory[slot];
            while (!stop.load(std::memory_order_relaxed)) {
                const std::size_t index = next.fetch_add(1);
                if (index >= count)
                    break;
                work(index, buffers);
                finishChunk(plan.bytes(index));
            }
        } catch (...) {
            const std::lock_guard<std::mutex> lock(mutex);
            if (!error)
                error = std::current_exception();
            stop = true;
        }
        {
            const std::lock_guard<std::mutex> lock(mutex);
            --running;
        }
        changed.notify_all();
    };

    if (progress)
        progress(stage, 0, plan.total);
    auto reported = Clock::now();
    const auto report = [&](std::uint64_t bytes) {
        if (progress && Clock::now() - reported >= options.reportEvery) {
            progress(stage, bytes, plan.total);
            reported = Clock::now();
        }
    };

    // Stops and waits for the threads however this pass ends.
    struct Crew {
        std::atomic<bool>& stop;
        std::vector<std::jthread> threads;
        ~Crew()
        {
            stop = true;
            threads.clear();
        }
    } threads{stop, {}};
    const unsigned wanted =
        static_cast<unsigned>(std::min<std::size_t>({options.workers, count, memory.size()}));
    threads.threads.reserve(wanted);
    for (unsigned i = 0; i < wanted; ++i) {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            ++running;
        }
        try {
            threads.threads.emplace_back(crew, std::size_t{i});
        } catch (const std::system_error&) {
            const std::lock_guard<std::mutex> lock(mutex);
            --running;
            break; // as many as the system gives, or none
        }
    }

    if (threads.threads.empty()) {
        if (count > 0) {
            Buffers& buffers = memory.front();
            for (std::size_t index = 0; index < count; ++index) {
                work(index, buffers);
                finishChunk(plan.bytes(index));
                report(done.load());
            }
        }
    } else {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            changed.wait_for(lock, std::max(options.reportEvery, std::chrono::milliseconds{1}),
                             [&] { return running == 0; });
            if (running == 0)
                break;
            const std::uint64_t bytes = done.load();
            lock.unlock();
            report(bytes);
            lock.lock();
        }
        if (error)
            std::rethrow_exception(error);
    }
    if (progress)
        progress(stage, plan.total, plan.total);
}

// The whole copy; CopyAndCheck turns what the standard library throws into failures.
void copy(runtime::FileServices& files, const std::string& from, const std::string& to,
          const std::string& partPath, const runtime::CopyProgress& progress, const CopyOptions& options)
{
    const std::unique_ptr<runtime::BlockFile> source = files.openToCopy(from);
    const runtime::FileStamp before = source->stamp();
    const std::unique_ptr<runtime::CopyTarget> target = files.createCopy(to, partPath);
    const std::size_t align = std::max({source->alignment(), target->alignment(), std::size_t{4096}});
    const Plan plan{before.size, roundUp(std::max<std::size_t>(options.chunkSize, 1), align), align};
    std::vector<Buffers> memory;
    memory.reserve(std::max(options.workers, 1u));
    for (unsigned i = 0; i < std::max(options.workers, 1u); ++i)
        memory.emplace_back(plan);

    runPass(plan, CopyStage::Copying, progress, options, memory, [&](std::size_t index, Buffers& buffers) {
        const std::size_t bytes = plan.bytes(index), padded = plan.padded(index);
        // Asking for the padding too tells a source that grew.
        if (source->readAt(plan.offset(index), buffers.first(), padded) != bytes)
            throw Failure(runtime::kPathFileAccessError);
        std::memset(buffers.first() + bytes, 0, padded - bytes);
        target->writeAt(plan.offset(index), buffers.first(), padded);
    });

    // The flush as a pass of one chunk, on a thread, so that the window is still drawn while
    // the disk takes its time.
    const Plan whole{plan.total, roundUp(std::max<std::uint64_t>(plan.total, 1), align), align};
    const auto save = [&] {
        target->setLength(plan.total);
        target->flush();
        target->dropCache();
    };
    if (plan.total == 0) {
        if (progress)
            progress(CopyStage::Saving, 0, 0);
        save();
        if (progress)
            progress(CopyStage::Saving, 0, 0);
    } else {
        runPass(whole, CopyStage::Saving, progress, options, memory, [&](std::size_t, Buffers&) { save(); });
    }

    // The stamp is the cheap first test; what it cannot tell (a write through a shared
    // mapping, a file system that keeps coarse times), reading the source again does.
    if (source->stamp() != before)
        throw Failure(runtime::kPathFileAccessError);
    runPass(plan, CopyStage::Checking, progress, options, memory, [&](std::size_t index, Buffers& buffers) {
        const std::size_t bytes = plan.bytes(index), padded = plan.padded(index);
        if (source->readAt(plan.offset(index), buffers.first(), padded) != bytes ||
            target->readAt(plan.offset(index), buffers.second(), padded) != bytes ||
            std::memcmp(buffers.first(), buffers.second(), bytes) != 0)
            throw Failure(runtime::kPathFileAccessError);
    });
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
