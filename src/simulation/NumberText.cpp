#include "simulation/NumberText.h"

#include <algorithm>
#include <charconv>

std::string NumberText(Extended value) {
    // to_chars is locale-free and formats long double the same with every runtime; the separator is put in
    // afterwards.
    char text[64];
    const std::to_chars_result result =
        std::to_chars(text, text + sizeof text, value, std::chars_format::general, 15);
    std::string number(text, result.ec == std::errc{} ? result.ptr : text);
    std::replace(number.begin(), number.end(), '.', platform::DecimalSeparator());
    return number;
}
