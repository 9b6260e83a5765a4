// Fakes of everything the update workflow reaches through its interfaces. They share
// one journal, so a test sees log lines, message boxes, waits for the instrument,
// tool runs and file writes in the order in which they happened.
#pragma once

#include "app/ArchiveExtractor.h"
#include "app/DeviceLink.h"
#include "app/EmbeddedArchive.h"
#include "app/FlashJob.h"
#include "app/ProcessRunner.h"
#include "app/UpdateWorkflow.h"
#include "app/WorkFolderFiles.h"
#include "common/MessageBox.h"
#include "common/ProgressLog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace zorvi::testing {

using TJournal = std::vector<std::string>;

/// Journal entries of the log, in the order written: "LOG " + the text as passed.
inline std::vector<std::string> LogLines(const TJournal& journal) {
    std::vector<std::string> lines;
    for (const std::string& entry : journal) {
        if (entry.rfind("LOG ", 0) == 0) {
            lines.push_back(entry.substr(4));
        }
    }
    return lines;
}

inline std::size_t CountOf(const TJournal& journal, const std::string& entry) {
    return static_cast<std::size_t>(std::count(journal.begin(), journal.end(), entry));
}

class TJournalLog : public TProgressLog {
public:
    explicit TJournalLog(TJournal& journal) : Journal(journal) {}
    void AddLogLine(const std::string& text) override { Journal.push_back("LOG " + text); }
    TJournal& Journal;
};

/// Answers boxes from a script; records "BOX <caption> <style>: <text>".
class TScriptedBoxes : public TMessageBoxes {
public:
    explicit TScriptedBoxes(TJournal& journal) : Journal(journal) {}
    int ShowMessageBox(const std::string& text, const std::string& caption,
                       unsigned style) override {
        Journal.push_back("BOX " + caption + " " + std::to_string(style) + ": " + text);
        Texts.push_back(text);
        if (auto whileShown = std::exchange(WhileShown, nullptr)) {
            whileShown(); // messages the box's own loop handles, once
        }
        if (Answers.empty()) {
            ADD_FAILURE() << "unexpected message box: " << text;
            return kIdCancel;
        }
        const int answer = Answers.front();
        Answers.pop_front();
        return answer;
    }
    TJournal& Journal;
    std::deque<int> Answers;
    std::vector<std::string> Texts;
    std::function<void()> WhileShown;
};

class TJournalView : public TStartFrameView {
public:
    explicit TJournalView(TJournal& journal) : Journal(journal) {}
    void ClearLog() override { Journal.push_back("CLEAR"); }
    void SetStartEnabled(bool enabled) override {
        StartEnabled = enabled;
        Journal.push_back(enabled ? "START ON" : "START OFF");
    }
    TJournal& Journal;
    bool StartEnabled = true;
};

/// One outcome of the connect dialog.
struct TFoundDevice {
    bool Found = true;
    std::string Port;
    std::string Version;
    /// false: the answer carried no readable version (Version is then not taken).
    bool VersionRead = true;
};

/// The connect dialog from a script; records "WAIT". Like the real dialog it keeps
/// the last version when a wait is aborted or its answer had no readable version.
class TScriptedDevice : public TDeviceConnection {
public:
    explicit TScriptedDevice(TJournal& journal) : Journal(journal) {}
    bool WaitForDevice() override {
        Journal.push_back("WAIT");
        Port.clear();
        VersionRead = false;
        if (Waits.empty()) {
            ADD_FAILURE() << "unexpected wait for the instrument";
            return false;
        }
        const TFoundDevice next = Waits.front();
        Waits.pop_front();
        if (next.Found) {
            Port = next.Port;
            VersionRead = next.VersionRead;
            if (next.VersionRead) {
                Version = next.Version;
            }
        }
        return next.Found;
    }
    std::string DevicePort() const override { return Port; }
    std::string DeviceVersion() const override { return Version; }
    bool DeviceVersionRead() const override { return VersionRead; }
    TJournal& Journal;
    std::deque<TFoundDevice> Waits;
    std::string Port;
    std::string Version;
    bool VersionRead = false;
};

