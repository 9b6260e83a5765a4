// FlashMagicARM.dll: writes an image into an LPC2138 through its boot loader,
// over the serial link that FM.EXE hands in as C callbacks.
#include "tools/flash-tool/dll/FlashMagicApi.h"

#include "tools/flash-tool/core/FlashImage.h"
#include "tools/flash-tool/core/IspHost.h"
#include "tools/flash-tool/core/IspLink.h"
#include "tools/flash-tool/core/Lpc2138.h"
#include "tools/flash-tool/dll/ApiError.h"

#include <exception>
#include <string>

namespace zorvi {
namespace {

// Bytes taken from the port per read call.
constexpr std::uint32_t kReadChunk = 512;

class TCallbackLink final : public TIspLink {
public:
    explicit TCallbackLink(const FmLink& link) : link_(link) {}

    bool Write(std::string_view bytes) override {
        return link_.write(link_.context, bytes.data(), static_cast<std::uint32_t>(bytes.size())) ==
               1;
    }

    bool Read(std::string& bytes, std::chrono::milliseconds timeout) override {
        char buffer[kReadChunk];
        const std::int32_t count = link_.read(link_.context, buffer, kReadChunk,
                                              static_cast<std::uint32_t>(timeout.count()));
        if (count < 0) {
            return false;
        }
        bytes.append(buffer, static_cast<std::size_t>(count));
        return true;
    }

    void DiscardInput() override { link_.discardInput(link_.context); }

private:
    const FmLink& link_;
};

} // namespace
} // namespace zorvi

using zorvi::SetApiError;

extern "C" FM_EXPORT uint32_t FmArmApiVersion(void) {
    return FM_API_VERSION;
}

extern "C" FM_EXPORT int32_t FmArmProgram(const FmLink* link, const FmFlashImage* image,
                                          uint32_t crystalKHz, char* error, uint32_t errorSize) {
    try {
        if (link == nullptr || link->write == nullptr || link->read == nullptr ||
            link->discardInput == nullptr || image == nullptr || image->bytes == nullptr ||
            image->pageUsed == nullptr) {
            return SetApiError("incomplete link or image given", error, errorSize);
        }
        constexpr std::uint32_t kPages =
            zorvi::lpc2138::kUserFlashSize / zorvi::lpc2138::kFlashPageSize;
        if (image->size != zorvi::lpc2138::kUserFlashSize || image->pageCount != kPages) {
            return SetApiError("the image does not have the size of the flash", error, errorSize);
        }
        zorvi::TFlashImage flash;
        flash.bytes.assign(image->bytes, image->bytes + image->size);
        flash.pageUsed.assign(image->pageCount, false);
        for (std::uint32_t i = 0; i < image->pageCount; ++i) {
            flash.pageUsed[i] = image->pageUsed[i] != 0;
        }
        zorvi::TCallbackLink callbackLink(*link);
        const auto progress = [link](const std::string& text) {
            if (link->progress != nullptr) {
                link->progress(link->context, text.c_str());
            }
        };
        std::string message;
        if (!zorvi::ProgramFlash(callbackLink, flash, crystalKHz, progress, message)) {
            return SetApiError(message, error, errorSize);
        }
        return 1;
    } catch (const std::exception& e) {
        return SetApiError(e.what(), error, errorSize);
    }
}
