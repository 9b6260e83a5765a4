#include "tools/flash-tool/win/Library.h"

#include <windows.h>

namespace zorvi {
namespace {

std::wstring ProgramFolder() {
    std::wstring path(MAX_PATH, L'\0');
    while (true) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    // Started from a network folder, Wine names the program "UNC\server\share\..."
    // (the system's \??\UNC\ form without its \??\), which is no path; Windows
    // names it \\server\share\....
    if (path.rfind(L"UNC\\", 0) == 0) {
        path = L"\\\\" + path.substr(4);
    }
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

} // namespace

std::string Utf8FromWide(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size,
                        nullptr, nullptr);
    return utf8;
}

TLibrary::~TLibrary() {
    if (module_ != nullptr) {
        FreeLibrary(static_cast<HMODULE>(module_));
    }
}

bool TLibrary::Load(const std::wstring& fileName, std::string& error) {
    name_ = Utf8FromWide(fileName);
    // A full path: the library beside FM.EXE and no other of the same name.
    const std::wstring path = ProgramFolder() + fileName;
    // No "cannot find" dialog box from the system for a damaged file.
    const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE module = LoadLibraryW(path.c_str());
    const DWORD code = GetLastError();
    SetErrorMode(previous);
    if (module == nullptr) {
        error = name_ + " cannot be loaded from " + Utf8FromWide(path) +
                (code == ERROR_MOD_NOT_FOUND || code == ERROR_FILE_NOT_FOUND
                     ? ": the file is missing"
                     : ": the file is damaged (Windows error " + std::to_string(code) + ")");
        return false;
    }
    module_ = module;
    return true;
}

void (*TLibrary::Address(const char* name, std::string& error) const)() {
    const FARPROC address = GetProcAddress(static_cast<HMODULE>(module_), name);
    if (address == nullptr) {
        error = name_ + " is damaged or of another version: it lacks " + name;
        return nullptr;
    }
    return reinterpret_cast<void (*)()>(address);
}

} // namespace zorvi
