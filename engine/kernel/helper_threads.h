#pragma once

// Sharing one piece of work among threads when the system may refuse some.

#include <functional>
#include <thread>

namespace mandel {

// Runs work on the calling thread and, at the same time, on up to threads - 1
// helper threads; returns when every one has finished. A helper the system
// cannot create (no memory, too many threads) is left out, so work must share
// itself out among however many run it: at least the calling thread.
void runOnThreads(unsigned threads, const std::function<void()>& work);

// How runOnThreads starts one helper thread. Tests replace it to make thread
// creation fail; normal code never does.
using HelperThreadStarter = std::jthread (*)(const std::function<void()>& work);
HelperThreadStarter& helperThreadStarter();

}  // namespace mandel
