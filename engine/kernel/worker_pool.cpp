#include "kernel/worker_pool.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <system_error>

namespace mandel {

// One call of run: the work, how many places workers may still take, and how
// many workers are running it now.
struct WorkerPool::Task {
    Task(const std::function<void()>& w, unsigned places) : work(&w), open(places) {}
    const std::function<void()>* work;
    unsigned open;
    unsigned running = 0;
    std::condition_variable finished;
};

std::jthread startHelperThread(const std::function<void()>& body) { return std::jthread(body); }

WorkerPool::WorkerPool(unsigned maxWorkers, HelperThreadStarter start) : maxWorkers_(maxWorkers), start_(start) {}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    threads_.clear();  // joins
}

std::size_t WorkerPool::workers() const {
    std::lock_guard lock(mutex_);
    return threads_.size();
}

// Starts workers while the places on offer outnumber the free ones. Called
// with the lock held; a worker the system refuses ends the attempt.
void WorkerPool::addWorkersFor(unsigned wanted) {
    unsigned open = 0;
    for (const Task* task : tasks_) open += task->open;
    wanted = std::max(wanted, open);
    while (idle_ < wanted && threads_.size() < maxWorkers_) {
        try {
            threads_.push_back(start_([this] { serve(); }));
        } catch (const std::system_error&) {  // e.g. EAGAIN: the thread limit or no room for a stack
            return;
        } catch (const std::bad_alloc&) {
            return;
        }
        ++idle_;
    }
}

void WorkerPool::serve() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
        if (stopping_) return;
        Task* task = tasks_.front();
        if (--task->open == 0) tasks_.pop_front();
        --idle_;
        ++task->running;
        lock.unlock();
        (*task->work)();
        lock.lock();
        ++idle_;
        // Notified under the lock: the caller cannot leave run, and free the
        // task, before this worker waits again.
        if (--task->running == 0) task->finished.notify_one();
    }
}

void WorkerPool::run(unsigned threads, const std::function<void()>& work) {
    const unsigned helpers = std::min(threads > 1 ? threads - 1 : 0u, maxWorkers_);
    if (helpers == 0) {
        work();
        return;
    }
    Task task(work, helpers);
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(&task);
        addWorkersFor(helpers);
    }
    if (helpers == 1)
        wake_.notify_one();
    else
        wake_.notify_all();
    // Whatever way work ends, the places no worker took are withdrawn and
    // the workers that did take one are waited for.
    auto finish = [&] {
        std::unique_lock lock(mutex_);
        if (task.open > 0) {
            tasks_.erase(std::find(tasks_.begin(), tasks_.end(), &task));
            task.open = 0;
        }
        task.finished.wait(lock, [&] { return task.running == 0; });
    };
    try {
        work();
    } catch (...) {
        finish();
        throw;
    }
    finish();
}

namespace {

std::atomic<WorkerPool*>& swappedPool() {
    static std::atomic<WorkerPool*> pool{nullptr};
    return pool;
}

}  // namespace

WorkerPool& programPool() {
    if (WorkerPool* swapped = swappedPool().load(std::memory_order_acquire)) return *swapped;
    static WorkerPool pool(std::max(1u, std::thread::hardware_concurrency()));
    return pool;
}

ProgramPoolSwap::ProgramPoolSwap(WorkerPool& pool) : previous_(swappedPool().exchange(&pool)) {}

ProgramPoolSwap::~ProgramPoolSwap() { swappedPool().store(previous_); }

}  // namespace mandel
