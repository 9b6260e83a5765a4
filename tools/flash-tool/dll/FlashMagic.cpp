// FlashMagic.dll: reads the job file and the Intel HEX image for FM.EXE.
#include "tools/flash-tool/dll/FlashMagicApi.h"

#include "tools/flash-tool/core/FlashImage.h"
#include "tools/flash-tool/core/IntelHex.h"
#include "tools/flash-tool/core/JobFile.h"
#include "tools/flash-tool/core/Lpc2138.h"
#include "tools/flash-tool/dll/ApiError.h"

#include <algorithm>
#include <exception>
#include <string>

using zorvi::SetApiError;

extern "C" FM_EXPORT uint32_t FmApiVersion(void) {
    return FM_API_VERSION;
}

extern "C" FM_EXPORT uint32_t FmFlashSize(void) {
    return zorvi::lpc2138::kUserFlashSize;
}

extern "C" FM_EXPORT int32_t FmParseJob(const char* text, uint32_t length, FmJob* job, char* error,
                                        uint32_t errorSize) {
    try {
        if (text == nullptr || job == nullptr) {
            return SetApiError("no job text given", error, errorSize);
        }
        zorvi::TFlashJob parsed;
        std::string message;
        if (!zorvi::ParseJobFile(std::string_view(text, length), parsed, message)) {
            return SetApiError(message, error, errorSize);
        }
        if (parsed.hexFile.size() >= sizeof job->hexFile) {
            return SetApiError("the hex file name is too long", error, errorSize);
        }
        *job = FmJob{};
        job->comPort = parsed.comPort;
        job->baudRate = parsed.baudRate;
        job->crystalKHz = parsed.crystalKHz;
        std::copy(parsed.hexFile.begin(), parsed.hexFile.end(), job->hexFile);
        return 1;
    } catch (const std::exception& e) {
        return SetApiError(e.what(), error, errorSize);
    }
}

extern "C" FM_EXPORT int32_t FmParseHex(const char* text, uint32_t length, FmFlashImage* image,
                                        char* error, uint32_t errorSize) {
    try {
        if (text == nullptr || image == nullptr || image->bytes == nullptr ||
            image->pageUsed == nullptr) {
            return SetApiError("no hex text or image buffer given", error, errorSize);
        }
        constexpr std::uint32_t kPages =
            zorvi::lpc2138::kUserFlashSize / zorvi::lpc2138::kFlashPageSize;
        if (image->size != zorvi::lpc2138::kUserFlashSize || image->pageCount != kPages) {
            return SetApiError("the image buffer does not have the size of the flash", error,
                               errorSize);
        }
        zorvi::THexImage hex;
        zorvi::TFlashImage flash;
        std::string message;
        if (!zorvi::ParseIntelHex(std::string_view(text, length), hex, message) ||
            !zorvi::BuildFlashImage(hex, flash, message)) {
            return SetApiError(message, error, errorSize);
        }
        std::copy(flash.bytes.begin(), flash.bytes.end(), image->bytes);
        std::copy(flash.pageUsed.begin(), flash.pageUsed.end(), image->pageUsed);
        return 1;
    } catch (const std::exception& e) {
        return SetApiError(e.what(), error, errorSize);
    }
}
