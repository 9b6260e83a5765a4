// Two-state button glyphs: one bitmap holding two square images side by side, the
// normal one at the left and the disabled one at the right, on a background of the
// transparent colour (magenta), which the button leaves unpainted.
//
// A glyph is an outline on a 24 x 24 design grid, painted into a bitmap of the size
// it is shown at: 24 pixels at 96 DPI, 36 at 144, 48 at 192. Painting the outline
// anew gives sharp edges at every scale from one source. A 24-pixel bitmap
// stretched smoothly would blur (and its magenta, which is either transparent or
// not, would leave a pink fringe at the blended edges); bitmaps drawn for a few
// chosen scales would still be stretched at all the others (125 %, 175 %, ...).
#pragma once

#include "win32/ui/GdiHandles.h"

#include <functional>

namespace zorvi {

/// The colour of glyph pixels that are not drawn.
inline constexpr COLORREF kGlyphTransparent = RGB(255, 0, 255);

/// Draws one image of a glyph into the square at (left, top) of the given size, in
/// pixels.
using TGlyphPainter = std::function<void(HDC dc, int left, int top, int size, bool enabled)>;

/// A (2 * size) x size bitmap on magenta, with the normal image drawn at the left
/// and the disabled image at the right.
TBitmapHandle MakeTwoStateGlyph(int size, const TGlyphPainter& paint);

/// Width of a glyph's outline at a size: one pixel per whole 24 pixels.
int GlyphOutlineWidth(int size);

/// The Start button's picture: a lightning bolt, yellow with a dark outline when
/// enabled, in two greys when disabled.
void PaintLightningBolt(HDC dc, int left, int top, int size, bool enabled);

/// Draws image 0 (normal) or 1 (disabled) of a two-state glyph at (left, top),
/// leaving its transparent pixels alone.
void DrawGlyph(HDC dc, HBITMAP glyph, int size, int image, int left, int top);

} // namespace zorvi
