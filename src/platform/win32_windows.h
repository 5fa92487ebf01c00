#pragma once
// <windows.h> for a file that also declares the interface: the macros Windows defines under the interface's
// function names (for its ANSI and wide variants) are removed, so each name means the interface's function
// and Windows' own is written with its variant (GetMessageA) or as ::Name.

#include <windows.h>

#undef GetMessage
#undef DispatchMessage
#undef DefWindowProc
#undef SendMessage
#undef RegisterClass
#undef UnregisterClass
#undef CreateWindowEx
#undef GetModuleHandle
#undef LoadCursor
#undef MessageBox
