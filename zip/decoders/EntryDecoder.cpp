// The one dispatch from a ZIP compression method to its decoder, for the engine, the tests
// and the benchmark alike.
#include "zip/decoders/EntryDecoder.h"

namespace zorvi {

bool TEntryDecoder::DecodeEntry(int method) {
    switch (method) {
    case 0:
        UnstoreEntry();
        return true;
    case 1:
        UnshrinkEntry();
        return true;
    case 2: // reduced with compression factors 1 to 4
    case 3:
    case 4:
    case 5:
        UnreduceEntry(method);
        return true;
    case 6:
        ExplodeEntry();
        return true;
    case 8:
        InflateEntry();
        return true;
    case 9:
        Inflate64Entry();
        return true;
    default:
        return false;
    }
}

} // namespace zorvi
