#include "rendering/SpriteTables.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <stdexcept>

#include "rendering/BlendTables.h"
#include "rendering/Rounding.h"
#include "rendering/SpriteRuns.h"

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

namespace {
// Samples per pixel along each axis; a pixel holds Subsamples² of them.
constexpr std::int64_t Subsamples = 30;
constexpr Extended SamplesPerPixel = 900.0L;
constexpr std::int32_t FullCoverage = 255;
// Far beyond the largest screen the program accepts (a 1229-pixel sprite at 32768 pixels). Below it the
// sprite's cell count, RestoreRowBytes and every shadow coordinate fit in 32 bits and the squared disc radius
// in 64; a Scale that asks for more cannot be built.
constexpr std::int64_t LargestSprite = 1 << 15;

// One counter per sprite pixel: [column][row], cell (p, q) at p * SpriteSize + q. Counts stay far below 2^24,
// so single precision holds them exactly.
using CoverageGrid = std::vector<float>;

void ComputeSpriteGeometry() {
    BodyFullLast = 0;
    BodyEdgeLast = 0;
    ShadowFullLast = 0;
    ShadowEdgeLast = 0;

    const std::int32_t shadow = RoundHalfUp(Scale * 6.0L);
    const Extended diameter = BallDiameter * Scale;
    // The smallest odd size not below the diameter, so that the sprite has a middle pixel.
    const std::int64_t size =
        diameter < 1.0L ? 1 : 2 * static_cast<std::int64_t>(CeilPositive((diameter - 1.0L) / 2.0L)) + 1;
    if (size > LargestSprite || shadow > LargestSprite || shadow < -LargestSprite) {
        throw std::length_error("coppertrowel: the ball's sprite would be too large to build");
    }
    ShadowOffset = shadow;
    SpriteSize = static_cast<std::int32_t>(size);
    RestoreRowBytes = 3 * SpriteSize + 3 * ShadowOffset;
}

// Counts how many subsamples of the ball's disc fall into each pixel. Offsets are counted from the middle of
// the middle pixel; one quarter of the disc is sampled and each sample is added at its four mirror images.
// The mirror of pixel p is D - p, so column 0 and row 0 receive nothing and the two middle columns and rows
// receive samples from both halves.
void SampleDisc(CoverageGrid& kernel) {
    const std::int64_t size = SpriteSize;
    const std::int64_t middle = Subsamples / 2 * size;
    // Offsets up to 15 D - 1 keep p and q within 1..D - 1 for every D of 3 or more, which is every size the
    // program accepts. A smaller sprite (from a tiny or zero Scale) has no room for the mirrored cells and
    // stays empty; a radius larger than the square (inconsistent ball globals) is cut at its edge.
    const std::int64_t lastOffset = size >= 3 ? middle - 1 : -1;
    const std::int64_t discRadiusSub = DiscRadiusSub();

    for (std::int64_t i = 0; i <= std::min(discRadiusSub, lastOffset); ++i) {
        // The square root of a whole number never lies on a half. (rint rounds like nearbyint, to nearest
        // with halves to even in start-up's rounding mode; it only may raise the inexact flag, which nothing
        // reads, and it is one instruction where nearbyint is a library call that saves and restores the FPU
        // state.)
        const Extended rowsHere =
            std::rint(std::sqrt(static_cast<Extended>(discRadiusSub * discRadiusSub - i * i)));
        const std::int64_t rows = std::min(static_cast<std::int64_t>(rowsHere), lastOffset + 1);
        const std::int64_t p = (middle + i) / Subsamples;
        float* const column = &kernel[static_cast<std::size_t>(p * size)];
        float* const mirrored = &kernel[static_cast<std::size_t>((size - p) * size)];
        // The samples j = 0 .. rows - 1 fall into pixel row q = (middle + j) div Subsamples, runs of up to 30
        // consecutive samples per row, starting with row middle div Subsamples: each run is added at once.
        // The counts are whole numbers far below 2^24, so adding a run's length gives exactly the sum of its
        // single samples.
        std::int64_t q = middle / Subsamples;
        for (std::int64_t j = 0; j < rows; ++q) {
            const std::int64_t runEnd = std::min(rows, (q + 1) * Subsamples - middle);
            const auto samples = static_cast<float>(runEnd - j);
            column[q] += samples;
            mirrored[q] += samples;
            column[size - q] += samples;
            mirrored[size - q] += samples;
            j = runEnd;
        }
    }
}

// Whether the shadow pixel of cell (i, j) shows beside the ball: its point, displaced by ShadowOffset, lies
// strictly outside the ball's disc. The squared distance is a whole number plus one half and the squared
// radius a whole number plus one quarter, so the two never tie.
bool ShadowVisible(std::int32_t i, std::int32_t j) {
    const Extended half = static_cast<Extended>(SpriteSize) / 2.0L;
    const Extended dx = static_cast<Extended>(i + ShadowOffset) - half;
    const Extended dy = static_cast<Extended>(j + ShadowOffset) - half;
    return std::sqrt(dx * dx + dy * dy) > half;
}

// Turns every count into a coverage byte 0..255 (halves up) and counts the entries of the four lists.
void QuantiseAndCount(CoverageGrid& kernel) {
    for (std::int32_t i = 0; i < SpriteSize; ++i) {
        for (std::int32_t j = 0; j < SpriteSize; ++j) {
            float& cell = kernel[static_cast<std::size_t>(i) * static_cast<std::size_t>(SpriteSize) +
                                 static_cast<std::size_t>(j)];
            // The middle cells collect up to 2025 samples from the two halves; a pixel is at most full.
            if (cell > 900.0f) {
                cell = 900.0f;
            }
            const std::int32_t coverage = RoundHalfUp((static_cast<Extended>(cell) / SamplesPerPixel) *
                                                      static_cast<Extended>(FullCoverage));
            cell = static_cast<float>(coverage);
            if (coverage == 0) {
                continue;
            }
            const bool visible = ShadowVisible(i, j);
            if (coverage == FullCoverage) {
                ++BodyFullLast;
                ShadowFullLast += visible ? 1 : 0;
            } else {
                ++BodyEdgeLast;
                ShadowEdgeLast += visible ? 1 : 0;
            }
        }
    }
}

// Creates each list once, at its final length with every field zero; the counts become last indices.
void CreateLists() {
    BodyFullPixels = std::vector<SpritePixel>(static_cast<std::size_t>(BodyFullLast));
    BodyEdgePixels = std::vector<SpritePixel>(static_cast<std::size_t>(BodyEdgeLast));
    ShadowFullPixels = std::vector<SpritePixel>(static_cast<std::size_t>(ShadowFullLast));
    ShadowEdgePixels = std::vector<SpritePixel>(static_cast<std::size_t>(ShadowEdgeLast));
    --BodyFullLast;
    --BodyEdgeLast;
    --ShadowFullLast;
    --ShadowEdgeLast;
}

// The LightTable column for the ball pixel in cell (i, j): 100 at the highlight point near the top left,
// growing with the distance from it, so the ball is lit there and darkened toward the far rim. The distance
// is taken from the cell's column and row numbers, not from its centre. Rounded with halves to even.
std::uint16_t ShadeAt(std::int32_t i, std::int32_t j, Extended highlight) {
    const Extended dx = highlight - static_cast<Extended>(i);
    const Extended dy = highlight - static_cast<Extended>(j);
    const Extended scaled =
        std::sqrt(dx * dx + dy * dy) * 412.0L / (static_cast<Extended>(SpriteSize) * 0.9L);
    return static_cast<std::uint16_t>(static_cast<std::int32_t>(std::rint(scaled)) + 100);
}

// Fills the lists column by column from the left, each column from the top. A shadow entry sits one pixel
// up and left of the point its visibility was tested at.
void FillLists(const CoverageGrid& kernel) {
    const Extended highlight = static_cast<Extended>(SpriteSize) * 0.29L;
    std::size_t bodyFull = 0;
    std::size_t bodyEdge = 0;
    std::size_t shadowFull = 0;
    std::size_t shadowEdge = 0;
    for (std::int32_t i = 0; i < SpriteSize; ++i) {
        for (std::int32_t j = 0; j < SpriteSize; ++j) {
            const auto coverage = static_cast<std::int32_t>(
                kernel[static_cast<std::size_t>(i) * static_cast<std::size_t>(SpriteSize) +
                       static_cast<std::size_t>(j)]);
            if (coverage == 0) {
                continue;
            }
            const bool visible = ShadowVisible(i, j);
            const std::int32_t shadowCol = i + ShadowOffset - 1;
            const std::int32_t shadowRow = j + ShadowOffset - 1;
            if (coverage == FullCoverage) {
                if (visible) {
                    ShadowFullPixels[shadowFull++] = SpritePixel{shadowCol, shadowRow, 0, 0, 0};
                }
                BodyFullPixels[bodyFull++] = SpritePixel{i, j, ShadeAt(i, j, highlight), 0, 0};
            } else {
                const auto alpha = static_cast<std::uint8_t>(coverage);
                const auto invAlpha = static_cast<std::uint8_t>(FullCoverage - coverage);
                if (visible) {
                    ShadowEdgePixels[shadowEdge++] = SpritePixel{shadowCol, shadowRow, 0, alpha, invAlpha};
                }
                BodyEdgePixels[bodyEdge++] = SpritePixel{i, j, ShadeAt(i, j, highlight), alpha, invAlpha};
            }
        }
    }
}
} // namespace

