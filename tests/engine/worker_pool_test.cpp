// The worker pool: every share of the work done once, by the caller and the
// free workers, with several callers at once, calls from inside work, and
// worker threads the system refuses to create.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "kernel/worker_pool.h"

namespace {

// Work split into items taken from a counter by whoever runs it.
struct Shares {
    explicit Shares(int count) : done(static_cast<std::size_t>(count)) {}
    void work() {
        for (std::size_t i; (i = next.fetch_add(1)) < done.size();) ++done[i];
    }
    bool eachOnce() const {
        for (int d : done)
            if (d != 1) return false;
        return true;
    }
    std::atomic<std::size_t> next{0};
    std::vector<int> done;
};

TEST(WorkerPool, AWorkerJoinsWhileTheCallerStillWorks) {
    mandel::WorkerPool pool(2);
    std::mutex mutex;
    std::condition_variable arrived;
    int participants = 0;
    std::atomic<bool> secondDone{false};
    pool.run(2, [&] {  // the first to come waits for a second: hangs if no worker ever joins
        std::unique_lock lock(mutex);
        if (++participants == 1) {
            arrived.wait(lock, [&] { return participants == 2; });
            return;
        }
        arrived.notify_all();
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // ends well after the first
        secondDone = true;
    });
    EXPECT_TRUE(secondDone) << "run returned before every participant had finished";
    EXPECT_EQ(pool.workers(), 1u) << "one worker is all this call asked for";
}

TEST(WorkerPool, SeveralCallersAndCallsFromInsideWorkEachDoEveryShareOnce) {
    mandel::WorkerPool pool(2);
    constexpr int kCallers = 4, kCalls = 200;
    std::vector<int> failures(kCallers, 0);
    std::vector<std::thread> callers;
    for (int c = 0; c < kCallers; ++c)
        callers.emplace_back([&, c] {
            for (int call = 0; call < kCalls; ++call) {
                Shares outer(16);
                std::deque<Shares> inner;
                for (int i = 0; i < 16; ++i) inner.emplace_back(8);
                pool.run(3, [&] {
                    for (std::size_t i; (i = outer.next.fetch_add(1)) < outer.done.size();) {
                        ++outer.done[i];
                        pool.run(2, [&] { inner[i].work(); });  // a nested caller must not wait forever
                    }
                });
                bool ok = outer.eachOnce();
                for (const auto& s : inner) ok = ok && s.eachOnce();
                failures[static_cast<std::size_t>(c)] += ok ? 0 : 1;  // read after run: all participants done
            }
        });
    for (auto& t : callers) t.join();
    EXPECT_EQ(failures, std::vector<int>(kCallers, 0));
    EXPECT_LE(pool.workers(), 2u) << "never more workers than the pool's size";
}

// Starts this many threads, then refuses as a system at its thread limit does.
std::atomic<int> threadsAllowed{0};
std::jthread startUpToTheAllowance(const std::function<void()>& body) {
    if (threadsAllowed-- <= 0) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    return std::jthread(body);
}

TEST(WorkerPool, RefusedThreadsAreLeftOutAndTriedAgainLater) {
    mandel::WorkerPool pool(3, startUpToTheAllowance);
    for (const int allowed : {0, 1, 0, 1, 5}) {
        threadsAllowed = allowed;
        Shares shares(1000);
        pool.run(8, [&] { shares.work(); });
        EXPECT_TRUE(shares.eachOnce()) << allowed << " more allowed";
        if (allowed < 5) {
            EXPECT_LT(threadsAllowed, 0) << "a worker short of the pool's size is asked for again";
        }
    }
    EXPECT_EQ(pool.workers(), 3u);
    EXPECT_EQ(threadsAllowed, 4) << "no thread asked for past the pool's size";
}

TEST(WorkerPool, WorkThatThrowsOnTheCallerLeavesThePoolUsable) {
    mandel::WorkerPool pool(2);
    const std::thread::id caller = std::this_thread::get_id();
    Shares before(100);
    auto failOnCaller = [&] {
        before.work();
        if (std::this_thread::get_id() == caller) throw std::runtime_error("the caller's part fails");
    };
    EXPECT_THROW(pool.run(3, failOnCaller), std::runtime_error);
    EXPECT_TRUE(before.eachOnce()) << "the workers that took part were waited for";
    Shares shares(100);
    pool.run(3, [&] { shares.work(); });
    EXPECT_TRUE(shares.eachOnce());
}

}  // namespace
