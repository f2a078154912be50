#include "spk/kernel_source.h"

#include <unistd.h>

#include <algorithm>
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
    case KernelIoError::Kind::NotRegularFile:
      return std::string(kNotRegularFileText);
    case KernelIoError::Kind::FileChanged:
      if (error.size_then == error.size_now) return "file was modified after it was opened";
      return "file size changed from " + std::to_string(error.size_then) + " to " + std::to_string(error.size_now) +
             " bytes after it was opened";
    case KernelIoError::Kind::Os:
      break;
  }
  return std::system_category().message(error.os_error) + " (os error " + std::to_string(error.os_error) + ")";
}

std::expected<KernelSource, KernelIoError> KernelSource::open(const std::string& path) {
  auto opened = open_regular_file(path);
  if (!opened) {
    switch (opened.error().kind) {
      case OpenFileError::Kind::NotRegularFile:
        return std::unexpected(KernelIoError::not_regular_file());
      case OpenFileError::Kind::NulInPath:
        return std::unexpected(KernelIoError::os(EINVAL));
      case OpenFileError::Kind::Os:
        break;
    }
    return std::unexpected(KernelIoError::os(opened.error().os_error));
  }
  return KernelSource(std::move(opened->file), opened->stamp);
}

KernelSource KernelSource::from_bytes(std::vector<std::byte> bytes) {
  KernelSource source({}, {});
  source.bytes_ = std::move(bytes);
  source.holds_bytes_ = true;
  return source;
}

std::expected<std::size_t, KernelIoError> KernelSource::read(std::span<std::byte> buffer) {
  if (holds_bytes_) {
    const std::uint64_t length = bytes_.size();
    const std::uint64_t remaining = length - std::min(position_, length);
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, buffer.size()));
    if (count > 0) std::memcpy(buffer.data(), bytes_.data() + position_, count);
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

std::expected<void, KernelIoError> KernelSource::read_exact_at(std::uint64_t offset,
                                                               std::span<std::byte> buffer) const {
  if (holds_bytes_) {
    if (offset > bytes_.size() || buffer.size() > bytes_.size() - offset) {
      return std::unexpected(KernelIoError::unexpected_eof());
    }
    if (!buffer.empty()) std::memcpy(buffer.data(), bytes_.data() + offset, buffer.size());
    return {};
  }
  const auto now = stamp_of(file_.get());
  if (!now) return std::unexpected(KernelIoError::os(now.error()));
  if (*now != opened_) return std::unexpected(KernelIoError::file_changed(opened_.size, now->size));
  // An offset beyond the signed range turns negative and is refused by the system.
  while (!buffer.empty()) {
    const std::size_t request = std::min<std::size_t>(buffer.size(), std::numeric_limits<ssize_t>::max());
    const ssize_t got = ::pread(file_.get(), buffer.data(), request, static_cast<off_t>(offset));
    if (got < 0) {
      if (errno == EINTR) continue;
      return std::unexpected(KernelIoError::os(errno));
    }
    if (got == 0) return std::unexpected(KernelIoError::unexpected_eof());
    buffer = buffer.subspan(static_cast<std::size_t>(got));
    offset += static_cast<std::uint64_t>(got);
  }
  return {};
}

std::expected<std::uint64_t, KernelIoError> KernelSource::seek(SeekFrom to) {
  if (holds_bytes_) {
    if (to.origin == SeekFrom::Origin::Start) {
      position_ = to.from_start;
      return position_;
    }
    const std::uint64_t base = to.origin == SeekFrom::Origin::End ? bytes_.size() : position_;
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
  if (holds_bytes_) return bytes_.size();
  const auto now = stamp_of(file_.get());
  if (!now) return std::unexpected(KernelIoError::os(now.error()));
  return now->size;
}

}  // namespace ephemeris
