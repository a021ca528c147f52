#pragma once

#include <windows.h>

// The scale of a window and the size of its frame, from the per-monitor functions of Windows 10
// (1607) and later where the system has them, from the screen's scale elsewhere. The functions
// are looked up when the program runs: named as imports, they would keep it from starting on
// Windows 7 and 8.
//
// With per-monitor awareness a window on a monitor of another scale than the main one has that
// monitor's caption and borders; AdjustWindowRectEx would give the main monitor's, and the
// client area would come out too small or too large by the difference.

// The dots per inch of the window's monitor (GetDpiForWindow), else of the screen.
UINT WindowDpi(HWND window);

// The outer size of a window of that style whose client area is width × height, with the frame
// of a window at dpi (AdjustWindowRectExForDpi), else of the screen's scale.
SIZE OuterSizeForClient(int width, int height, DWORD style, DWORD exStyle, UINT dpi);
