// The file name of a path, as every file the system opens records it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ephemeris {

// The final component of `path`: the text after the last "/" once trailing
// separators and "." components are ignored ("a/b.tls//" and "a/b.tls/." give
// "b.tls"). There is none for the root, an empty path, "." or a path whose
// final component is "..". The bytes are returned as they are, whatever their
// encoding.
std::optional<std::string_view> final_path_component(std::string_view path);

// The final component of `path` when it exists and is valid UTF-8; the name a
// kernel or table is recorded under.
std::optional<std::string> utf8_file_name(std::string_view path);

}  // namespace ephemeris
