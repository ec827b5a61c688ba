// A plain mutex/condition-variable pool: jobs wait in a FIFO queue and every
// thread, worker or caller, claims the next chunk index of a job under the
// one mutex. Chunk counts are small (one per processor), so the lock is
// taken a handful of times per job and never contended in a way that
// matters. Workers are not tied to processors: the scheduler places them,
// which suits containers and machines shared with other busy processes.
#include "runtime/buffers/worker_pool.hpp"

#include <sched.h>
#include <pthread.h>

#include <cstdlib>
#include <cstring>

#include <algorithm>
#include <cerrno>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace quorin {

struct WorkerPool::Job {
    void (*invoke)(void*, std::size_t);
    void* ctx;
    std::size_t n;
    std::size_t next = 0;  // next unclaimed chunk index
    std::size_t done = 0;  // chunks finished
    std::size_t error_index = static_cast<std::size_t>(-1);
    std::exception_ptr error;
};

namespace {

struct Worker {
    bool signalled = false;  // woken for queued work
    std::condition_variable wake;
};

}  // namespace

struct WorkerPool::Shared {
    WorkerPool* owner = nullptr;
    std::mutex m;
    std::condition_variable done;  // some job's last chunk finished
    std::deque<Job*> queue;        // jobs with unclaimed chunks, oldest first
    std::deque<Worker> workers;    // a deque: workers keep their address
    std::vector<Worker*> idle;     // workers waiting for a signal
};

namespace {

thread_local WorkerPool* tl_pool = nullptr;  // set in pool threads only

std::atomic<WorkerPool*> g_pool{nullptr};
std::mutex g_create;
bool g_atfork_registered = false;

// Keep creation out of a fork: the child then sees either no pool or a whole one.
void before_fork() noexcept { g_create.lock(); }
void after_fork_parent() noexcept { g_create.unlock(); }
// The child has only the forking thread; the parent's pool (its threads, and
// a mutex that one of them may have held) is unusable here and is dropped
// without being touched. The next parallel call builds a fresh pool.
void after_fork_child() noexcept {
    g_pool.store(nullptr, std::memory_order_relaxed);
    g_create.unlock();
}

// Runs one chunk, turning an escaping exception into a value so that no
// exception unwinds past a job other threads still reference.
std::exception_ptr execute(WorkerPool::Job& job, std::size_t i) noexcept {
    try {
        job.invoke(job.ctx, i);
        return nullptr;
    } catch (...) {
        return std::current_exception();
    }
}

// Records a finished chunk; called with the pool mutex held. After this the
// finishing thread must not touch `job` again (its owner may return).
void finish(WorkerPool::Shared& s, WorkerPool::Job& job, std::size_t i, std::exception_ptr err) {
    if (err && i < job.error_index) {
        job.error_index = i;
        job.error = std::move(err);
    }
    if (++job.done == job.n) s.done.notify_all();
}

// Claims the next chunk of `job` (pool mutex held; job.next < job.n), taking
// the job off the queue when its last chunk is claimed.
std::size_t claim(WorkerPool::Shared& s, WorkerPool::Job* job) {
    std::size_t i = job->next++;
    if (job->next == job->n) {
        if (!s.queue.empty() && s.queue.front() == job)
            s.queue.pop_front();
        else
            s.queue.erase(std::find(s.queue.begin(), s.queue.end(), job));
    }
    return i;
}

void worker_main(WorkerPool::Shared* s, Worker* self) {
    tl_pool = s->owner;
    std::unique_lock<std::mutex> lock(s->m);
    for (;;) {
        while (s->queue.empty()) {
            self->signalled = false;
            s->idle.push_back(self);
            s->done.notify_all();  // the pool's constructor waits for its workers to be ready
            self->wake.wait(lock, [self] { return self->signalled; });  // the signaller took us off `idle`
        }
        WorkerPool::Job* job = s->queue.front();
        std::size_t i = claim(*s, job);
        lock.unlock();
        std::exception_ptr err = execute(*job, i);
        lock.lock();
        finish(*s, *job, i, std::move(err));
    }
}

// Wakes up to `count` idle workers (pool mutex held).
void wake_workers(WorkerPool::Shared& s, std::size_t count) {
    while (count > 0 && !s.idle.empty()) {
        Worker* w = s.idle.back();
        s.idle.pop_back();
        w->signalled = true;
        w->wake.notify_one();
        --count;
    }
}

}  // namespace

