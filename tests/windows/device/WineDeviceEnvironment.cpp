#include "WineDeviceEnvironment.h"

#include "win32/base/Handles.h"
#include "win32/base/Utf16.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace zorvi::test {
namespace {

using namespace std::chrono_literals;

constexpr const wchar_t* kSerialCommKey = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) {
        ADD_FAILURE() << name << " is not set: run the test through run-device-wine-tests.sh";
        return {};
    }
    return value;
}

// Plain stdio: under Wine, a stream inserting the buffer of an empty file never returns.
std::string ReadFile(const std::string& path) {
    std::string text;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
            text.append(buffer, got);
        }
        std::fclose(file);
    }
    return text;
}

bool WaitFor(std::chrono::milliseconds timeout, const auto& condition) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

std::wstring ModuleFolder() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

void CreateSerialCommKey(TRegistryKey& key) {
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSerialCommKey, 0, nullptr, REG_OPTION_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr),
              ERROR_SUCCESS);
}

} // namespace

TSimulatedInstrument::TSimulatedInstrument(const std::string& port) {
    const std::string variable = "ZORVI_SIM_" + port;
    controlPath_ = Environment(variable.c_str());
    logPath_ = controlPath_ + ".log";
    // Lines already in the file were carried out before this object existed.
    std::istringstream lines(ReadFile(controlPath_));
    for (std::string line; std::getline(lines, line);) {
        ++sent_;
    }
}

void TSimulatedInstrument::Command(const std::string& line) {
    {
        std::ofstream out(controlPath_, std::ios::app | std::ios::binary);
        out << line << '\n';
    }
    ++sent_;
    const bool done = WaitFor(5s, [&] {
        std::size_t count = 0;
        std::istringstream(ReadFile(controlPath_ + ".ack")) >> count;
        return count >= sent_;
    });
    ASSERT_TRUE(done) << "the simulator did not carry out: " << line;
}

void TSimulatedInstrument::Reset() {
    for (const char* line :
         {"set silent=0", "set foreign=0", "set no-start=0", "set no-calc=0", "set flood=0",
          "set dribble=0", "set reply-delay=10", "set missing-marker=", "set model=Zorvi-41K6UV",
          "set version=1V4", "set date=12.03.2019"}) {
        Command(line);
    }
}

std::string TSimulatedInstrument::Log() const {
    return ReadFile(logPath_);
}

bool TSimulatedInstrument::LogShows(const std::string& text, std::size_t from) const {
    return WaitFor(1s, [&] { return Log().find(text, from) != std::string::npos; });
}

void SetSerialComm(const std::vector<std::pair<std::string, std::string>>& values) {
    DeleteSerialCommKey();
    TRegistryKey key;
    CreateSerialCommKey(key);
    for (const auto& [name, data] : values) {
        const std::wstring wideName = WideFromUtf8(name);
        const std::wstring wideData = WideFromUtf8(data);
        EXPECT_EQ(RegSetValueExW(key.Get(), wideName.c_str(), 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(wideData.c_str()),
                                 static_cast<DWORD>((wideData.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }
}

void AddSerialCommNumber(const std::string& name, DWORD number) {
    TRegistryKey key;
    CreateSerialCommKey(key);
    EXPECT_EQ(RegSetValueExW(key.Get(), WideFromUtf8(name).c_str(), 0, REG_DWORD,
                             reinterpret_cast<const BYTE*>(&number), sizeof number),
              ERROR_SUCCESS);
}

void DeleteSerialCommKey() {
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kSerialCommKey);
}

bool TakeScreenshot(const std::string& name) {
    const std::string folder = Environment("ZORVI_SHOTS");
    const std::string request = folder + "\\" + name + ".request";
    const std::string done = folder + "\\" + name + ".done";
    std::ofstream(request).put('\n');
    return WaitFor(20s,
                   [&] { return GetFileAttributesA(done.c_str()) != INVALID_FILE_ATTRIBUTES; });
}

TKernelHandle StartGuiDriver(const std::vector<std::string>& arguments) {
    std::wstring command = L"\"" + ModuleFolder() + L"gui-driver.exe\"";
    for (const auto& argument : arguments) {
        command += L" \"" + WideFromUtf8(argument) + L"\"";
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        ADD_FAILURE() << "gui-driver.exe did not start, error " << GetLastError();
        return {};
    }
    const TKernelHandle thread(process.hThread);
    return TKernelHandle(process.hProcess);
}

DWORD WaitForExit(const TKernelHandle& process, std::chrono::milliseconds timeout) {
    if (!process.Valid()) {
        return ~0u;
    }
    DWORD code = ~0u;
    if (WaitForSingleObject(process.Get(), static_cast<DWORD>(timeout.count())) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.Get(), &code);
    }
    return code;
}

int TRecordingLog::Count(const std::string& text) const {
    return static_cast<int>(std::count(Lines.begin(), Lines.end(), text));
}

} // namespace zorvi::test
