#include "win32/ui/Glyph.h"

#include <algorithm>
#include <array>

namespace zorvi {

TBitmapHandle MakeTwoStateGlyph(int size, const TGlyphPainter& paint) {
    TWindowDC screen(nullptr);
    TBitmapHandle bitmap(CreateCompatibleBitmap(screen.Get(), 2 * size, size));
    TMemoryDC dc(screen.Get());
    TSelection selected(dc.Get(), bitmap.Get());
    const RECT all{0, 0, 2 * size, size};
    SetBkColor(dc.Get(), kGlyphTransparent);
    ExtTextOutW(dc.Get(), 0, 0, ETO_OPAQUE, &all, nullptr, 0, nullptr);
    paint(dc.Get(), 0, 0, size, true);
    paint(dc.Get(), size, 0, size, false);
    return bitmap;
}

int GlyphOutlineWidth(int size) {
    constexpr int kDesignSize = 24;
    return std::max(1, size / kDesignSize);
}

void PaintLightningBolt(HDC dc, int left, int top, int size, bool enabled) {
    // The bolt on a 24 x 24 design grid, clockwise from its top right corner: a
    // parallelogram falling to the left, a step to the right, a point at the bottom
    // left, and back up along the step.
    constexpr std::array<POINT, 7> kBolt = {{
        {15, 1},
        {7, 12},
        {12, 12},
        {5, 23},
        {19, 9},
        {13, 9},
        {19, 1},
    }};
    constexpr int kDesignSize = 24;
    std::array<POINT, kBolt.size()> points{};
    for (size_t i = 0; i < kBolt.size(); ++i) {
        points[i].x = left + kBolt[i].x * size / kDesignSize;
        points[i].y = top + kBolt[i].y * size / kDesignSize;
    }
    const COLORREF fill = enabled ? RGB(255, 230, 0) : RGB(192, 192, 192);
    const COLORREF outline = enabled ? RGB(128, 80, 0) : RGB(128, 128, 128);
    TBrushHandle brush(CreateSolidBrush(fill));
    TPenHandle pen(CreatePen(PS_SOLID, GlyphOutlineWidth(size), outline));
    TSelection selectedBrush(dc, brush.Get());
    TSelection selectedPen(dc, pen.Get());
    Polygon(dc, points.data(), static_cast<int>(points.size()));
}

void DrawGlyph(HDC dc, HBITMAP glyph, int size, int image, int left, int top) {
    TMemoryDC source(dc);
    TSelection selected(source.Get(), glyph);
    GdiTransparentBlt(dc, left, top, size, size, source.Get(), image * size, 0, size, size,
                      kGlyphTransparent);
}

} // namespace zorvi
