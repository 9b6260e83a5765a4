/* The interface between FM.EXE and its two libraries, in plain C so that the
 * three modules share no C++ runtime objects: each keeps its own heap, and every
 * buffer crosses the boundary owned by the caller.
 *
 *   FlashMagic.dll     the job file and the Intel HEX image
 *   FlashMagicARM.dll  the LPC2000 boot loader protocol over a link the caller gives
 *
 * Functions return 1 on success and 0 on failure, with a NUL-terminated message
 * (UTF-8, cut to the buffer) in `error`. */
#pragma once

#include <stdint.h>

#if defined(_WIN32) && defined(FM_BUILDING_DLL)
#define FM_EXPORT __declspec(dllexport)
#else
#define FM_EXPORT
#endif

/* Raised whenever a structure or function below changes meaning. */
#define FM_API_VERSION 1u

#ifdef __cplusplus
extern "C" {
#endif

/* What FM.EXE needs of the job file. */
typedef struct FmJob {
    int32_t comPort; /* n of COMn */
    uint32_t baudRate;
    uint32_t crystalKHz; /* told to the boot loader after synchronising */
    char hexFile[260];   /* 8-bit (code page 1251) name as written in the job file */
} FmJob;

/* The firmware as laid out in the user flash: `bytes` holds `size` bytes from
 * address 0 (erased bytes 0xFF), `pageUsed` one flag (0 or 1) per 256 bytes. */
typedef struct FmFlashImage {
    uint8_t* bytes;
    uint32_t size;
    uint8_t* pageUsed;
    uint32_t pageCount;
} FmFlashImage;

/* The serial link as FlashMagicARM.dll uses it. `read` returns the count of bytes
 * placed in the buffer, as soon as there are any or after `timeoutMs` with none
 * (0), or -1 when the port failed; `write` returns 1 when all bytes went out. */
typedef struct FmLink {
    void* context;
    int32_t (*write)(void* context, const char* bytes, uint32_t count);
    int32_t (*read)(void* context, char* buffer, uint32_t capacity, uint32_t timeoutMs);
    void (*discardInput)(void* context);
    void (*progress)(void* context, const char* text);
} FmLink;

/* FlashMagic.dll */
FM_EXPORT uint32_t FmApiVersion(void);
FM_EXPORT int32_t FmParseJob(const char* text, uint32_t length, FmJob* job, char* error,
                             uint32_t errorSize);
/* The image must have the size of the LPC2138's user flash (FmFlashSize()). */
FM_EXPORT uint32_t FmFlashSize(void);
FM_EXPORT int32_t FmParseHex(const char* text, uint32_t length, FmFlashImage* image, char* error,
                             uint32_t errorSize);

/* FlashMagicARM.dll */
FM_EXPORT uint32_t FmArmApiVersion(void);
FM_EXPORT int32_t FmArmProgram(const FmLink* link, const FmFlashImage* image, uint32_t crystalKHz,
                               char* error, uint32_t errorSize);

typedef uint32_t (*FmApiVersionFn)(void);
typedef int32_t (*FmParseJobFn)(const char*, uint32_t, FmJob*, char*, uint32_t);
typedef uint32_t (*FmFlashSizeFn)(void);
typedef int32_t (*FmParseHexFn)(const char*, uint32_t, FmFlashImage*, char*, uint32_t);
typedef int32_t (*FmArmProgramFn)(const FmLink*, const FmFlashImage*, uint32_t, char*, uint32_t);

#ifdef __cplusplus
}
#endif
