#include "rendering/SpriteTables.h"

#include "rendering/BlendTables.h"

std::int32_t ShadowOffset;
std::int32_t SpriteSize;
std::int32_t RestoreRowBytes;
std::int32_t HalfSprite;
std::vector<SpritePixel> BodyFullPixels;
std::vector<SpritePixel> BodyEdgePixels;
std::vector<SpritePixel> ShadowFullPixels;
std::vector<SpritePixel> ShadowEdgePixels;
std::int32_t BodyFullLast;
std::int32_t BodyEdgeLast;
std::int32_t ShadowFullLast;
std::int32_t ShadowEdgeLast;

void BuildSpriteTables() {}
