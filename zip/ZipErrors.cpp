#include "zip/ZipErrors.h"

namespace zorvi {

EBadZipFile::EBadZipFile() : EZipError(kTextBadZipFile) {}
ENotAZipFile::ENotAZipFile() : EZipError(kTextBadZipFile) {}
EIncompleteZip::EIncompleteZip() : EZipError(kTextIncompleteZip) {}
EOverlappedEntries::EOverlappedEntries() : EZipError(kTextOverlappedEntries) {}

std::string FormatWithNumber(const char* text, long long value) {
    std::string formatted(text);
    const auto at = formatted.find("%d");
    if (at != std::string::npos) {
        formatted.replace(at, 2, std::to_string(value));
    }
    return formatted;
}

namespace {

[[noreturn]] void RaiseStreamError(const std::string& message) {
    throw EStreamError(message);
}

std::string WithName(const char* text, const std::string& name) {
    std::string formatted(text);
    const auto at = formatted.find("%s");
    if (at != std::string::npos) {
        formatted.replace(at, 2, name);
    }
    return formatted;
}

} // namespace

EVolumeNotFound::EVolumeNotFound(int volume, const std::string& path)
    : EUserCanceled(WithName(FormatWithNumber(kTextVolumeNotFound, volume).c_str(), path)) {}

void RaiseBadZipFile() {
    throw EBadZipFile();
}

void RaiseNotAZipFile() {
    throw ENotAZipFile();
}

void RaiseIncompleteZip() {
    throw EIncompleteZip();
}

void RaiseOverlappedEntries() {
    throw EOverlappedEntries();
}

void RaiseUserCanceled() {
    throw EUserCanceled();
}

void RaiseVolumeNotFound(int volume, const std::string& path) {
    throw EVolumeNotFound(volume, path);
}

void RaiseFatalUnzipError() {
    throw EFatalUnzipError();
}

void RaiseListError(const std::string& text) {
    throw EListError(text);
}

void RaiseListError(const char* text, int value) {
    RaiseListError(FormatWithNumber(text, value));
}

void RaiseClassNotFound(const char* text, const std::string& className) {
    throw EClassNotFound(WithName(text, className));
}

void RaiseInvalidSeekOrigin(int origin) {
    RaiseStreamError(FormatWithNumber("Invalid seek origin (%d)", origin));
}

void RaiseSeekError(int origin) {
    RaiseStreamError(FormatWithNumber("Ошибка поиска", origin));
}

void RaisePutbackOverflow() {
    RaiseStreamError("Putback overflow");
}

void RaiseStreamReadError() {
    RaiseStreamError("Stream read error");
}

void RaiseFileOpenError(const std::string& path, const std::string& reason) {
    throw EFOpenError("Cannot open file \"" + path + "\". " + reason);
}

void RaiseFileCreateError(const std::string& path, const std::string& reason) {
    throw EFCreateError("Cannot create file \"" + path + "\". " + reason);
}

} // namespace zorvi
