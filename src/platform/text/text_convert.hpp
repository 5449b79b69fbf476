// Conversion between the toolkit's 8-bit text and the platform's UTF-16 text.
//
// Eight-bit text is UTF-8, or Windows-1252 (the "ANSI code page") when a caller asks for it.
// Invalid input never fails: a malformed UTF-8 sequence or a lone surrogate becomes U+FFFD,
// one replacement per maximal ill-formed subpart (the Unicode recommended practice), and a
// character Windows-1252 cannot hold becomes '?'.
#pragma once

#include <string>
#include <string_view>

namespace platform {

enum class CodePage { Utf8, Ansi };

std::u16string utf8_to_utf16(std::string_view text);
std::string utf16_to_utf8(std::u16string_view text);

std::u16string cp1252_to_utf16(std::string_view text);
std::string utf16_to_cp1252(std::u16string_view text);

// Dispatch on the code page.
std::u16string to_utf16(std::string_view text, CodePage page);
std::string from_utf16(std::u16string_view text, CodePage page);

// Code points of UTF-16 text, decoding surrogate pairs; a lone surrogate yields U+FFFD.
// `pos` is advanced past the unit(s) read.
char32_t next_code_point(std::u16string_view text, size_t& pos);

}  // namespace platform
