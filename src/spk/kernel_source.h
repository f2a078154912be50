// The byte source of one kernel: a read-only shared mapping of the whole file,
// the open file itself when it cannot be mapped, or bytes held in memory (for
// tests and fuzzing, which need no file).
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <vector>

#include "time/file_descriptor.h"

namespace ephemeris {

// A failed stream operation. Renders as the stream's own text
// ("failed to fill whole buffer", "invalid seek to a negative or overflowing
// position") or, for an operating-system error, as
// "<system description> (os error N)".
struct KernelIoError {
  enum class Kind : std::uint8_t { Os, UnexpectedEof, InvalidSeek };
  Kind kind = Kind::Os;
  int os_error = 0;  // errno value, meaningful for Kind::Os

  static KernelIoError os(int code) { return {Kind::Os, code}; }
  static KernelIoError unexpected_eof() { return {Kind::UnexpectedEof, 0}; }
  static KernelIoError invalid_seek() { return {Kind::InvalidSeek, 0}; }
  friend bool operator==(const KernelIoError&, const KernelIoError&) = default;
};

std::string message(const KernelIoError& error);

// Target of a seek: an absolute offset from the start, or a signed offset from
// the end or from the current position. Offsets are bytes.
struct SeekFrom {
  enum class Origin : std::uint8_t { Start, End, Current };
  Origin origin = Origin::Start;
  std::uint64_t from_start = 0;  // Origin::Start
  std::int64_t delta = 0;        // Origin::End and Origin::Current

  static SeekFrom start(std::uint64_t offset) { return {Origin::Start, offset, 0}; }
  static SeekFrom end(std::int64_t offset) { return {Origin::End, 0, offset}; }
  static SeekFrom current(std::int64_t offset) { return {Origin::Current, 0, offset}; }
};

// A read-only shared mapping of a whole file; unmapped when dropped.
class ReadOnlyMapping {
 public:
  ReadOnlyMapping() = default;
  ReadOnlyMapping(ReadOnlyMapping&& other) noexcept;
  ReadOnlyMapping& operator=(ReadOnlyMapping&& other) noexcept;
  ReadOnlyMapping(const ReadOnlyMapping&) = delete;
  ReadOnlyMapping& operator=(const ReadOnlyMapping&) = delete;
  ~ReadOnlyMapping();

  const std::byte* data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  friend std::expected<ReadOnlyMapping, KernelIoError> map_readonly(int fd);
  ReadOnlyMapping(const std::byte* data, std::size_t size) : data_(data), size_(size) {}
  void reset() noexcept;

  const std::byte* data_ = nullptr;
  std::size_t size_ = 0;
};

// Maps the whole file behind `fd` read-only and shared, taking its length
// from the file system. Fails for an empty file, a file that is not a regular
// file, a length too large to map, or any mmap failure.
std::expected<ReadOnlyMapping, KernelIoError> map_readonly(int fd);

class KernelSource {
 public:
  // Opens `path` read-only and maps it whole; when mapping fails for any
  // reason the source reads through the open file instead.
  static std::expected<KernelSource, KernelIoError> open(const std::string& path);
  // Opens `path` read-only and always reads through the file (no mapping).
  static std::expected<KernelSource, KernelIoError> open_unmapped(const std::string& path);

  // Wraps an already opened descriptor, mapped or not.
  static KernelSource from_file(FileDescriptor file);
  static KernelSource from_mapping(FileDescriptor file, ReadOnlyMapping mapping);

  // The bytes of a kernel held by the source itself; reads, seeks and the
  // length behave exactly as for a mapping of a file with these bytes.
  static KernelSource from_bytes(std::vector<std::byte> bytes);

  KernelSource(KernelSource&&) noexcept = default;
  KernelSource& operator=(KernelSource&&) noexcept = default;
  KernelSource(const KernelSource&) = delete;
  KernelSource& operator=(const KernelSource&) = delete;

  bool is_mapped() const { return mapping_.data() != nullptr; }
  // True for the mapped and the in-memory forms: reads copy from memory.
  bool reads_memory() const { return is_mapped() || holds_bytes_; }

  // Reads up to `buffer.size()` bytes at the current position and advances
  // it; returns the count read, 0 at or past the end of the file.
  std::expected<std::size_t, KernelIoError> read(std::span<std::byte> buffer);

  // Fills the whole buffer, retrying interrupted reads; a read that returns
  // 0 bytes first fails with UnexpectedEof ("failed to fill whole buffer").
  std::expected<void, KernelIoError> read_exact(std::span<std::byte> buffer);

  // Moves the read position; returns the new position in bytes from the
  // start. Seeking past the end is allowed.
  std::expected<std::uint64_t, KernelIoError> seek(SeekFrom to);

  // Current length of the file (or of the bytes) in bytes.
  std::expected<std::uint64_t, KernelIoError> length() const;

 private:
  KernelSource(FileDescriptor file, ReadOnlyMapping mapping)
      : file_(std::move(file)), mapping_(std::move(mapping)) {}

  // The bytes of the mapped or in-memory form.
  std::span<const std::byte> memory() const;

  FileDescriptor file_;         // -1 for the in-memory form
  ReadOnlyMapping mapping_;     // empty for the plain-file and in-memory forms
  std::vector<std::byte> bytes_;  // the in-memory form's bytes
  bool holds_bytes_ = false;
  std::uint64_t position_ = 0;  // read position of the mapped and in-memory forms
};

}  // namespace ephemeris
