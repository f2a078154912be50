#include "time/text_file.h"

#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

#include "core/text_format.h"
#include "time/file_descriptor.h"

namespace ephemeris {
namespace {

ReadError os_error(int code) { return ReadError{std::generic_category().message(code)}; }

ReadError too_large() {
  return ReadError{"file is larger than " + std::to_string(kMaxTextFileBytes) + " bytes"};
}

}  // namespace

std::expected<std::string, ReadError> read_text_file(std::string_view path) {
  auto opened = open_regular_file(path);
  if (!opened) {
    switch (opened.error().kind) {
      case OpenFileError::Kind::NulInPath:
        return std::unexpected(ReadError{"path contains a NUL byte"});
      case OpenFileError::Kind::NotRegularFile:
        return std::unexpected(ReadError{std::string(kNotRegularFileText)});
      case OpenFileError::Kind::Os:
        break;
    }
    return std::unexpected(os_error(opened.error().os_error));
  }
  const FileDescriptor& file = opened->file;
  if (opened->stamp.size > kMaxTextFileBytes) return std::unexpected(too_large());

  std::string bytes;
  bytes.resize(static_cast<std::size_t>(opened->stamp.size));
  std::size_t filled = 0;
  // The file may grow or shrink while it is read: stop at end of file, and
  // refuse it once it passes the size limit.
  for (;;) {
    if (filled == bytes.size()) {
      if (bytes.size() > kMaxTextFileBytes) return std::unexpected(too_large());
      bytes.resize(bytes.size() + 4096);
    }
    const ssize_t n = ::read(file.get(), bytes.data() + filled, bytes.size() - filled);
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::unexpected(os_error(errno));
    }
    if (n == 0) break;
    filled += static_cast<std::size_t>(n);
  }
  bytes.resize(filled);
  if (!is_valid_utf8(bytes)) return std::unexpected(ReadError{std::string(kInvalidUtf8Text)});
  return bytes;
}

}  // namespace ephemeris
