// UTF-8 to UTF-16, for arguments and session descriptions on hosts whose
// text is UTF-8, and back, for terminals and the UTF-8 documents.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Whether `c` is a surrogate: one half of a pair, which stands for a code
// point past U+FFFF; alone, a lone surrogate, which UTF-8 cannot hold.
inline bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }
inline bool IsLeadSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }

// Decodes UTF-8; each byte that does not start or continue a valid sequence
// becomes U+FFFD, as does a truncated sequence.
std::u16string DecodeUtf8(std::string_view bytes);
// The same, but each byte that does not start or continue a valid sequence
// becomes the lone surrogate U+DC00 + byte, which no valid UTF-8 decodes
// to: an argument that is not valid UTF-8 is told from one that holds
// U+FFFD (a file's name that cannot be written as given).
std::u16string DecodeUtf8MarkingInvalidBytes(std::string_view bytes);
// Whether `text` holds a lone surrogate.
bool HoldsLoneSurrogate(std::u16string_view text);

// True when `bytes` is entirely valid UTF-8.
bool IsValidUtf8(std::string_view bytes);

// The code point at `*position` of `text`, which it then passes: a surrogate
// pair gives its supplementary code point, a lone surrogate its own value.
char32_t NextCodePoint(const char16_t* text, size_t length, size_t* position);

// Appends the UTF-8 form of `value`; a surrogate or a value past U+10FFFF,
// which UTF-8 cannot hold, becomes U+FFFD.
void AppendUtf8(char32_t value, std::string& bytes);
// The bytes AppendUtf8 writes for `value`.
size_t Utf8Length(char32_t value);
// Appends `text` in UTF-8, code point by code point: a lone surrogate
// becomes U+FFFD.
void AppendUtf8(std::u16string_view text, std::string& bytes);
