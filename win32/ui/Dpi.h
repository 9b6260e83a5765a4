// Display scale. Every size of our windows is given in layout pixels, the pixels
// of a screen at 96 DPI (100 %), and shown at the DPI of the monitor the window is
// on: the program declares itself per-monitor DPI aware, so Windows no longer
// stretches its bitmap (which blurs it) and every window scales itself instead.
//
// Windows 7 and 8 know neither a window's own DPI nor the ...ForDpi calls; there
// the system DPI holds for every window. The calls of Windows 10 are looked up at
// run time, so the program still starts on the older systems.
#pragma once

#include <windows.h>

namespace zorvi {

/// The DPI at which a layout pixel is one pixel of the screen.
inline constexpr UINT kLayoutDpi = 96;

/// A length in layout pixels at dpi, rounded to the nearest pixel (halves away from
/// zero, as MulDiv rounds).
int ScaleToDpi(int layoutPixels, UINT dpi);

/// A rectangle in layout pixels at dpi. The edges are scaled, not the sizes, so two
/// rectangles that touch at 96 DPI still touch at any DPI.
RECT ScaleRectToDpi(const RECT& layout, UINT dpi);

/// The width of a thin line (a bevel, an outline, the etch of disabled text): one
/// pixel per whole multiple of 96 DPI, so such lines stay sharp instead of turning
/// into one and a half pixels.
int LineWidthAtDpi(UINT dpi);

/// The DPI a window is shown at: that of its monitor on Windows 10 (1607) and
/// later, otherwise the system's.
UINT WindowDpi(HWND window);

/// The outer size of a window of that style whose client area has the given size
/// in screen pixels, with the frame and caption of that DPI.
SIZE OuterSizeForClient(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, UINT dpi);

/// Moves a top-level window to (left, top) and sizes it so that its client area is
/// exactly clientWidth x clientHeight, its frame being that of dpi.
void PlaceWindowAroundClient(HWND window, int left, int top, int clientWidth, int clientHeight,
                             UINT dpi);

} // namespace zorvi
