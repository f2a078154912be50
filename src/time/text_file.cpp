#include "time/text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
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
  if (path.find('\0') != std::string_view::npos) return std::unexpected(ReadError{"path contains a NUL byte"});
  const std::string c_path(path);
  // Non-blocking so that opening a FIFO without a writer cannot hang; a
  // regular file ignores the flag.
  FileDescriptor file(::open(c_path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (file.get() < 0) return std::unexpected(os_error(errno));

  struct stat status {};
  if (::fstat(file.get(), &status) != 0) return std::unexpected(os_error(errno));
  if (S_ISDIR(status.st_mode)) return std::unexpected(os_error(EISDIR));
  if (!S_ISREG(status.st_mode)) return std::unexpected(ReadError{"not a regular file"});
  if (status.st_size < 0 || static_cast<unsigned long long>(status.st_size) > kMaxTextFileBytes) {
    return std::unexpected(too_large());
  }

  std::string bytes;
  bytes.resize(static_cast<std::size_t>(status.st_size));
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
