// How a decoding step ended, in one type for every decoder: a whole entry, a block, the code
// lengths of a tree, a run of items.
#pragma once

namespace zorvi {

/// Done: the step reached the regular end of what it decodes. BadData: it stopped at data no
/// encoder writes (an invalid code, code lengths that do not make a complete code, a
/// distance before the entry's first byte, a string longer than the format allows, bits
/// taken from past the end of the data). Failures of the input, the output and the hooks are
/// exceptions instead (EntryDecoder.h), and TBuildResult (HuffmanTable.h) stays the table
/// builder's finer verdict on a code set, which a decoder turns into BadData.
enum class TDecodeResult { Done, BadData };

} // namespace zorvi
