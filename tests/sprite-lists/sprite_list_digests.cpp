// One line for every width from the narrowest the program accepts to 4096: the sprite start-up builds there
// (its size, shadow offset, the four lists' lengths and a digest of every field of every entry) and the
// number text of values made from the width; last, a digest of the blend tables. Two builds whose extended
// types differ (the desktop's 64-bit significand, WebAssembly's 113 bits) must print the same lines.
#include <cstdio>
#include <span>

#include "platform/headless.h"
#include "rendering/SpriteTables.h"
#include "simulation/NumberText.h"
#include "simulation/World.h"

namespace {
// FNV-1a, 64 bits, fed each field's bytes from the lowest.
constexpr std::uint64_t DigestStart = 0xcbf29ce484222325u;
std::uint64_t Digest;

void Mix(std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        Digest = (Digest ^ ((value >> (8 * i)) & 0xffu)) * 0x100000001b3u;
    }
}

void MixList(const std::vector<SpritePixel>& list) {
    for (const SpritePixel& pixel : list) {
        Mix(static_cast<std::uint32_t>(pixel.Col), 4);
        Mix(static_cast<std::uint32_t>(pixel.Row), 4);
        Mix(pixel.Shade, 2);
        Mix(pixel.Alpha, 1);
        Mix(pixel.InvAlpha, 1);
    }
}

// Values exact in both types: one in exponent form rounded at its 15th digit, a tie at the 16th digit, and
// its two sides, which only a formatting of the whole significand rounds apart.
void PrintNumbers(std::int32_t width) {
    const Extended tie = 1234567890000005.0L + 10.0L * static_cast<Extended>(width);
    for (const Extended value :
         {static_cast<Extended>(width) * 0x1p-30L, tie - 0x1p-12L, tie, tie + 0x1p-12L}) {
        std::printf(" %s", NumberText(value).c_str());
    }
}
} // namespace

int main() {
    headless::SetDecimalSeparator('.');
    for (std::int32_t width = 27; width <= 4096; ++width) {
        // The lists depend on the width alone; the height is any the program accepts.
        ScreenWidth = width;
        ScreenHeight = (width * 9 + 8) / 16;
        ComputeScale();
        ComputeBallSize();
        BuildSpriteTables();
        Digest = DigestStart;
        for (const auto* list : {&BodyFullPixels, &BodyEdgePixels, &ShadowFullPixels, &ShadowEdgePixels}) {
            MixList(*list);
        }
        std::printf("%d %d %d %zu %zu %zu %zu %016llx", width, SpriteSize, ShadowOffset,
                    BodyFullPixels.size(), BodyEdgePixels.size(), ShadowFullPixels.size(),
                    ShadowEdgePixels.size(), static_cast<unsigned long long>(Digest));
        PrintNumbers(width);
        std::printf("\n");
    }
    // The blend tables, built with every sprite, are the same at every width.
    Digest = DigestStart;
    for (const std::uint8_t byte : std::span(&MulTable[0][0], sizeof MulTable)) {
        Mix(byte, 1);
    }
    for (const std::uint8_t byte : std::span(&LightTable[0][0], sizeof LightTable)) {
        Mix(byte, 1);
    }
    std::printf("blend-tables %016llx\n", static_cast<unsigned long long>(Digest));
    return 0;
}
