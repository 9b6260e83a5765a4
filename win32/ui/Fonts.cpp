// Face fall-backs: metric-compatible free faces first (they keep the layout of the
// named face), then faces of the same kind that Wine or Windows carry.
#include "win32/ui/Fonts.h"

#include "win32/base/Utf16.h"

#include <array>
#include <string_view>

namespace zorvi {
namespace {

struct TFallback {
    std::string_view Face;
    std::array<const wchar_t*, 4> Candidates;
};

// Requested face → close faces, best first (nullptr ends a shorter list).
constexpr std::array kFallbacks = {
    TFallback{"Arial", {L"Liberation Sans", L"Arimo", L"DejaVu Sans", L"Tahoma"}},
    TFallback{"Courier New", {L"Liberation Mono", L"Cousine", L"DejaVu Sans Mono", L"Courier"}},
    TFallback{"MS Sans Serif", {L"Microsoft Sans Serif", L"Tahoma", L"Liberation Sans", nullptr}},
};

int CALLBACK NoteFamilyFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0; // one match is enough
}

} // namespace

bool FontFamilyInstalled(const std::wstring& face, BYTE charset) {
    LOGFONTW query{};
    query.lfCharSet = charset;
    if (face.empty() || face.size() >= LF_FACESIZE)
        return false;
    face.copy(query.lfFaceName, face.size());
    bool found = false;
    TWindowDC screen(nullptr);
    EnumFontFamiliesExW(screen.Get(), &query, NoteFamilyFound, reinterpret_cast<LPARAM>(&found), 0);
    return found;
}

std::wstring ResolveFontFace(const std::string& face, BYTE charset) {
    std::wstring wide = WideFromUtf8(face);
    if (FontFamilyInstalled(wide, charset))
        return wide;
    for (const TFallback& fallback : kFallbacks) {
        if (fallback.Face != face)
            continue;
        for (const wchar_t* candidate : fallback.Candidates) {
            if (candidate && FontFamilyInstalled(candidate, charset))
                return candidate;
        }
    }
    return wide;
}

TFontHandle CreateFontFromSpec(const TFontSpec& font, UINT dpi) {
    const std::wstring face = ResolveFontFace(font.Face, font.Charset);
    // A negative height asks for the character height rather than the cell height.
    return TFontHandle(CreateFontW(-ScaleToDpi(font.Height, dpi), 0, 0, 0,
                                   font.Bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                                   font.Charset, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                   DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face.c_str()));
}

} // namespace zorvi
