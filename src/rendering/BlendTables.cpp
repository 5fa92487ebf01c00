#include "rendering/BlendTables.h"

std::uint8_t MulTable[256][256];
std::uint8_t LightTable[256][513];

std::int32_t RoundHalfUp(Extended x) {
    return static_cast<std::int32_t>(x);
}
std::int32_t CeilPositive(Extended x) {
    return static_cast<std::int32_t>(x);
}
void BuildBlendTables() {}