// The processors this process may run on: its affinity mask, not the
// machine (under taskset or a container's CPU set only those can run our
// threads). Empty when the mask cannot be read.
static std::vector<int> allowed_cpus() {
    std::vector<int> cpus;
    for (int ncpu = CPU_SETSIZE; ncpu <= (1 << 16); ncpu *= 2) {
        cpu_set_t* set = CPU_ALLOC(ncpu);
        if (set == nullptr) break;
        const std::size_t size = CPU_ALLOC_SIZE(ncpu);
        CPU_ZERO_S(size, set);
        const int rc = sched_getaffinity(0, size, set);
        const int err = errno;
        if (rc == 0)
            for (int c = 0; c < ncpu; ++c)
                if (CPU_ISSET_S(c, size, set)) cpus.push_back(c);
        CPU_FREE(set);
        if (rc == 0 || err != EINVAL) break;  // EINVAL: the mask is wider than our set
    }
    return cpus;
}

std::size_t available_processors() noexcept {
    std::size_t n = 0;
    try {
        n = allowed_cpus().size();
    } catch (...) {
    }
    if (n == 0) n = std::thread::hardware_concurrency();
    return n > 0 ? n : 1;
}

std::size_t configured_threads() noexcept {
    const char* text = std::getenv("QUORIN_NUM_THREADS");
    if (text == nullptr || *text == '\0' || std::strspn(text, "0123456789") != std::strlen(text))
        return available_processors();
    // Leading zeros and huge values are still plain digits: read them without overflow.
    std::size_t n = 0;
    for (const char* c = text; *c != '\0' && n <= kMaxThreads; ++c) n = n * 10 + static_cast<std::size_t>(*c - '0');
    if (n == 0) return available_processors();
    return std::min(n, kMaxThreads);
}

WorkerPool::WorkerPool(std::size_t threads) : threads_(0), workers_(0), shared_(new Shared) {
    shared_->owner = this;
    std::unique_lock<std::mutex> hold(shared_->m);  // workers start only once all are listed
    // The calling thread takes part in every job, so it is one of the threads.
    for (std::size_t t = 1; t < threads; ++t) {
        Worker& w = shared_->workers.emplace_back();
        try {
            std::thread(worker_main, shared_, &w).detach();
            ++workers_;
        } catch (const std::system_error&) {
            shared_->workers.pop_back();
            break;  // out of threads: the callers run what the workers cannot
        }
    }
    threads_ = workers_ + 1;
    // Ready before the first job, so that it is shared too.
    shared_->done.wait(hold, [this] { return shared_->idle.size() == workers_; });
}

void WorkerPool::run(std::size_t n, void (*invoke)(void*, std::size_t), void* ctx) {
    if (n == 0) return;
    if (n == 1) {  // nothing to share
        invoke(ctx, 0);
        return;
    }
    Job job{invoke, ctx, n, 0, 0, static_cast<std::size_t>(-1), nullptr};
    Shared& s = *shared_;
    std::unique_lock<std::mutex> lock(s.m);
    s.queue.push_back(&job);
    wake_workers(s, n - 1);  // the caller takes a chunk itself
    // The caller works too, draining its own job: it never sits idle while a
    // chunk is unclaimed (a worker slow to wake costs nothing), and a pool
    // thread calling in cannot deadlock waiting for a free worker.
    while (job.next < job.n) {
        std::size_t i = claim(s, &job);
        lock.unlock();
        std::exception_ptr err = execute(job, i);
        lock.lock();
        finish(s, job, i, std::move(err));
    }
    s.done.wait(lock, [&job] { return job.done == job.n; });
    lock.unlock();
    if (job.error) std::rethrow_exception(job.error);
}

WorkerPool& pool() {
    if (tl_pool != nullptr) return *tl_pool;
    if (WorkerPool* p = g_pool.load(std::memory_order_acquire)) return *p;
    std::lock_guard<std::mutex> guard(g_create);
    WorkerPool* p = g_pool.load(std::memory_order_relaxed);
    if (p == nullptr) {
        if (!g_atfork_registered) {
            if (pthread_atfork(before_fork, after_fork_parent, after_fork_child) != 0) throw std::bad_alloc();
            g_atfork_registered = true;
        }
        p = new WorkerPool(configured_threads());  // lives until the process ends
        g_pool.store(p, std::memory_order_release);
    }
    return *p;
}

}  // namespace quorin
