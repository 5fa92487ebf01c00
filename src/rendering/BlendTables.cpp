#include "rendering/BlendTables.h"

#include <cmath>

std::uint8_t MulTable[256][256];
std::uint8_t LightTable[256][513];

void BuildBlendTables() {
    // a * c / 255, truncated: a quotient that is not whole lies at least 1/255 from the next integer, so the
    // floating-point division truncates to the integer quotient.
    for (std::int32_t a = 0; a <= 255; ++a) {
        for (std::int32_t c = 0; c <= 255; ++c) {
            MulTable[a][c] = static_cast<std::uint8_t>(std::trunc(static_cast<Extended>(a * c) / 255.0L));
        }
    }

    // Each row runs from white (column 0) through the colour itself (column 256) to black (column 512). Every
    // argument is a multiple of 1/256, exact in any format, so the halves that round up are exact halves.
    for (std::int32_t v = 0; v <= 255; ++v) {
        const Extended value = static_cast<Extended>(v);
        LightTable[v][256] = static_cast<std::uint8_t>(v);
        for (std::int32_t k = 0; k <= 255; ++k) {
            LightTable[v][k] = static_cast<std::uint8_t>(
                RoundHalfUp(255.0L - ((255.0L - value) / 256.0L) * static_cast<Extended>(k)));
        }
        for (std::int32_t k = 257; k <= 512; ++k) {
            LightTable[v][k] =
                static_cast<std::uint8_t>(RoundHalfUp((value / 256.0L) * static_cast<Extended>(512 - k)));
        }
    }
}
