// The process-wide pool of worker threads for native chunk work (counting
// and top-k over large integer buffers). Workers run plain native code only:
// they never touch Python objects, reference counts or buffer views, so the
// caller keeps the interpreter lock while it waits for them.
#pragma once

#include <cstddef>
#include <type_traits>
#include <vector>

namespace quorin {

// Buffers at least this long are considered for splitting across the pool.
inline constexpr std::size_t kParallelThreshold = std::size_t{1} << 19;

inline std::size_t ceil_div(std::size_t a, std::size_t b) noexcept { return a / b + (a % b != 0); }

// The most threads QUORIN_NUM_THREADS can ask for.
inline constexpr std::size_t kMaxThreads = 256;

class WorkerPool {
public:
    // Threads that share a job: the worker threads plus the calling one.
    std::size_t threads() const noexcept { return threads_; }

    // The length of each of `threads()` chunks covering n items.
    std::size_t chunk_length(std::size_t n) const noexcept { return ceil_div(n, threads_); }

    // Runs fn(i) for every i in [0, n) concurrently and returns once all have
    // finished (a single chunk runs right here). The calling thread takes
    // part, claiming chunks like a worker, and keeps whatever locks it holds;
    // so a call from inside a pool thread (or with every worker busy) always
    // completes. An exception thrown by a chunk is rethrown here after every
    // chunk has finished (the one of the lowest chunk index wins).
    template <class F>
    void run_chunks(std::size_t n, F&& fn) {
        auto thunk = [](void* ctx, std::size_t i) { (*static_cast<std::remove_reference_t<F>*>(ctx))(i); };
        run(n, thunk, static_cast<void*>(&fn));
    }

    // fn(i) for every chunk, results gathered by chunk index.
    template <class R, class F>
    std::vector<R> map_chunks(std::size_t n, F&& fn) {
        std::vector<R> out(n);
        run_chunks(n, [&](std::size_t i) { out[i] = fn(i); });
        return out;
    }

    struct Job;
    struct Shared;

private:
    friend WorkerPool& pool();
    explicit WorkerPool(std::size_t threads);
    void run(std::size_t n, void (*invoke)(void*, std::size_t), void* ctx);

    std::size_t threads_;  // chunking width: the workers and the caller
    std::size_t workers_;  // worker threads actually running
    Shared* shared_;       // never freed: a forked child must not tear down a dead parent's pool
};

// The pool for the current thread: the pool a worker belongs to when called
// from a pool thread, else the process-wide pool, created on first use and
// rebuilt on first use in a child process after fork (the child inherits no
// worker threads).
WorkerPool& pool();

// Processors this process may run on (its affinity mask), at least 1.
std::size_t available_processors() noexcept;

// The pool's thread count: QUORIN_NUM_THREADS when it is a positive integer
// (at most kMaxThreads), else available_processors(). Read when the pool is
// created.
std::size_t configured_threads() noexcept;

}  // namespace quorin
