#include <algorithm>

#include "platform/platform.h"

namespace platform {

bool ClipCopy(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height, std::int32_t sourceX,
              std::int32_t sourceY, std::int32_t sourceWidth, std::int32_t sourceHeight,
              std::int32_t destinationWidth, std::int32_t destinationHeight, CopyRect& clipped) {
    if (width <= 0 || height <= 0 || sourceWidth <= 0 || sourceHeight <= 0 || destinationWidth <= 0 ||
        destinationHeight <= 0) {
        return false;
    }
    // 64-bit arithmetic: a corner near the int32 limits plus a width must not overflow.
    std::int64_t left = x, top = y, right = std::int64_t{x} + width, bottom = std::int64_t{y} + height;
    const std::int64_t shiftX = std::int64_t{sourceX} - x, shiftY = std::int64_t{sourceY} - y;
    // Destination bounds, and the source bounds carried into destination coordinates.
    left = std::max({left, std::int64_t{0}, -shiftX});
    top = std::max({top, std::int64_t{0}, -shiftY});
    right = std::min({right, std::int64_t{destinationWidth}, std::int64_t{sourceWidth} - shiftX});
    bottom = std::min({bottom, std::int64_t{destinationHeight}, std::int64_t{sourceHeight} - shiftY});
    if (left >= right || top >= bottom) {
        return false;
    }
    clipped.X = static_cast<std::int32_t>(left);
    clipped.Y = static_cast<std::int32_t>(top);
    clipped.Width = static_cast<std::int32_t>(right - left);
    clipped.Height = static_cast<std::int32_t>(bottom - top);
    clipped.SourceX = static_cast<std::int32_t>(left + shiftX);
    clipped.SourceY = static_cast<std::int32_t>(top + shiftY);
    return true;
}

} // namespace platform
