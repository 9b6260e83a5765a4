// Method 0, stored: the entry's data is the file. It moves whole blocks of up to 32768
// bytes from the archive straight into OutputBuffer (decrypting them in place for an
// encrypted entry) and writes each through FlushOutput, so the size check, the CRC and the
// percent events are the same as for every other method. Nothing compares the compressed
// and uncompressed sizes: data longer than the recorded size is stopped by FlushOutput.
#include <algorithm>

#include "zip/decoders/EntryDecoder.h"
#include "zip/decoders/ZipCipher.h"

namespace zorvi {

void TEntryDecoder::UnstoreEntry() {
    while (archiveBytesLeft_ > 0) {
        if (hooks_.ProcessMessages) {
            hooks_.ProcessMessages();
        }
        const std::size_t wanted =
            static_cast<std::size_t>(std::min<std::int64_t>(archiveBytesLeft_, kBlockSize));
        archiveBytesLeft_ -= static_cast<std::int64_t>(wanted);
        const std::size_t got =
            std::min(entry_.Input->ReadCompressed(outputBuffer_.get(), wanted), wanted);
        if (entry_.Cipher != nullptr) {
            entry_.Cipher->DecryptBuffer(outputBuffer_.get(), got);
        }
        outputCount_ = got;
        FlushOutput();
        if (got < wanted) {
            archiveBytesLeft_ = 0; // the engine returns short only at the end of the data
            return;
        }
    }
    finished_ = true;
}

} // namespace zorvi
