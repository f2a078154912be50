// An owning file descriptor and the one way this system opens a file to read
// it, shared by the text-file reader and the kernel source.
#pragma once

#include <cstdint>
#include <expected>
#include <string_view>

namespace ephemeris {

// Owns one open file descriptor (-1 for none); closes it when dropped.
class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept;
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor();

  int get() const { return fd_; }
  // Gives up ownership: returns the descriptor and leaves -1.
  int release() noexcept;

 private:
  int fd_ = -1;
};

// What the file system says of an open file that tells whether it changed:
// its length in bytes and its modification time (nanoseconds since 1970).
struct FileStamp {
  std::uint64_t size = 0;
  std::int64_t modified_ns = 0;
  friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// The stamp of the file behind `fd` now, or the errno of fstat.
std::expected<FileStamp, int> stamp_of(int fd);

// An open regular file and its stamp when it was opened.
struct RegularFile {
  FileDescriptor file;
  FileStamp stamp;
};

// The reason given for a path that names a FIFO, a device or a socket.
inline constexpr std::string_view kNotRegularFileText = "not a regular file";

// Why `open_regular_file` refused a path.
struct OpenFileError {
  enum class Kind : std::uint8_t { Os, NulInPath, NotRegularFile };
  Kind kind = Kind::Os;
  int os_error = 0;  // errno value for Kind::Os; EISDIR for a directory
};

// Opens `path` read-only and close-on-exec without ever blocking: the open is
// non-blocking and never makes a terminal the controlling one, so a FIFO
// without a writer or a device returns at once, and fstat then refuses
// anything but a regular file (a directory with EISDIR, the rest as
// NotRegularFile). The returned descriptor reads in blocking mode again.
std::expected<RegularFile, OpenFileError> open_regular_file(std::string_view path);

}  // namespace ephemeris
