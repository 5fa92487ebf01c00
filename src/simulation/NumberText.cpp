#include "simulation/NumberText.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

std::string NumberText(Extended value) {
    // Exact and the same text with every runtime (the Windows runtime's printf cannot print long double):
    // to_chars where the standard library formats floating point, else the C library's printf, which in
    // WebAssembly is linked with its exact long double formatting and never leaves the C locale. The
    // separator is put in afterwards.
    char text[64];
#if defined(__cpp_lib_to_chars)
    const std::to_chars_result result =
        std::to_chars(text, text + sizeof text, value, std::chars_format::general, 15);
    const std::size_t length = result.ec == std::errc{} ? static_cast<std::size_t>(result.ptr - text) : 0;
#else
    const int printed = std::snprintf(text, sizeof text, "%.15Lg", value);
    const std::size_t length = printed > 0 ? std::min(static_cast<std::size_t>(printed), sizeof text - 1) : 0;
#endif
    std::string number(text, length);
    std::replace(number.begin(), number.end(), '.', platform::DecimalSeparator());
    return number;
}
