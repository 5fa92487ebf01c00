#pragma once
// The two numbers of the top-left corner as text.

#include <string>

#include "UTypes.h"

// The general number format with 15 significant digits: fixed-point without trailing zeros below 10^15 and
// from 0.0001 on, scientific notation outside that range; the decimal separator is the user's.
std::string NumberText(Extended value);
