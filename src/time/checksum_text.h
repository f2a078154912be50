// The caller-verified SHA-256 checksums that kernels and tables are opened with.
// The system never computes a checksum; it checks the text's form and records it.
#pragma once

#include <string>
#include <string_view>

namespace ephemeris {

// True when `text` is exactly 64 ASCII hexadecimal digits (either case).
bool is_sha256_text(std::string_view text);

// `text` with ASCII letters in lower case; other bytes unchanged.
std::string ascii_lower(std::string_view text);

}  // namespace ephemeris
