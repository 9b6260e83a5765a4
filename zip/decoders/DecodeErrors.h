// The exceptions of the ZIP component's decoding layer. Every exception class of the
// component derives from EZipError, so a caller can catch the component's failures as one
// kind; the decoding layer raises the four classes below, each with its fixed text.
#pragma once

#include <stdexcept>
#include <string>

namespace zorvi {

/// Common base of every exception the ZIP component raises; carries a fixed message text.
class EZipError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// The archive delivered fewer bytes than requested and no next volume can be asked for.
class EFatalUnzipError : public EZipError {
public:
    EFatalUnzipError() : EZipError("Premature end of file reached") {}
};

/// A next volume was asked for and none was supplied. The decoding layer only lets it pass:
/// the engine raises it from its volume request, and no decoder swallows it.
class EUserCanceled : public EZipError {
public:
    EUserCanceled() : EZipError("User canceled loading new disk.") {}

protected:
    /// For the kinds of "no next volume" that say more.
    explicit EUserCanceled(const std::string& message) : EZipError(message) {}
};

/// Writing the output buffer would make the file longer than the entry's uncompressed size.
class EBiggerThanUncompressed : public EZipError {
public:
    EBiggerThanUncompressed()
        : EZipError("Размер архивированного файла больше чем размер до архивации!") {}
};

/// The output file accepted fewer bytes than offered.
class ECantWriteUCF : public EZipError {
public:
    ECantWriteUCF() : EZipError("Не могу записать разархивированный файл") {}
};

} // namespace zorvi
