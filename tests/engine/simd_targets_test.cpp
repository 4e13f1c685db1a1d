// The engine's own choice of Highway targets on x86-64 against Highway's
// library, loaded beside it: the same targets among those compiled here.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <hwy/targets.h>

#include <cstdint>

namespace {

TEST(SimdTargets, TheEngineFindsTheTargetsHighwaysLibraryFinds) {
    void* library = dlopen("libhwy.so.1", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) GTEST_SKIP() << "Highway's shared library is not installed";
    using Supported = std::int64_t (*)();
    const auto theirs = reinterpret_cast<Supported>(dlsym(library, "_ZN3hwy16SupportedTargetsEv"));
    ASSERT_NE(theirs, nullptr);
    const std::int64_t compiled = HWY_TARGETS | HWY_SCALAR | HWY_EMU128;
    EXPECT_EQ(hwy::SupportedTargets() & compiled, theirs() & compiled);
    dlclose(library);
}

}  // namespace
