// Entry names and comments as the component's UTF-8 text. A header stores them as bytes
// and says little about their code page, so the bytes are read by these rules, first that
// applies:
//   1. an Info-ZIP Unicode field in the header's extra block (0x7075 for the name, 0x6375
//      for the comment) whose CRC-32 is that of the header's own bytes: its UTF-8 text. A
//      CRC-32 that differs means a tool changed the name after the field was written, and
//      the header's bytes are the newer;
//   2. flag bit 11 (the writer promises UTF-8), or bytes that are valid UTF-8 with at least
//      one byte above 0x7F, from any host: UTF-8. Today's tools on Unix write UTF-8 without
//      the flag; Cyrillic text in either code page below is almost never valid UTF-8;
//   3. otherwise the host's code page: MS-DOS hosts (and local headers, which name no
//      host) wrote the OEM code page, 866 on a Russian system; other hosts the ANSI code
//      page, 1251.
// Names come back with "\" between folders.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zorvi {

/// The name of an entry from its header's bytes, flags and extra block (see above).
/// `fromLocalHeader`: the name of a local header, read as from an MS-DOS host.
std::string DecodeEntryName(std::string_view raw, std::uint16_t versionMadeBy,
                            std::uint16_t bitFlags, bool fromLocalHeader, std::string_view extra);

/// An entry's comment from its central header's bytes and extra block (see above).
std::string DecodeEntryComment(std::string_view raw, std::uint16_t versionMadeBy,
                               std::string_view extra);

/// The archive's comment: it has no host and no extra block, so UTF-8 when valid, else
/// Windows Cyrillic.
std::string DecodeArchiveComment(std::string_view raw);

} // namespace zorvi
