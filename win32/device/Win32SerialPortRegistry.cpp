#include "win32/device/Win32SerialPortRegistry.h"

#include "win32/base/Handles.h"
#include "win32/base/Utf16.h"

#include <windows.h>

#include <string>
#include <vector>

namespace zorvi {
namespace {

constexpr const wchar_t* kSerialCommKey = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";

// Registry text may or may not carry its terminating zero(s); they are not part
// of the port's name.
std::wstring TextOfValue(const std::vector<BYTE>& data, DWORD size) {
    std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), size / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') {
        text.pop_back();
    }
    return text;
}

} // namespace

bool TWin32SerialPortRegistry::ReadSerialComm(std::vector<TSerialCommValue>& values) {
    values.clear();
    TRegistryKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSerialCommKey, 0, KEY_QUERY_VALUE, key.Receive()) !=
        ERROR_SUCCESS) {
        return false;
    }
    DWORD maxName = 0;
    DWORD maxData = 0;
    if (RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         &maxName, &maxData, nullptr, nullptr) != ERROR_SUCCESS) {
        return false;
    }

    std::vector<wchar_t> name(maxName + 1);
    std::vector<BYTE> data(maxData + sizeof(wchar_t));
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD dataSize = static_cast<DWORD>(data.size());
        DWORD type = 0;
        const LONG status = RegEnumValueW(key.Get(), index, name.data(), &nameLength, nullptr,
                                          &type, data.data(), &dataSize);
        if (status == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (status == ERROR_MORE_DATA) {
            // A value was added while we listed: make room and read it again.
            name.resize(name.size() * 2 + 256);
            data.resize(data.size() * 2 + 256);
            --index;
            continue;
        }
        if (status != ERROR_SUCCESS) {
            break;
        }
        TSerialCommValue value;
        value.Name = Utf8FromWide(std::wstring_view(name.data(), nameLength));
        value.IsText = type == REG_SZ || type == REG_EXPAND_SZ;
        if (value.IsText) {
            value.Data = Utf8FromWide(TextOfValue(data, dataSize));
        }
        values.push_back(std::move(value));
    }
    return true;
}

} // namespace zorvi