class TScriptedRecalibration : public TRecalibration {
public:
    explicit TScriptedRecalibration(TJournal& journal) : Journal(journal) {}
    bool RunRecalibration() override {
        Journal.push_back("RECALIBRATE");
        if (Results.empty()) {
            ADD_FAILURE() << "unexpected recalibration";
            return false;
        }
        const bool result = Results.front();
        Results.pop_front();
        return result;
    }
    TJournal& Journal;
    std::deque<bool> Results;
};

class TFixedPersonalFolder : public TPersonalFolder {
public:
    std::string GetPersonalFolder() override { return Path; }
    std::string Path = "C:\\Users\\op\\Documents";
};

/// A Windows file system in memory: names match without regard to case, as on the
/// work folder's file system. Records "WRITE <path>", "MKDIR <path>" and
/// "DELETE <path>".
class TMemoryFileSystem : public TFileSystem {
public:
    explicit TMemoryFileSystem(TJournal& journal) : Journal(journal) {}

    static std::string Key(const std::string& path) {
        std::string key = path;
        std::transform(key.begin(), key.end(), key.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return key;
    }
    bool FolderExists(const std::string& path) const override {
        if (Folders.count(Key(path)) != 0) {
            return true;
        }
        Error = kPathNotFound;
        return false;
    }
    bool MakeFolder(const std::string& path) override {
        Journal.push_back("MKDIR " + path);
        if (Refused.count(Key(path)) != 0) {
            Error = kAccessDenied;
            return false;
        }
        Folders.insert(Key(path));
        return true;
    }
    bool FileExists(const std::string& path) const override {
        if (Files.count(Key(path)) != 0) {
            return true;
        }
        Error = kFileNotFound;
        return false;
    }
    bool RemoveFile(const std::string& path) override {
        Journal.push_back("DELETE " + path);
        if (Undeletable.count(Key(path)) != 0) {
            Error = kAccessDenied;
            return false;
        }
        Files.erase(Key(path));
        return true;
    }
    std::string LastErrorText() const override { return Error; }
    std::size_t WriteWholeFile(const std::string& path, std::string_view bytes) override {
        Journal.push_back("WRITE " + path);
        if (Unwritable.count(Key(path)) != 0) {
            throw EInOutError("Не удаётся создать файл " + path);
        }
        const std::size_t written = std::min(bytes.size(), WriteLimit);
        Files[Key(path)] = std::string(bytes.substr(0, written));
        return written;
    }
    std::string Read(const std::string& path) const {
        const auto found = Files.find(Key(path));
        return found == Files.end() ? std::string() : found->second;
    }
    void AddFolder(const std::string& path) { Folders.insert(Key(path)); }

    // The system's words this fake answers with.
    static constexpr const char* kPathNotFound = "Системе не удается найти указанный путь.";
    static constexpr const char* kFileNotFound = "Не удается найти указанный файл.";
    static constexpr const char* kAccessDenied = "Отказано в доступе.";

    TJournal& Journal;
    std::set<std::string> Folders;
    std::map<std::string, std::string> Files;
    std::set<std::string> Refused;                         // folders that cannot be made
    std::set<std::string> Undeletable;                     // files that cannot be deleted
    mutable std::string Error;                             // LastErrorText
    std::set<std::string> Unwritable;                      // files that cannot be created
    std::size_t WriteLimit = static_cast<std::size_t>(-1); // a full disk
};

class TStringArchive : public TEmbeddedArchive {
public:
    std::string_view Bytes() const override { return Content; }
    std::string Content = std::string("PK\x03\x04", 4) + std::string(300, 'z');
};

/// Records every call in the extraction component's terms ("ZipName=...") and
/// extracts as told.
class TRecordingExtractor : public TArchiveExtractor {
public:
    void SetZipName(const std::string& path) override { Calls.push_back("ZipName=" + path); }
    void ReadZipDirectory() override {
        Calls.push_back("ReadZipDirectory");
        if (DirectoryUnreadable) {
            throw std::runtime_error("Архив поврежден");
        }
    }
    int EntryCount() const override {
        const_cast<TRecordingExtractor*>(this)->Calls.push_back("EntryCount");
        return Entries;
    }
    void SetDestDir(const std::string& folder) override { Calls.push_back("DestDir=" + folder); }
    void AddFileMask(const std::string& mask) override { Calls.push_back("FilesList+" + mask); }
    void SetDoAll(bool value) override { Calls.push_back(Flag("DoAll", value)); }
    void SetRecreateDirs(bool value) override { Calls.push_back(Flag("RecreateDirs", value)); }
    void SetRetainAttributes(bool value) override {
        Calls.push_back(Flag("RetainAttributes", value));
    }
    void SetOverwriteAlways() override { Calls.push_back("OverwriteMode=Always"); }
    void SetPassword(const std::string& password) override {
        Calls.push_back("Password=" + password);
    }
    int ExtractFiles() override {
        Calls.push_back("ExtractFiles");
        return Extracted;
    }
    static std::string Flag(const std::string& name, bool value) {
        return name + (value ? "=true" : "=false");
    }

