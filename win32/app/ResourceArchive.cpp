#include "win32/app/ResourceArchive.h"

#include "app/WorkFolderFiles.h"

namespace zorvi {

std::string_view TResourceArchive::Bytes() const {
    // Resources live in the mapped image until the module is unloaded, so the view
    // stays valid; LoadResource and LockResource need no freeing.
    HRSRC found = FindResourceW(module_, name_, RT_RCDATA);
    HGLOBAL loaded = found != nullptr ? LoadResource(module_, found) : nullptr;
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr) {
        throw EInOutError("Программа не содержит архива обновления.");
    }
    return {static_cast<const char*>(bytes), SizeofResource(module_, found)};
}

} // namespace zorvi
