// The byte source of one kernel: an open regular file read with positional
// reads, or bytes held in memory (for tests and fuzzing, which need no file).
//
// The file is not memory-mapped: a mapped page that the file no longer backs
// (the file was truncated while open) kills the process with SIGBUS when it is
// touched, and a library inside Python may not install a handler for that.
// A positional read of such a range returns short instead ("failed to fill
// whole buffer"), and every positional read first compares the file's size and
// modification time with those it had when opened, so a file changed on disk
// gives an I/O error rather than data that no longer belongs to the segment
// list read before.
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
// position"), "not a regular file", the change found in the file, or for an
// operating-system error "<system description> (os error N)".
struct KernelIoError {
  enum class Kind : std::uint8_t { Os, UnexpectedEof, InvalidSeek, NotRegularFile, FileChanged };
  Kind kind = Kind::Os;
  int os_error = 0;              // errno value, meaningful for Kind::Os
  std::uint64_t size_then = 0;   // Kind::FileChanged: the length when opened
  std::uint64_t size_now = 0;    // and the length found now (bytes)

  static KernelIoError os(int code) { return {Kind::Os, code}; }
  static KernelIoError unexpected_eof() { return {Kind::UnexpectedEof}; }
  static KernelIoError invalid_seek() { return {Kind::InvalidSeek}; }
  static KernelIoError not_regular_file() { return {Kind::NotRegularFile}; }
  static KernelIoError file_changed(std::uint64_t then, std::uint64_t now) {
    return {Kind::FileChanged, 0, then, now};
  }
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

class KernelSource {
 public:
  // Opens the regular file at `path` read-only, without blocking on a FIFO or
  // a device: anything but a regular file fails at once ("not a regular
  // file"; a directory with the system's "Is a directory").
  static std::expected<KernelSource, KernelIoError> open(const std::string& path);

  // The bytes of a kernel held by the source itself; reads, seeks and the
  // length behave exactly as for a file with these bytes.
  static KernelSource from_bytes(std::vector<std::byte> bytes);

  KernelSource(KernelSource&&) noexcept = default;
  KernelSource& operator=(KernelSource&&) noexcept = default;
  KernelSource(const KernelSource&) = delete;
  KernelSource& operator=(const KernelSource&) = delete;

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

  // Length in bytes when the file was opened (of the bytes in memory).
  std::uint64_t opened_length() const { return holds_bytes_ ? bytes_.size() : opened_.size; }

  // Fills the whole buffer with the bytes at `offset`, leaving the read
  // position alone. For a file, fails with FileChanged when its size or
  // modification time is no longer what it was at opening, and with
  // UnexpectedEof when the range ends past the end of the file.
  std::expected<void, KernelIoError> read_exact_at(std::uint64_t offset, std::span<std::byte> buffer) const;

 private:
  KernelSource(FileDescriptor file, FileStamp opened) : file_(std::move(file)), opened_(opened) {}

  FileDescriptor file_;           // -1 for the in-memory form
  FileStamp opened_;              // the file's size and modification time at opening
  std::vector<std::byte> bytes_;  // the in-memory form's bytes
  bool holds_bytes_ = false;
  std::uint64_t position_ = 0;    // read position of the in-memory form
};

}  // namespace ephemeris
