#pragma once

#include <string>
#include <string_view>
#include <vector>

// Turns the bytes of a text file written by hand or by another program into UTF-8.
// A byte-order mark decides first (UTF-8, UTF-16 little or big endian; the mark itself is dropped).
// Without a mark the bytes are taken as UTF-8 when they are valid UTF-8, otherwise as Windows-1252,
// the code page older Windows editors save German text in. Never fails: every byte sequence gives
// some UTF-8 text (broken UTF-16 becomes U+FFFD).
std::string DecodeTextBytes(std::string_view Bytes);

// True when Bytes is well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
bool IsValidUtf8(std::string_view Bytes);

// UTF-16 code units as UTF-8 text; a surrogate without its partner becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view Units);

// UTF-8 text as UTF-16 code units; each byte that does not belong to a well-formed UTF-8 sequence
// becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view Text);

// The lines of a text, without their ends; CR LF, LF and a lone CR each end a line, and an end at the
// very end of the text does not begin another line.
std::vector<std::string_view> SplitLines(std::string_view Text);
