#include "kernel/helper_threads.h"

#include <new>
#include <system_error>
#include <vector>

namespace mandel {

namespace {

std::jthread startHelperThread(const std::function<void()>& work) { return std::jthread(work); }

}  // namespace

HelperThreadStarter& helperThreadStarter() {
    static HelperThreadStarter starter = startHelperThread;
    return starter;
}

void runOnThreads(unsigned threads, const std::function<void()>& work) {
    std::vector<std::jthread> helpers;
    for (unsigned t = 1; t < threads; ++t) {
        try {
            helpers.push_back(helperThreadStarter()(work));
        } catch (const std::system_error&) {  // e.g. EAGAIN: the thread limit or no room for a stack
            break;
        } catch (const std::bad_alloc&) {
            break;
        }
    }
    work();
}  // the helpers join here

}  // namespace mandel
