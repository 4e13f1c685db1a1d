#include "kernel/mandel.h"

#include "region/render_settings.h"

namespace mandel {

short mandel(float a, float b, float cmax) {
    const short n = toInt16(cmax);
    float x = a;
    float y = b;
    // int, not short, so that ++i cannot wrap; i never exceeds n + 1 <= 32768.
    for (int i = 1; i <= n; ++i) {
        const float xx = x * x;
        const float yy = y * y;
        if (xx + yy > 4.0f) return static_cast<short>(i);
        const float t = (xx + a) - yy;
        const float twoX = 2.0f * x;
        y = twoX * y + b;  // never fused: the build uses -ffp-contract=off
        x = t;
    }
    return n;
}

}  // namespace mandel
