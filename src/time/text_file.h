// Whole-file reading of the text tables (leap-second kernel, Earth orientation).
#pragma once

#include <cstddef>
#include <expected>
#include <string>
#include <string_view>

namespace ephemeris {

// The largest text table the system reads, in bytes (256 MiB). The tables it
// knows are a few kilobytes (leap seconds) and a few megabytes (EOP C04); a
// larger file is refused rather than read.
inline constexpr std::size_t kMaxTextFileBytes = std::size_t{256} << 20;

// The read error of a file (or of text handed over in memory) that is not UTF-8.
inline constexpr std::string_view kInvalidUtf8Text = "stream did not contain valid UTF-8";

// Why a file could not be read: the operating system's error text ("No such
// file or directory"), or the reason this reader refused the file.
struct ReadError {
  std::string text;
  friend bool operator==(const ReadError&, const ReadError&) = default;
};

// Reads the regular file at `path` whole into memory and checks that it is
// valid UTF-8. Directories, devices, pipes, files over kMaxTextFileBytes and
// paths holding a NUL byte are refused. The descriptor is closed on every path.
std::expected<std::string, ReadError> read_text_file(std::string_view path);

}  // namespace ephemeris
