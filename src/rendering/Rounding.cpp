#include "rendering/Rounding.h"

#include <cmath>

namespace {
// The whole part as a 32-bit integer. Out-of-range and NaN arguments never reach the conversion, which
// would be undefined for them.
std::int32_t WholeTo32(Extended whole) {
    if (whole != whole) {
        return 0;
    }
    if (whole >= static_cast<Extended>(std::numeric_limits<std::int32_t>::max())) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (whole <= static_cast<Extended>(std::numeric_limits<std::int32_t>::min())) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(whole);
}

std::int32_t OneMore(std::int32_t t) {
    return t == std::numeric_limits<std::int32_t>::max() ? t : t + 1;
}
} // namespace

std::int32_t RoundHalfUp(Extended x) {
    const Extended whole = std::trunc(x);
    const Extended fraction = x - whole; // exact, with the sign of x
    // The first decimal digit of the fraction. With a 64-bit significand the product reaches 5 exactly when
    // the fraction is at least one half, so the test is exact; a negative x gives a digit of 0 or below and
    // stays truncated.
    const Extended digit = std::trunc(fraction * 10.0L);
    const std::int32_t t = WholeTo32(whole);
    return digit > 4.0L ? OneMore(t) : t;
}

std::int32_t CeilPositive(Extended x) {
    const Extended whole = std::trunc(x);
    const Extended fraction = x - whole;
    // For a negative x the truncation already is the ceiling and the fraction is not above 0.
    const std::int32_t t = WholeTo32(whole);
    return fraction > 0.0L ? OneMore(t) : t;
}

Extended RoundToDesktopPrecision(Extended x) {
    constexpr int desktopBits = 64;
    if constexpr (std::numeric_limits<Extended>::digits == desktopBits) {
        return x;
    } else {
        if (!std::isfinite(x)) {
            return x;
        }
        int exponent = 0;
        const Extended significand = std::frexp(x, &exponent); // in [0.5, 1)
        return std::ldexp(std::nearbyint(std::ldexp(significand, desktopBits)), exponent - desktopBits);
    }
}
