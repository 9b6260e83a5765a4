// What ZorviUpdate.exe carries for Windows itself, read the way Windows reads it:
// the manifest through an activation context made from the program (so it must
// parse), and the version resource through the version API.
#include "win32/base/Utf16.h"
#include "win32/ui/MainForm.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zorvi {
namespace {

// The program under test, as this test program sees it (set by CMakeLists.txt).
const std::wstring kProgram = WideFromUtf8(ZORVI_PROGRAM_FILE);

std::wstring ManifestSetting(HANDLE context, const wchar_t* space, const wchar_t* name) {
    wchar_t value[128] = {};
    SIZE_T written = 0;
    if (!QueryActCtxSettingsW(0, context, space, name, value, 128, &written))
        return L"<none>";
    return value;
}

TEST(ProgramResources, ManifestDeclaresPerMonitorDpiAwareness) {
    ACTCTXW request{};
    request.cbSize = sizeof(request);
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.lpSource = kProgram.c_str();
    request.lpResourceName = CREATEPROCESS_MANIFEST_RESOURCE_ID;
    HANDLE context = CreateActCtxW(&request);
    ASSERT_NE(context, INVALID_HANDLE_VALUE) << "the manifest does not parse: " << GetLastError();
    EXPECT_EQ(ManifestSetting(context, L"http://schemas.microsoft.com/SMI/2016/WindowsSettings",
                              L"dpiAwareness"),
              L"PerMonitorV2, PerMonitor");
    EXPECT_EQ(ManifestSetting(context, L"http://schemas.microsoft.com/SMI/2005/WindowsSettings",
                              L"dpiAware"),
              L"true/pm");
    ReleaseActCtx(context);
}

TEST(ProgramResources, VersionResourceNamesTheProgramsVersion) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(kProgram.c_str(), &ignored);
    ASSERT_GT(size, 0u) << "no version resource";
    std::vector<BYTE> data(size);
    ASSERT_TRUE(GetFileVersionInfoW(kProgram.c_str(), 0, size, data.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(8, 1));
    EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(2015, 14));
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);

    // The texts: the version as the main window's caption ends with it.
    const std::string caption = TMainForm::kCaption;
    for (const wchar_t* name : {L"FileVersion", L"ProductVersion"}) {
        const std::wstring path = std::wstring(L"\\StringFileInfo\\041904B0\\") + name;
        wchar_t* text = nullptr;
        ASSERT_TRUE(
            VerQueryValueW(data.data(), path.c_str(), reinterpret_cast<void**>(&text), &length))
            << Utf8FromWide(name);
        EXPECT_EQ("Версия " + Utf8FromWide(text), caption.substr(caption.rfind("Версия ")));
    }
}

} // namespace
} // namespace zorvi