std::int64_t DiscRadiusSub() {
    // Halves to even. At widths of 16 k + 8 the product is a half but for rounding, so the 64-bit rounding of
    // it and of Scale decides which way the radius goes: every build rounds both as the desktop does (either
    // alone leaves some of those widths apart).
    const Extended radius = std::nearbyint(RoundToDesktopPrecision((30.0L * BallRadius) * Scale));
    // Neither NaN nor a huge radius reaches the conversion, and the square stays far inside 64 bits: no
    // sprite is wider than LargestSprite pixels, and a disc wider than its square is cut at the edge anyway.
    if (!(radius > 0.0L)) {
        return 0;
    }
    if (radius > static_cast<Extended>(Subsamples * LargestSprite)) {
        return Subsamples * LargestSprite;
    }
    return static_cast<std::int64_t>(radius);
}

void BuildSpriteTables() {
    ComputeSpriteGeometry();
    {
        // The grid lives only in this block: it is gone before the blend tables are built, and an allocation
        // that fails further on releases it on the way out.
        CoverageGrid kernel(static_cast<std::size_t>(SpriteSize) * static_cast<std::size_t>(SpriteSize),
                            0.0f);
        SampleDisc(kernel);
        QuantiseAndCount(kernel);
        CreateLists();
        FillLists(kernel);
    }
    BuildBlendTables();
    BuildSpriteRuns();
    HalfSprite = SpriteSize / 2;
}
