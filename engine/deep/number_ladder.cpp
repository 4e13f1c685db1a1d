#include "deep/number_ladder.h"

namespace mandel {

const char* numberTypeName(NumberType type) {
    switch (type) {
        case NumberType::Double: return "double";
        case NumberType::RescaledDouble: return "rescaled";
        case NumberType::ExtendedRange: return "extended";
        case NumberType::DoubleDouble: return "double-double";
        case NumberType::Mpfr: return "mpfr";
    }
    return "double";
}

NumberType viewNumberType(std::int64_t spacingExponent) {
    return spacingExponent < kExtendedBelowExponent ? NumberType::ExtendedRange : NumberType::Double;
}

}  // namespace mandel
