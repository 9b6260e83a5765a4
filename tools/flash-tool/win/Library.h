// One of FM.EXE's DLLs, loaded from the folder of FM.EXE itself and unloaded
// with the object.
#pragma once

#include <string>

namespace zorvi {

class TLibrary {
public:
    TLibrary() = default;
    ~TLibrary();
    TLibrary(const TLibrary&) = delete;
    TLibrary& operator=(const TLibrary&) = delete;

    /// Loads `fileName` from the folder of the running program.
    bool Load(const std::wstring& fileName, std::string& error);

    /// The exported function, or nullptr with `error` naming it.
    template <typename TFunction>
    TFunction Function(const char* name, std::string& error) const {
        return reinterpret_cast<TFunction>(Address(name, error));
    }

private:
    void (*Address(const char* name, std::string& error) const)();

    void* module_ = nullptr; // HMODULE
    std::string name_;
};

/// UTF-16 to UTF-8, for messages.
std::string Utf8FromWide(const std::wstring& text);

} // namespace zorvi
