#include "time/file_descriptor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace ephemeris {

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.release();
  }
  return *this;
}

FileDescriptor::~FileDescriptor() {
  if (fd_ >= 0) ::close(fd_);
}

int FileDescriptor::release() noexcept {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

namespace {

FileStamp stamp_from(const struct stat& status) {
  return {status.st_size < 0 ? 0 : static_cast<std::uint64_t>(status.st_size),
          static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec};
}

}  // namespace

std::expected<FileStamp, int> stamp_of(int fd) {
  struct stat status {};
  if (::fstat(fd, &status) != 0) return std::unexpected(errno);
  return stamp_from(status);
}

std::expected<RegularFile, OpenFileError> open_regular_file(std::string_view path) {
  const auto os = [](int code) { return std::unexpected(OpenFileError{OpenFileError::Kind::Os, code}); };
  if (path.find('\0') != std::string_view::npos) return std::unexpected(OpenFileError{OpenFileError::Kind::NulInPath});
  const std::string c_path(path);
  int fd = -1;
  do {
    fd = ::open(c_path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return os(errno);
  FileDescriptor file(fd);

  struct stat status {};
  if (::fstat(file.get(), &status) != 0) return os(errno);
  if (S_ISDIR(status.st_mode)) return os(EISDIR);
  if (!S_ISREG(status.st_mode)) return std::unexpected(OpenFileError{OpenFileError::Kind::NotRegularFile});
  // Regular files ignore the flag on Linux, but a FUSE or network file system
  // may see it: reads block as usual from here on.
  const int flags = ::fcntl(file.get(), F_GETFL);
  if (flags < 0 || ::fcntl(file.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return os(errno);
  return RegularFile{std::move(file), stamp_from(status)};
}

}  // namespace ephemeris
