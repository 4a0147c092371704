#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace tharvel {

// Length of the well-formed UTF-8 sequence at `pos` of `text`, storing its code
// point in `codePoint`; 0 when the bytes there are not one (overlong forms,
// surrogates, code points past U+10FFFF and cut sequences are not).
size_t utf8SequenceAt(std::string_view text, size_t pos, char32_t& codePoint);

// True when all of `text` is well-formed UTF-8.
bool isValidUtf8(std::string_view text);

// Appends the UTF-8 form of a code point (at most U+10FFFF).
void appendUtf8(std::string& out, char32_t codePoint);

// Each byte read as the Latin-1 character of the same number, in UTF-8.
std::string latin1ToUtf8(std::string_view bytes);

// `text` without the bytes up to U+0020 (blanks and control characters) at either end.
std::string_view trimBlanks(std::string_view text);

// `text` without any of `characters` at either end.
std::string_view trim(std::string_view text, std::string_view characters);

}  // namespace tharvel