    std::vector<std::string> Calls;
    int Entries = 6;
    int Extracted = 6;
    bool DirectoryUnreadable = false;
};

/// Runs nothing; answers with scripted exit statuses and keeps what each run saw.
/// Records "RUN". Like the batch, a run writes the success marker into the folder it
/// was handed (kWorkFolderVariable) when Markers says so; without a script, when the
/// status is one a batch that ran through its success path ends with (0 or 4).
class TScriptedRunner : public TProcessRunner {
public:
    TScriptedRunner(TJournal& journal, TMemoryFileSystem& files) : Journal(journal), Files(files) {}
    std::optional<std::uint32_t> RunAndWait(const TConsoleLaunch& launch) override {
        Journal.push_back("RUN");
        Launches.push_back(launch);
        std::string folder;
        for (const auto& [name, value] : launch.Environment) {
            folder = name == kWorkFolderVariable ? value : folder;
        }
        JobFilesSeen.push_back(Files.Read(folder + "fmconfig.txt"));
        MarkersBefore.push_back(
            Files.Files.count(TMemoryFileSystem::Key(folder + kFlashDoneMarker)) != 0);
        if (WhileRunning) {
            WhileRunning(); // the window's messages handled while the tool runs
        }
        if (Statuses.empty()) {
            ADD_FAILURE() << "unexpected tool run";
            return std::nullopt;
        }
        const std::optional<std::uint32_t> status = Statuses.front();
        Statuses.pop_front();
        bool marker = status == 0u || status == 4u;
        if (!Markers.empty()) {
            marker = Markers.front();
            Markers.pop_front();
        }
        if (marker) {
            Files.Files[TMemoryFileSystem::Key(folder + kFlashDoneMarker)] = "ok\r\n";
        }
        return status;
    }
    TJournal& Journal;
    TMemoryFileSystem& Files;
    std::deque<std::optional<std::uint32_t>> Statuses;
    std::deque<bool> Markers;
    /// Whether a marker lay in the folder when each run began.
    std::vector<bool> MarkersBefore;
    std::vector<TConsoleLaunch> Launches;
    std::vector<std::string> JobFilesSeen;
    std::function<void()> WhileRunning;
};

/// The whole environment of one workflow, wired to one journal.
struct TWorkflowRig {
    TJournal Journal;
    TJournalLog Log{Journal};
    TScriptedBoxes Boxes{Journal};
    TJournalView View{Journal};
    TScriptedDevice Device{Journal};
    TScriptedRecalibration Recalibration{Journal};
    TFixedPersonalFolder Personal;
    TMemoryFileSystem Files{Journal};
    TStringArchive Archive;
    TRecordingExtractor UnZip;
    TScriptedRunner Runner{Journal, Files};

    /// The documents folder exists, as on any working profile.
    TWorkflowRig() { Files.AddFolder(Personal.Path); }

    TUpdateEnvironment Environment() {
        return TUpdateEnvironment{Log,      Boxes, View,    Device, Recalibration,
                                  Personal, Files, Archive, UnZip,  Runner};
    }
};

} // namespace zorvi::testing
