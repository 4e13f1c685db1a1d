#include "kernel/helper_threads.h"

#include "kernel/worker_pool.h"

namespace mandel {

void runOnThreads(unsigned threads, const std::function<void()>& work) { programPool().run(threads, work); }

}  // namespace mandel
