// Fonts by face name, size in pixels and weight, with a fall-back to a close face
// when the named one is not installed (a bare Wine prefix has neither Arial nor
// Courier New).
#pragma once

#include "win32/ui/Dpi.h"
#include "win32/ui/GdiHandles.h"

#include <string>

namespace zorvi {

struct TFontSpec {
    std::string Face;
    /// Character height in layout pixels (the cell height less the internal leading).
    int Height = 11;
    bool Bold = false;
    BYTE Charset = DEFAULT_CHARSET;
};

/// True when a font family of that face name is installed for the character set.
bool FontFamilyInstalled(const std::wstring& face, BYTE charset);

/// The face actually used for a requested one: the face itself when installed,
/// otherwise the first installed face of its fall-back list, otherwise the
/// requested name (the font mapper then picks what it can).
std::wstring ResolveFontFace(const std::string& face, BYTE charset);

/// Creates the font, its height scaled to dpi; never fails short of the system
/// running out of GDI objects.
TFontHandle CreateFontFromSpec(const TFontSpec& font, UINT dpi = kLayoutDpi);

} // namespace zorvi
