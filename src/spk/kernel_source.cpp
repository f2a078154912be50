#include "spk/kernel_source.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <system_error>

namespace ephemeris {

std::string message(const KernelIoError& error) {
  switch (error.kind) {
    case KernelIoError::Kind::UnexpectedEof:
      return "failed to fill whole buffer";
    case KernelIoError::Kind::InvalidSeek:
      return "invalid seek to a negative or overflowing position";
    case KernelIoError::Kind::Os:
      break;
  }
  return std::system_category().message(error.os_error) + " (os error " + std::to_string(error.os_error) + ")";
}

ReadOnlyMapping::ReadOnlyMapping(ReadOnlyMapping&& other) noexcept : data_(other.data_), size_(other.size_) {
  other.data_ = nullptr;
  other.size_ = 0;
}

ReadOnlyMapping& ReadOnlyMapping::operator=(ReadOnlyMapping&& other) noexcept {
  if (this != &other) {
    reset();
    data_ = other.data_;
    size_ = other.size_;
    other.data_ = nullptr;
    other.size_ = 0;
  }
  return *this;
}

ReadOnlyMapping::~ReadOnlyMapping() { reset(); }

void ReadOnlyMapping::reset() noexcept {
  if (data_ != nullptr) ::munmap(const_cast<std::byte*>(data_), size_);
  data_ = nullptr;
  size_ = 0;
}

std::expected<ReadOnlyMapping, KernelIoError> map_readonly(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return std::unexpected(KernelIoError::os(errno));
  // Only regular files have a length that describes their content.
  if (!S_ISREG(info.st_mode)) return std::unexpected(KernelIoError::os(ENODEV));
  if (info.st_size <= 0) return std::unexpected(KernelIoError::os(EINVAL));
  if (static_cast<std::uint64_t>(info.st_size) > std::numeric_limits<std::size_t>::max()) {
    return std::unexpected(KernelIoError::os(EFBIG));
  }
  const auto size = static_cast<std::size_t>(info.st_size);
  void* data = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
  if (data == MAP_FAILED) return std::unexpected(KernelIoError::os(errno));
  return ReadOnlyMapping(static_cast<const std::byte*>(data), size);
}

namespace {

std::expected<FileDescriptor, KernelIoError> open_read_only(const std::string& path) {
  if (path.find('\0') != std::string::npos) return std::unexpected(KernelIoError::os(EINVAL));
  int fd = -1;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return std::unexpected(KernelIoError::os(errno));
  return FileDescriptor(fd);
}

}  // namespace

std::expected<KernelSource, KernelIoError> KernelSource::open(const std::string& path) {
  auto file = open_read_only(path);
  if (!file) return std::unexpected(file.error());
  auto mapping = map_readonly(file->get());
  if (!mapping) return from_file(std::move(*file));  // the mapping error is dropped on purpose
  return from_mapping(std::move(*file), std::move(*mapping));
}

std::expected<KernelSource, KernelIoError> KernelSource::open_unmapped(const std::string& path) {
  auto file = open_read_only(path);
  if (!file) return std::unexpected(file.error());
  return from_file(std::move(*file));
}

KernelSource KernelSource::from_file(FileDescriptor file) { return KernelSource(std::move(file), {}); }

KernelSource KernelSource::from_mapping(FileDescriptor file, ReadOnlyMapping mapping) {
  return KernelSource(std::move(file), std::move(mapping));
}

KernelSource KernelSource::from_bytes(std::vector<std::byte> bytes) {
  KernelSource source({}, {});
  source.bytes_ = std::move(bytes);
  source.holds_bytes_ = true;
  return source;
}

std::span<const std::byte> KernelSource::memory() const {
  if (is_mapped()) return {mapping_.data(), mapping_.size()};
  return bytes_;
}

std::expected<std::size_t, KernelIoError> KernelSource::read(std::span<std::byte> buffer) {
  if (reads_memory()) {
    const std::span<const std::byte> bytes = memory();
    const std::uint64_t length = bytes.size();
    const std::uint64_t remaining = length - std::min(position_, length);
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, buffer.size()));
    if (count > 0) std::memcpy(buffer.data(), bytes.data() + position_, count);
    position_ += count;
    return count;
  }
  const std::size_t request = std::min<std::size_t>(buffer.size(), std::numeric_limits<ssize_t>::max());
  const ssize_t got = ::read(file_.get(), buffer.data(), request);
  if (got < 0) return std::unexpected(KernelIoError::os(errno));
  return static_cast<std::size_t>(got);
}

std::expected<void, KernelIoError> KernelSource::read_exact(std::span<std::byte> buffer) {
  while (!buffer.empty()) {
    const auto got = read(buffer);
    if (!got) {
      if (got.error().kind == KernelIoError::Kind::Os && got.error().os_error == EINTR) continue;
      return std::unexpected(got.error());
    }
    if (*got == 0) return std::unexpected(KernelIoError::unexpected_eof());
    buffer = buffer.subspan(*got);
  }
  return {};
}

std::expected<std::uint64_t, KernelIoError> KernelSource::seek(SeekFrom to) {
  if (reads_memory()) {
    if (to.origin == SeekFrom::Origin::Start) {
      position_ = to.from_start;
      return position_;
    }
    const std::uint64_t base = to.origin == SeekFrom::Origin::End ? memory().size() : position_;
    std::uint64_t target = 0;
    if (to.delta >= 0) {
      if (__builtin_add_overflow(base, static_cast<std::uint64_t>(to.delta), &target)) {
        return std::unexpected(KernelIoError::invalid_seek());
      }
    } else {
      // Magnitude of a negative 64-bit value, safe for the minimum.
      const std::uint64_t back = ~static_cast<std::uint64_t>(to.delta) + 1;
      if (back > base) return std::unexpected(KernelIoError::invalid_seek());
      target = base - back;
    }
    position_ = target;
    return position_;
  }
  off_t offset = 0;
  int whence = SEEK_SET;
  switch (to.origin) {
    case SeekFrom::Origin::Start:
      // An offset beyond the signed range turns negative and is refused by the system.
      offset = static_cast<off_t>(to.from_start);
      whence = SEEK_SET;
      break;
    case SeekFrom::Origin::End:
      offset = static_cast<off_t>(to.delta);
      whence = SEEK_END;
      break;
    case SeekFrom::Origin::Current:
      offset = static_cast<off_t>(to.delta);
      whence = SEEK_CUR;
      break;
  }
  const off_t result = ::lseek(file_.get(), offset, whence);
  if (result < 0) return std::unexpected(KernelIoError::os(errno));
  return static_cast<std::uint64_t>(result);
}

std::expected<std::uint64_t, KernelIoError> KernelSource::length() const {
  if (reads_memory()) return memory().size();
  struct stat info {};
  if (::fstat(file_.get(), &info) != 0) return std::unexpected(KernelIoError::os(errno));
  return info.st_size < 0 ? 0 : static_cast<std::uint64_t>(info.st_size);
}

}  // namespace ephemeris
