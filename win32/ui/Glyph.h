// Two-state button glyphs: one bitmap holding two square images side by side, the
// normal one at the left and the disabled one at the right, on a background of the
// transparent colour (magenta), which the button leaves unpainted.
#pragma once

#include "win32/ui/Handles.h"

#include <functional>

namespace zorvi {

/// The colour of glyph pixels that are not drawn.
inline constexpr COLORREF kGlyphTransparent = RGB(255, 0, 255);

/// Draws one image of a glyph into the square at (left, top) of the given size.
using TGlyphPainter = std::function<void(HDC dc, int left, int top, int size, bool enabled)>;

/// A (2 * size) x size bitmap on magenta, with the normal image drawn at the left
/// and the disabled image at the right.
TBitmapHandle MakeTwoStateGlyph(int size, const TGlyphPainter& paint);

/// The Start button's picture: a lightning bolt, yellow with a dark outline when
/// enabled, in two greys when disabled.
void PaintLightningBolt(HDC dc, int left, int top, int size, bool enabled);

/// Draws image 0 (normal) or 1 (disabled) of a two-state glyph at (left, top),
/// leaving its transparent pixels alone.
void DrawGlyph(HDC dc, HBITMAP glyph, int size, int image, int left, int top);

} // namespace zorvi
