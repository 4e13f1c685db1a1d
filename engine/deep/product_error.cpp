#include "deep/product_error.h"

namespace mandel {

bool processorFusesMultiplyAdd() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    return __builtin_cpu_supports("fma");
#else
    return true;  // every 64-bit Arm processor has it
#endif
}

}  // namespace mandel
