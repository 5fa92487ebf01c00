#pragma once
// The byte tables through which all colour arithmetic of a frame runs, and the rounding routines they and the
// sprite builder share.

#include "UTypes.h"
#include "rendering/Rounding.h"

// Fills MulTable, then LightTable.
void BuildBlendTables();
