// An owning file descriptor, shared by the text-file reader and the kernel source.
#pragma once

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

}  // namespace ephemeris
