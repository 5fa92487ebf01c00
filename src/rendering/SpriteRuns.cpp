#include "rendering/SpriteRuns.h"

#include <algorithm>

SpriteRuns BodyFullRuns;
SpriteRuns ShadowFullRuns;
BodyColours BallBodyColours[3];
ShadowFill ShadowFillCache;
std::uint32_t SpriteRunsMade = 0;

namespace {

void Regroup(const std::vector<SpritePixel>& pixels, SpriteRuns& grouped) {
    std::vector<std::int32_t> order(pixels.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = static_cast<std::int32_t>(i);
    }
    // By row, then column, then list position: of a pixel named twice the later entry comes last.
    std::sort(order.begin(), order.end(), [&](std::int32_t a, std::int32_t b) {
        const SpritePixel& p = pixels[static_cast<std::size_t>(a)];
        const SpritePixel& q = pixels[static_cast<std::size_t>(b)];
        return p.Row != q.Row ? p.Row < q.Row : p.Col != q.Col ? p.Col < q.Col : a < b;
    });
    grouped.Runs.clear();
    grouped.Entries.clear();
    grouped.LongestRun = 0;
    for (std::size_t i = 0; i < order.size(); ++i) {
        const SpritePixel& p = pixels[static_cast<std::size_t>(order[i])];
        if (i + 1 < order.size()) {
            const SpritePixel& next = pixels[static_cast<std::size_t>(order[i + 1])];
            if (next.Row == p.Row && next.Col == p.Col) {
                continue; // a later entry names the same pixel
            }
        }
        SpriteRun* last = grouped.Runs.empty() ? nullptr : &grouped.Runs.back();
        if (last && last->Row == p.Row && std::int64_t{last->Col} + last->Length == p.Col) {
            ++last->Length;
        } else {
            grouped.Runs.push_back(
                SpriteRun{p.Col, p.Row, 1, static_cast<std::int32_t>(grouped.Entries.size())});
        }
        grouped.Entries.push_back(order[i]);
        grouped.LongestRun = std::max(grouped.LongestRun, grouped.Runs.back().Length);
    }
}

} // namespace

void BuildSpriteRuns() {
    Regroup(BodyFullPixels, BodyFullRuns);
    Regroup(ShadowFullPixels, ShadowFullRuns);
    ++SpriteRunsMade;
}

const std::uint8_t* BodyColoursOf(const Ball& ball, BodyColours& colours) {
    if (colours.RunsMade != SpriteRunsMade || colours.Red != ball.Red || colours.Green != ball.Green ||
        colours.Blue != ball.Blue || colours.Bytes.size() != 3 * BodyFullRuns.Entries.size()) {
        colours.Bytes.resize(3 * BodyFullRuns.Entries.size());
        std::uint8_t* to = colours.Bytes.data();
        for (const std::int32_t entry : BodyFullRuns.Entries) {
            const std::size_t shade = BodyFullPixels[static_cast<std::size_t>(entry)].Shade;
            *to++ = LightTable[ball.Blue][shade];
            *to++ = LightTable[ball.Green][shade];
            *to++ = LightTable[ball.Red][shade];
        }
        colours.Red = ball.Red;
        colours.Green = ball.Green;
        colours.Blue = ball.Blue;
        colours.RunsMade = SpriteRunsMade;
    }
    return colours.Bytes.data();
}

const std::uint8_t* ShadowFillFor(const std::uint8_t* under, std::size_t level) {
    ShadowFill& fill = ShadowFillCache;
    if (fill.RunsMade != SpriteRunsMade || fill.Level != level || fill.Under[0] != under[0] ||
        fill.Under[1] != under[1] || fill.Under[2] != under[2]) {
        fill.Bytes.resize(3 * static_cast<std::size_t>(ShadowFullRuns.LongestRun));
        for (std::size_t i = 0; i < fill.Bytes.size(); ++i) {
            fill.Bytes[i] = LightTable[under[i % 3]][level];
        }
        std::copy(under, under + 3, fill.Under);
        fill.Level = level;
        fill.RunsMade = SpriteRunsMade;
    }
    return fill.Bytes.data();
}

void ReleaseSpriteRuns() {
    BodyFullRuns = SpriteRuns{};
    ShadowFullRuns = SpriteRuns{};
    for (BodyColours& colours : BallBodyColours) {
        colours = BodyColours{};
    }
    ShadowFillCache = ShadowFill{};
}
