// Scratch files for tests that need real files: a directory removed with its contents when dropped, and a file in
// one. Test use only.
#pragma once

#include <stdlib.h>

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace ephemeris::testing {

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ephemeris-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& path() const { return path_; }

  // Writes `bytes` to the file `name` in this directory and returns its path.
  std::string write(std::string_view name, std::string_view bytes) const {
    std::ofstream(path_ / name, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return (path_ / name).string();
  }

 private:
  std::filesystem::path path_;
};

class TempFile {
 public:
  explicit TempFile(const std::vector<std::byte>& contents)
      : path_(dir_.write("file", {reinterpret_cast<const char*>(contents.data()), contents.size()})) {}
  const std::string& path() const { return path_; }

 private:
  TempDir dir_;
  std::string path_;
};

}  // namespace ephemeris::testing
