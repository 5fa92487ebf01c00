#pragma once
// The two fully covered pixel lists regrouped, once per sprite, into runs of neighbouring pixels along a row,
// so that a frame writes them a run at a time instead of a pixel at a time. Only the full lists: their
// pixels take a value that does not depend on what the back buffer holds (the body a fixed colour, the
// shadow a darkening of the background), so the order of pixels within a list does not matter. The rims,
// which blend with the back buffer, keep their lists.

#include <vector>

#include "UTypes.h"

struct SpriteRun {
    std::int32_t Col, Row; // first pixel, as in the lists
    std::int32_t Length;
    std::int32_t First; // index of its first pixel in the run order of the list's pixels
};

// A list's runs, and the list's entry behind each pixel in run order (the last entry, where a list names a
// pixel twice: the one whose value a pixel-by-pixel drawing would leave).
struct SpriteRuns {
    std::vector<SpriteRun> Runs;
    std::vector<std::int32_t> Entries;
    std::int32_t LongestRun = 0;
};

extern SpriteRuns BodyFullRuns;
extern SpriteRuns ShadowFullRuns;

// A ball's fully covered body pixels in its colour, three bytes each in run order: what the light table
// gives for the ball's colour and each pixel's shade. Made for the colour and the runs it was made from, and
// made again when either changes.
struct BodyColours {
    std::uint8_t Red = 0, Green = 0, Blue = 0;
    std::uint32_t RunsMade = 0;
    std::vector<std::uint8_t> Bytes;
};
extern BodyColours BallBodyColours[3];
// One background colour darkened by the shadow, repeated for the longest shadow run: a run of the shadow
// over background of one colour, which is what the background is made of, is a copy of it.
struct ShadowFill {
    std::uint8_t Under[3] = {0, 0, 0};
    std::size_t Level = 0;
    std::uint32_t RunsMade = 0;
    std::vector<std::uint8_t> Bytes;
};
extern ShadowFill ShadowFillCache;

// Counts the calls of BuildSpriteRuns: colours made from older runs are made again.
extern std::uint32_t SpriteRunsMade;

// Regroups BodyFullPixels and ShadowFullPixels; the sprite builder calls it (after the blend tables), and so
// must anything that makes or changes those lists or the light table by other means before the next frame.
void BuildSpriteRuns();
// The ball's body colours for its colour and the current runs, made again only when they are not.
const std::uint8_t* BodyColoursOf(const Ball& ball, BodyColours& colours);
// ShadowFillCache for the background pixel `under` at the given light level, made again only when it is not.
const std::uint8_t* ShadowFillFor(const std::uint8_t* under, std::size_t level);
// Gives back their memory.
void ReleaseSpriteRuns();
