#pragma once
// Frame composition: erase both balls, draw both shadows and both balls into the back buffer, and copy the
// two dirty rectangles to the window.

#include "UTypes.h"

void ComposeFrame();
// A composed frame, then the whole back buffer copied to the window: the first picture of start-up.
void PresentAll();
