#pragma once

// Worker threads started once and shared by every piece of work that wants
// more than the thread it was called on.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace mandel {

// How a pool starts one worker thread. The default makes a std::jthread;
// tests pass one that fails as a system at its thread limit does.
using HelperThreadStarter = std::jthread (*)(const std::function<void()>& body);
std::jthread startHelperThread(const std::function<void()>& body);

class WorkerPool {
public:
    // Starts no thread yet: workers are made when work first asks for them,
    // up to maxWorkers in all.
    explicit WorkerPool(unsigned maxWorkers, HelperThreadStarter start = startHelperThread);
    ~WorkerPool();  // waits for the workers to finish what they run
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Runs work on the calling thread and on up to threads - 1 workers that
    // are free; returns when every one that took part has finished. Workers
    // that were busy elsewhere, or that the system refused to create, are
    // left out, so work must share itself out among however many run it (at
    // least the calling thread). Safe to call from several threads at once,
    // and from inside work: the caller never waits for a worker that has not
    // begun its part.
    void run(unsigned threads, const std::function<void()>& work);

    // Worker threads started so far.
    std::size_t workers() const;

private:
    struct Task;
    void serve();
    void addWorkersFor(unsigned wanted);

    const unsigned maxWorkers_;
    const HelperThreadStarter start_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Task*> tasks_;  // tasks with places no worker has taken yet
    std::vector<std::jthread> threads_;
    unsigned idle_ = 0;
    bool stopping_ = false;
};

// The program's pool: one worker per core, made on first use.
WorkerPool& programPool();

// While one lives, programPool() is the given pool instead. For tests that
// need a pool of their own under code that uses the program's pool; not for
// use while other threads are running work.
class ProgramPoolSwap {
public:
    explicit ProgramPoolSwap(WorkerPool& pool);
    ~ProgramPoolSwap();
    ProgramPoolSwap(const ProgramPoolSwap&) = delete;
    ProgramPoolSwap& operator=(const ProgramPoolSwap&) = delete;

private:
    WorkerPool* previous_;
};

}  // namespace mandel
