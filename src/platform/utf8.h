// UTF-8 to UTF-16, for arguments and session descriptions on hosts whose
// text is UTF-8.
#pragma once

#include <string>
#include <string_view>

// Decodes UTF-8; each byte that does not start or continue a valid sequence
// becomes U+FFFD, as does a truncated sequence.
std::u16string DecodeUtf8(std::string_view bytes);

// True when `bytes` is entirely valid UTF-8.
bool IsValidUtf8(std::string_view bytes);
