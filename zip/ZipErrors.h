// The exceptions of the extraction component. Every class derives from EZipError
// (zip/decoders/DecodeErrors.h, shared with the decoding layer, which raises
// EFatalUnzipError, EBiggerThanUncompressed and ECantWriteUCF itself). Each class
// below is thrown in exactly one place, the Raise function named after it, so a
// message text lives in one spot of ZipErrors.cpp.
#pragma once

#include "zip/decoders/DecodeErrors.h"

#include <string>

namespace zorvi {

/// The directory cannot be read, and the recovery scan could not rebuild it.
class EBadZipFile : public EZipError {
public:
    EBadZipFile();
};

/// No end record was found and the caller chose to treat the file as no archive.
class ENotAZipFile : public EZipError {
public:
    ENotAZipFile();
};

/// No end record was found: presumably a volume of a multi-volume archive.
class EIncompleteZip : public EZipError {
public:
    EIncompleteZip();
};

/// Two entries of the archive share bytes: a local header or data lies inside another
/// entry's. No tool writes that; it is how an archive of a few kilobytes unpacks to
/// gigabytes, and the whole archive is refused.
class EOverlappedEntries : public EZipError {
public:
    EOverlappedEntries();
};

/// A volume of split files that is not there: no one cancelled, the file looked for (which
/// the message names) is missing. Its base lets it pass wherever a refused volume does.
class EVolumeNotFound : public EUserCanceled {
public:
    EVolumeNotFound(int volume, const std::string& path);
};

/// An index, a duplicate or an operation a list does not allow.
class EListError : public EZipError {
public:
    explicit EListError(const std::string& message) : EZipError(message) {}
};

/// A class name met while storing or loading an object list is not registered.
class EClassNotFound : public EZipError {
public:
    explicit EClassNotFound(const std::string& message) : EZipError(message) {}
};

/// A buffered stream was asked for something it cannot do (bad origin, put-back).
class EStreamError : public EZipError {
public:
    explicit EStreamError(const std::string& message) : EZipError(message) {}
};

/// A file could not be opened for reading.
class EFOpenError : public EZipError {
public:
    explicit EFOpenError(const std::string& message) : EZipError(message) {}
};

/// A file could not be created (or truncated) for writing.
class EFCreateError : public EZipError {
public:
    explicit EFCreateError(const std::string& message) : EZipError(message) {}
};

// Fixed texts of the component, in the words it has always shown them.
inline constexpr const char* kTextBadZipFile = "Некорректный zip файл!";
inline constexpr const char* kTextIncompleteZip = "Неполный Zip файл";
inline constexpr const char* kTextIndexOutOfRange = "Индекс %d за пределами разрешенного диапазона";
inline constexpr const char* kTextListIndex = "List index out of bounds (%d)";
inline constexpr const char* kTextOverlappedEntries =
    "Invalid zip file with overlapped components (possible zip bomb)";
inline constexpr const char* kTextVolumeNotFound =
    "Volume %d of the multi-volume archive not found: \"%s\"";

[[noreturn]] void RaiseBadZipFile();
[[noreturn]] void RaiseNotAZipFile();
[[noreturn]] void RaiseIncompleteZip();
[[noreturn]] void RaiseOverlappedEntries();
[[noreturn]] void RaiseUserCanceled();
/// Volume `volume` (1-based) looked for as the file `path`.
[[noreturn]] void RaiseVolumeNotFound(int volume, const std::string& path);
[[noreturn]] void RaiseFatalUnzipError();
/// text may hold one %d, replaced by value.
[[noreturn]] void RaiseListError(const char* text, int value = 0);
[[noreturn]] void RaiseListError(const std::string& text);
[[noreturn]] void RaiseClassNotFound(const char* text, const std::string& className);
[[noreturn]] void RaiseInvalidSeekOrigin(int origin);
[[noreturn]] void RaiseSeekError(int origin);
[[noreturn]] void RaisePutbackOverflow();
[[noreturn]] void RaiseStreamReadError();
[[noreturn]] void RaiseFileOpenError(const std::string& path, const std::string& reason);
[[noreturn]] void RaiseFileCreateError(const std::string& path, const std::string& reason);

/// Replaces the first %d of text by value.
std::string FormatWithNumber(const char* text, long long value);

} // namespace zorvi
