#pragma once

// Sharing one piece of work among threads when the system may refuse some.

#include <functional>

namespace mandel {

// Runs work on the calling thread and, at the same time, on up to threads - 1
// workers of the program's pool (see worker_pool.h); returns when every one
// that took part has finished. Workers busy with other work, or that the
// system cannot create (no memory, too many threads), are left out, so work
// must share itself out among however many run it: at least the calling
// thread.
void runOnThreads(unsigned threads, const std::function<void()>& work);

}  // namespace mandel
