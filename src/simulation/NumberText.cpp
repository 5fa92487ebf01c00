#include "simulation/NumberText.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

std::string NumberText(Extended value) {
    // to_chars is locale-free and formats long double the same with every runtime; the separator is put in
    // afterwards.
    char text[64];
#ifdef __EMSCRIPTEN__
    std::snprintf(text, sizeof text, "%.15Lg", value);
    std::string number(text);
#else
    const std::to_chars_result result =
        std::to_chars(text, text + sizeof text, value, std::chars_format::general, 15);
    std::string number(text, result.ec == std::errc{} ? result.ptr : text);
#endif
    std::replace(number.begin(), number.end(), '.', platform::DecimalSeparator());
    return number;
}
