// FM.EXE: writes a firmware image into the instrument's LPC2138 through its boot
// loader. Started by the update's batch file as
//     FM.EXE @fmconfig.txt
// in the folder that holds the job file and the HEX file. The work is done by
// FlashMagic.dll (job file, HEX image) and FlashMagicARM.dll (the boot loader
// protocol); this program loads them, reads the files, opens the COM port and
// reports on its console. Exit status 0 when the image was written and started,
// 1 on any failure.
#include "tools/flash-tool/dll/FlashMagicApi.h"
#include "tools/flash-tool/win/Files.h"
#include "tools/flash-tool/win/Library.h"
#include "tools/flash-tool/win/Win32SerialLink.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace zorvi {
namespace {

constexpr int kSuccess = 0;
constexpr int kFailure = 1;

// The job file's text is in the Windows Cyrillic code page.
constexpr unsigned kJobCodePage = 1251;

constexpr std::uint32_t kFlashPageSize = 256;

void Say(const std::string& text) {
    std::fputs((text + "\n").c_str(), stdout);
    std::fflush(stdout);
}

int Fail(const std::string& message) {
    Say("Error: " + message);
    Say("Flashing failed.");
    return kFailure;
}

struct TLibraries {
    TLibrary flashMagic;
    TLibrary flashMagicArm;
    FmParseJobFn parseJob = nullptr;
    FmFlashSizeFn flashSize = nullptr;
    FmParseHexFn parseHex = nullptr;
    FmArmProgramFn program = nullptr;
};

bool LoadLibraries(TLibraries& libraries, std::string& error) {
    if (!libraries.flashMagic.Load(L"FlashMagic.dll", error) ||
        !libraries.flashMagicArm.Load(L"FlashMagicARM.dll", error)) {
        return false;
    }
    const auto version = libraries.flashMagic.Function<FmApiVersionFn>("FmApiVersion", error);
    const auto armVersion =
        libraries.flashMagicArm.Function<FmApiVersionFn>("FmArmApiVersion", error);
    libraries.parseJob = libraries.flashMagic.Function<FmParseJobFn>("FmParseJob", error);
    libraries.flashSize = libraries.flashMagic.Function<FmFlashSizeFn>("FmFlashSize", error);
    libraries.parseHex = libraries.flashMagic.Function<FmParseHexFn>("FmParseHex", error);
    libraries.program = libraries.flashMagicArm.Function<FmArmProgramFn>("FmArmProgram", error);
    if (!version || !armVersion || !libraries.parseJob || !libraries.flashSize ||
        !libraries.parseHex || !libraries.program) {
        return false;
    }
    if (version() != FM_API_VERSION || armVersion() != FM_API_VERSION) {
        error = "FlashMagic.dll and FlashMagicARM.dll do not belong to this FM.EXE";
        return false;
    }
    return true;
}

// The C callbacks through which FlashMagicARM.dll uses the port.
FmLink LinkTo(TWin32SerialLink& port) {
    FmLink link{};
    link.context = &port;
    link.write = [](void* context, const char* bytes, std::uint32_t count) -> std::int32_t {
        return static_cast<TWin32SerialLink*>(context)->Write(bytes, count) ? 1 : 0;
    };
    link.read = [](void* context, char* buffer, std::uint32_t capacity,
                   std::uint32_t timeoutMs) -> std::int32_t {
        return static_cast<TWin32SerialLink*>(context)->Read(buffer, capacity, timeoutMs);
    };
    link.discardInput = [](void* context) {
        static_cast<TWin32SerialLink*>(context)->DiscardInput();
    };
    link.progress = [](void*, const char* text) { Say(std::string("  ") + text); };
    return link;
}

int Run(int argc, wchar_t** argv) {
    Say("FM.EXE - in-system programming of the LPC2138 over a serial port");
    if (argc != 2 || argv[1][0] != L'@' || argv[1][1] == L'\0') {
        return Fail("usage: FM.EXE @<job file>");
    }

    std::string error;
    TLibraries libraries;
    if (!LoadLibraries(libraries, error)) {
        return Fail(error);
    }

    const std::wstring jobPath = argv[1] + 1;
    std::string jobText;
    if (!ReadWholeFile(jobPath, jobText, error)) {
        return Fail("job file " + error);
    }
    char message[512] = "";
    FmJob job{};
    if (!libraries.parseJob(jobText.data(), static_cast<std::uint32_t>(jobText.size()), &job,
                            message, sizeof message)) {
        return Fail(Utf8FromWide(jobPath) + ": " + message);
    }
    Say("Job file: " + Utf8FromWide(jobPath));

    const std::wstring hexPath = WideFromCodePage(job.hexFile, kJobCodePage);
    std::string hexText;
    if (!ReadWholeFile(hexPath, hexText, error)) {
        return Fail("HEX file " + error);
    }
    const std::uint32_t flashSize = libraries.flashSize();
    std::vector<std::uint8_t> bytes(flashSize);
    std::vector<std::uint8_t> pages(flashSize / kFlashPageSize);
    FmFlashImage image{bytes.data(), flashSize, pages.data(),
                       static_cast<std::uint32_t>(pages.size())};
    if (!libraries.parseHex(hexText.data(), static_cast<std::uint32_t>(hexText.size()), &image,
                            message, sizeof message)) {
        return Fail(Utf8FromWide(hexPath) + ": " + message);
    }
    std::size_t usedPages = 0;
    for (const std::uint8_t used : pages) {
        usedPages += used;
    }
    Say("HEX file: " + Utf8FromWide(hexPath) + ", " + std::to_string(usedPages) +
        " pages of 256 bytes to write");

    const std::string portName = "COM" + std::to_string(job.comPort);
    TWin32SerialLink port;
    if (!port.Open(job.comPort, job.baudRate, error)) {
        return Fail(portName + ": " + error);
    }
    Say("Port: " + portName + " at " + std::to_string(job.baudRate) + " baud");

    const FmLink link = LinkTo(port);
    if (!libraries.program(&link, &image, job.crystalKHz, message, sizeof message)) {
        return Fail(message);
    }
    Say("Flashing completed.");
    return kSuccess;
}

} // namespace
} // namespace zorvi

int wmain(int argc, wchar_t** argv) {
    // A failure must end with an exit status, never with a system dialog box.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    try {
        return zorvi::Run(argc, argv);
    } catch (const std::exception& e) {
        return zorvi::Fail(e.what());
    }
}
