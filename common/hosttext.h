// The host's 8-bit text (paths, names of conditions, regions and predictors)
// as UTF-8, for what the plug-in writes as text of characters: the provenance
// records (JSON) and the QC report (HTML). Files in the host's own formats
// (.sdm, list files) keep the host's bytes.
//
// The rule, the same for every text:
//   - plain ASCII is kept as it is;
//   - on Windows the host's text is in the system's ANSI code page: it is
//     converted from it (a text that is not valid in it is read as Latin-1);
//   - elsewhere valid UTF-8 is kept as it is, and any other text is read as
//     Latin-1, each byte one character U+0000..U+00FF.
// No byte becomes U+FFFD: texts of the same kind (all UTF-8, or all in one
// 8-bit code page) that differ stay different, and the bytes can be had
// back from the characters.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ppi {

std::string hostTextToUtf8(std::string_view text);

// The length of the valid UTF-8 sequence at text[at], or 0 when the bytes
// there are no valid character (stray, overlong, surrogate, past U+10FFFF).
std::size_t utf8SequenceLength(std::string_view text, std::size_t at);

// True when `text` is valid UTF-8 (no stray, overlong or surrogate sequence,
// nothing past U+10FFFF).
bool isValidUtf8(std::string_view text);

#if defined(_WIN32)
// The host's text as the system's wide-character calls take it: converted
// from the ANSI code page as the system's "A" calls read it.
std::wstring hostTextToWide(std::string_view text);
#endif

}  // namespace ppi
